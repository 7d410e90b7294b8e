#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <map>
#include <string>
#include <vector>

#include "Light.h"
#include "LogCallback.h"
#include "Uptime.h"

namespace tally {

namespace platform {
class SerialLink;
enum class SerialOpenFailure : int;
}  // namespace platform

// The link to the light: a USB serial device that answers one text line per line sent. It finds
// the light (or uses the given port), proves it with PING/PONG, keeps it showing the wanted
// command, keeps the line alive and reconnects when the light is lost. Not thread-safe: one
// thread drives it. Calls block for at most about a second per port tried and per command.
class LightDevice final : public Light {
public:
    static constexpr int vendorID = 0x2E8A;
    static constexpr int productID = 0x0005;
    static constexpr double answerTimeout = 1.0;
    static constexpr double retryInterval = 3.0;
    static constexpr double keepAliveAfter = 30.0;
    // An answer line longer than this is garbage; the protocol's lines are a few bytes.
    static constexpr std::size_t maxBufferedBytes = 4096;
    static constexpr std::size_t readChunkBytes = 256;

    using PortFinder = std::function<std::vector<std::string>()>;
    // Opens a port (the platform's serial link unless a test gives its own).
    using PortOpener = std::function<std::unique_ptr<platform::SerialLink>(
        const std::string& path, platform::SerialOpenFailure& failure)>;

    // `port` is the user's port, tried alone and unchecked; without it the light is looked for
    // with `findPorts` at every attempt. `clock` paces retries and the keep-alive;
    // `answerClock` times the wait for each answer, which is real time unless a test's fake
    // link answers without waiting.
    LightDevice(std::optional<std::string> port, LogCallback log, UptimeClock clock = uptimeNow,
                PortFinder findPorts = &LightDevice::findPorts, PortOpener open = nullptr,
                UptimeClock answerClock = uptimeNow);
    ~LightDevice() override;
    LightDevice(const LightDevice&) = delete;
    LightDevice& operator=(const LightDevice&) = delete;

    bool isConnected() const override { return link_ != nullptr; }
    const std::optional<std::string>& portPath() const { return portPath_; }
    std::optional<std::string> firmwareVersion() const override { return firmwareVersion_; }
    std::optional<std::string> problem() const override { return isConnected() ? std::nullopt : problem_; }

    // The command the light should show; the next update() sends it if it differs.
    void show(std::string command);
    void show(LightState state) override { show(commandFor(palette_[static_cast<std::size_t>(state)])); }
    void setPalette(const Palette& palette) override { palette_ = palette; }
    // Sent at once when connected, and after every handshake.
    void setBrightness(int value) override;
    // Reconnects when due, sends the wanted command when it differs from what the light shows,
    // keeps the line alive.
    void update() override;
    // Sends at once if connected (for "OFF" before sleep and at quit); nothing otherwise.
    void sendNow(const std::string& command);
    void switchOffNow() override { sendNow(std::string(command(LightState::off))); }
    // Forget what the light shows, so that the next update() sends the wanted command again.
    void invalidate() override { shown_.reset(); }
    void close();
    // How long each answer is waited for (answerTimeout unless set); tests on a real terminal
    // give a slow machine more.
    void setAnswerTimeout(double seconds) { answerTimeout_ = seconds; }

    // The ports whose USB identity is one a board running the light's firmware announces.
    static std::vector<std::string> findPorts();

private:
    bool connect();
    bool send(const std::string& command);
    std::optional<std::string> handshakeAnswer();
    std::optional<std::string> readLine(double timeout);
    void closePort();
    // Logs what went wrong with a port, unless that is what was said of it last time; `problem`
    // is the same for the menu, short.
    void tell(const std::string& path, const std::string& message, std::string problem);

    std::optional<std::string> portPath_;
    std::optional<std::string> firmwareVersion_;
    std::optional<std::string> fixedPort_;
    std::unique_ptr<platform::SerialLink> link_;
    Palette palette_ = defaultPalette();
    std::optional<std::string> wanted_;
    std::optional<std::string> shown_;
    int brightness_ = 100;
    double lastSent_ = 0;
    double nextRetry_ = 0;
    LogCallback log_;
    UptimeClock clock_;
    UptimeClock answerClock_;
    double answerTimeout_ = answerTimeout;
    PortFinder findPorts_;
    PortOpener open_;
    std::string readBuffer_;
    // What was last said of each port that failed; said again only when it changes, so that a
    // port tried every three seconds does not fill the log.
    std::map<std::string, std::string> told_;
    std::optional<std::string> problem_;  // the last attempt's, for the menu
};

}  // namespace tally
