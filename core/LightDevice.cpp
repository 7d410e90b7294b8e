#include "LightDevice.h"

#include "KnownLights.h"
#include "SerialLink.h"
#include "SerialPorts.h"
#include "Utf8.h"

namespace tally {

namespace {

constexpr std::string_view whitespace = " \t\r\n\v\f";

std::string trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(whitespace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = s.find_last_not_of(whitespace);
    return std::string(s.substr(first, last - first + 1));
}

// The text after the first `count` characters (not bytes) of valid UTF-8.
std::string afterCharacters(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size() && seen < count; ++seen)
        do ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return text.substr(at);
}

}  // namespace

LightDevice::LightDevice(std::optional<std::string> port, LogCallback log, UptimeClock clock,
                         PortFinder findPorts, PortOpener open, UptimeClock answerClock)
    : fixedPort_(std::move(port)),
      log_(std::move(log)),
      clock_(std::move(clock)),
      answerClock_(std::move(answerClock)),
      findPorts_(std::move(findPorts)),
      open_(open ? std::move(open) : PortOpener(&platform::openSerialLink)) {}

LightDevice::~LightDevice() { closePort(); }

std::vector<std::string> LightDevice::findPorts() {
    std::vector<platform::UsbId> ids;
    for (const auto& board : lights::tallyBoards()) ids.push_back(board.id);
    std::vector<std::string> paths;
    for (auto& port : platform::findUsbSerialPorts(ids)) paths.push_back(std::move(port.path));
    return paths;
}

void LightDevice::show(std::string command) { wanted_ = std::move(command); }

void LightDevice::setBrightness(int value) {
    brightness_ = value;
    if (isConnected()) send("B " + std::to_string(value));
}

void LightDevice::update() {
    const double now = clock_();
    if (!isConnected()) {
        if (now < nextRetry_) return;
        nextRetry_ = now + retryInterval;  // counted from the start of the attempt
        if (!connect()) return;
    }
    if (wanted_ && shown_ != wanted_) {
        if (send(*wanted_)) shown_ = wanted_;
        return;
    }
    if (now - lastSent_ > keepAliveAfter) send("PING");
}

void LightDevice::sendNow(const std::string& command) {
    if (!isConnected()) return;
    if (send(command)) {
        shown_ = command;
        wanted_ = command;
    }
}

void LightDevice::close() { closePort(); }

void LightDevice::closePort() {
    link_.reset();
    portPath_.reset();
}

bool LightDevice::connect() {
    const std::vector<std::string> candidates =
        fixedPort_ ? std::vector<std::string>{*fixedPort_} : findPorts_();
    problem_.reset();
    for (const std::string& path : candidates) {
        platform::SerialOpenFailure failure{};
        link_ = open_(path, failure);
        if (!link_) {
            switch (failure) {
                case platform::SerialOpenFailure::noPermission:  // the usual first-day problem on Linux
                    tell(path, "no permission to open " + path + "; " + platform::serialPermissionHint(),
                         "permission denied on " + path);
                    break;
                case platform::SerialOpenFailure::notADevice:
                    tell(path, path + " is not a serial port", path + " is not a serial port");
                    break;
                case platform::SerialOpenFailure::inUse:
                    tell(path, path + " is in use by another program (another Tally, or a serial terminal); "
                                      "trying again every few seconds", path + " is in use by another program");
                    break;
                case platform::SerialOpenFailure::missing:
                    tell(path, path + ": no such port", path + " does not exist");
                    break;
                case platform::SerialOpenFailure::cannotOpen:
                case platform::SerialOpenFailure::none: tell(path, "cannot open " + path, "cannot open " + path); break;
            }
            continue;
        }
        readBuffer_.clear();  // lines left from an earlier connection answer nothing here
        std::optional<std::string> answer;
        if (link_->write("PING\n")) answer = handshakeAnswer();
        if (!answer) {
            tell(path, path + " did not answer PING, not a Tally", path + " does not answer as a Tally");
            closePort();
            continue;
        }
        told_.erase(path);
        firmwareVersion_ = afterCharacters(*answer, 5);
        portPath_ = path;
        shown_.reset();
        log_("light connected on " + path + " (firmware " + *firmwareVersion_ + ")");
        send("B " + std::to_string(brightness_));
        return true;
    }
    return false;
}

void LightDevice::tell(const std::string& path, const std::string& message, std::string problem) {
    problem_ = std::move(problem);
    auto& last = told_[path];
    if (last == message) return;
    last = message;
    log_(message);
}

std::optional<std::string> LightDevice::handshakeAnswer() {
    // Only a PONG answers PING: a late answer to a line of an earlier connection, still on its
    // way when the port opened, is passed over.
    const double deadline = answerClock_() + answerTimeout_;
    for (double left = answerTimeout_; left > 0; left = deadline - answerClock_()) {
        auto line = readLine(left);
        if (!line) return std::nullopt;
        if (line->starts_with("PONG")) return line;
    }
    return std::nullopt;
}

bool LightDevice::send(const std::string& command) {
    const std::string line = command + "\n";
    std::optional<std::string> answer;
    if (link_ && link_->write(line)) answer = readLine(answerTimeout_);
    if (!answer) {
        log_("light disconnected or not answering");
        closePort();
        return false;
    }
    lastSent_ = clock_();
    if (*answer != "OK" && !answer->starts_with("PONG"))
        log_("light replied " + *answer + " to " + command);
    return true;
}

std::optional<std::string> LightDevice::readLine(double timeout) {
    const double deadline = answerClock_() + timeout;
    for (;;) {
        if (const std::size_t end = readBuffer_.find('\n'); end != std::string::npos) {
            std::string line = trimmed(Utf8::repaired(std::string_view(readBuffer_).substr(0, end)));
            readBuffer_.erase(0, end + 1);
            return line;
        }
        const double remaining = deadline - answerClock_();
        if (remaining <= 0) return std::nullopt;
        if (!link_->read(readBuffer_, readChunkBytes, remaining)) return std::nullopt;
        // No line feed in this much: the device babbles, and no answer is coming. Drop it
        // rather than grow, and stop waiting rather than read on for the rest of the second.
        if (readBuffer_.size() > maxBufferedBytes && readBuffer_.find('\n') == std::string::npos) {
            readBuffer_.clear();
            return std::nullopt;
        }
    }
}

}  // namespace tally
