#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Eventually.h"
#include "Process.h"
#include "TempDir.h"

namespace tally::test {

// A real PulseAudio server of the test's own, its socket and state in the test's folder: a
// microphone ("mic", a null source) and speakers ("speakers", a null sink, whose monitor is
// "speakers.monitor"). Whatever sound server the machine runs is never seen.
class SoundServer {
public:
    explicit SoundServer(const TempDir& dir) : folder_(dir.file("pulse")) {
        std::filesystem::create_directories(folder_);
        start();
    }

    // For PULSE_SERVER.
    std::string address() const { return "unix:" + socket(); }

    // Starts it (again); returns once it takes connections.
    bool start() {
        server_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "--log-target=file:" + folder_ + "/server.log",
                                     "-L", "module-native-protocol-unix socket=" + socket() + " auth-anonymous=1",
                                     "-L", "module-null-sink sink_name=speakers",
                                     "-L", "module-null-source source_name=mic"},
            environment(), Process::Errors::collected);
        return eventually([this] { return answers(); });
    }
    void kill() { server_.reset(); }

    // A recording from `source` that lasts until the returned process ends (by `recorder`,
    // parecord by default). It may take a moment to reach the server: see recordings().
    std::unique_ptr<Process> record(const std::string& source, const std::string& recorder = "/usr/bin/parecord") {
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        auto process = std::make_unique<Process>(std::vector<std::string>{recorder, "--raw", "-d", source},
                                                 environment(), Process::Options{Process::Errors::passed, nowhere, {}});
        ::close(nowhere);
        return process;
    }

    // How many record streams the server has now, whoever made them.
    std::size_t recordings() const {
        Process pactl({"/usr/bin/pactl", "list", "short", "source-outputs"}, environment());
        const std::string& listed = pactl.readUntil([](const std::string&) { return false; }, std::chrono::seconds(10));
        return static_cast<std::size_t>(std::count(listed.begin(), listed.end(), '\n'));
    }

    std::vector<std::string> environment() const {
        return {"PULSE_SERVER=" + address(), "HOME=" + folder_, "XDG_RUNTIME_DIR=" + folder_,
                "PULSE_RUNTIME_PATH=" + folder_ + "/runtime", "PULSE_STATE_PATH=" + folder_ + "/state"};
    }

private:
    std::string socket() const { return folder_ + "/native"; }

    bool answers() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socket().copy(address.sun_path, sizeof address.sun_path - 1);
        const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    std::string folder_;
    std::unique_ptr<Process> server_;
};

}  // namespace tally::test
