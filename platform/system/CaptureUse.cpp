#include "CaptureUse.h"

#include <algorithm>

namespace tally::platform {

std::string programName(std::string name) {
    // Names come from other programs (a stream's properties, a process's own name); the
    // activity log makes their control characters visible, and here they are kept short.
    constexpr std::size_t limit = 64;
    if (name.size() > limit) {
        std::size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
        name.resize(end);
    }
    return name;
}

void CaptureUse::report(Device device, std::vector<std::string> programs) {
    for (auto& program : programs) program = programName(std::move(program));
    std::sort(programs.begin(), programs.end());
    programs.erase(std::unique(programs.begin(), programs.end()), programs.end());

    const std::lock_guard lock(mutex_);
    const bool microphone = device == Device::microphone;
    auto& users = microphone ? microphoneUsers_ : cameraUsers_;
    if (users == programs) return;
    users = std::move(programs);
    const bool nowInUse = !users.empty();
    count();

    const std::string what = microphone ? "microphone" : "camera";
    if (!nowInUse) {
        log_(what + " no longer in use");
        return;
    }
    std::string names;
    for (const auto& user : users) {
        if (user.empty()) continue;
        names += (names.empty() ? "" : ", ") + user;
    }
    log_(what + " in use" + (names.empty() ? "" : " (" + names + ")"));
}

void CaptureUse::count() {
    const auto counts = [this](const std::string& user) {
        return user.empty() || std::find(ignored_.begin(), ignored_.end(), user) == ignored_.end();
    };
    counted_ = std::any_of(microphoneUsers_.begin(), microphoneUsers_.end(), counts) ||
               std::any_of(cameraUsers_.begin(), cameraUsers_.end(), counts);
}

std::vector<std::string> CaptureUse::users() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> all = microphoneUsers_;
    all.insert(all.end(), cameraUsers_.begin(), cameraUsers_.end());
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

void CaptureUse::setIgnored(std::vector<std::string> programs) {
    const std::lock_guard lock(mutex_);
    ignored_ = std::move(programs);
    count();
}

}  // namespace tally::platform
