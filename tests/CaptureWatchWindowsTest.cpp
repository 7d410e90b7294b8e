// Microphones and cameras in use on Windows: the privacy store's entries, written here with the
// registry API into a store of the test's own, as Windows writes them; and the recording
// devices' audio sessions, with a recording of the test's own on Wine's PulseAudio driver.
#include "CaptureWatchWindows.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/Wine.h"

using namespace tally::platform;
using tally::test::eventually;
using testing::ElementsAre;

namespace {

const std::wstring store = L"Software\\Tally tests\\ConsentStore";

void setEntry(const std::wstring& entry, std::uint64_t start, std::uint64_t stop) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (store + L"\\" + entry).c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"LastUsedTimeStart", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&start), sizeof start);
    ::RegSetValueExW(key, L"LastUsedTimeStop", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&stop), sizeof stop);
    ::RegCloseKey(key);
}

}  // namespace

TEST(ConsentStore, aStartWithoutAStopIsInUseAndNamesItsProgram) {
    EXPECT_THAT(programsInUse({{"C:#Program Files#Zoom#bin#Zoom.exe", 5, 0},
                               {"Microsoft.WindowsCamera_8wekyb3d8bbwe", 7, 0},
                               {"C:#Windows#notepad.exe", 5, 6},
                               {"Never.Used_abc", 0, 0}}),
                ElementsAre("Zoom", "Microsoft.WindowsCamera"));
}

TEST(ConsentStore, theWatcherFollowsTheStoreAsProgramsStartAndStop) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, store.c_str());
    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'000, 133'000'000'000'000'001);
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 0, 0);
    std::mutex mutex;
    std::vector<std::string> lines;
    const auto has = [&](const std::string& line) {
        return eventually([&] {
            const std::lock_guard lock(mutex);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    };
    auto watch = watchCapture([&](const std::string& line) {
        const std::lock_guard lock(mutex);
        lines.push_back(line);
    }, store, false);
    ASSERT_TRUE(has("call detection: microphone and camera through the Windows privacy settings"));
    EXPECT_FALSE(watch->inUse());

    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'002, 0);
    ASSERT_TRUE(has("microphone in use (Zoom)"));
    EXPECT_TRUE(watch->inUse());
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 133'000'000'000'000'003, 0);
    ASSERT_TRUE(has("camera in use (Microsoft.WindowsCamera)"));

    setEntry(L"microphone\\NonPackaged\\C:#Program Files#Zoom#bin#Zoom.exe", 133'000'000'000'000'002, 133'000'000'000'000'009);
    setEntry(L"webcam\\Microsoft.WindowsCamera_8wekyb3d8bbwe", 133'000'000'000'000'003, 133'000'000'000'000'009);
    ASSERT_TRUE(has("microphone no longer in use"));
    ASSERT_TRUE(has("camera no longer in use"));
    EXPECT_FALSE(watch->inUse());
    watch.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, store.c_str());
}

TEST(ConsentStore, aStoreThatIsNotThereIsSaidAndWatchesNothing) {
    std::vector<std::string> lines;
    auto watch = watchCapture([&](const std::string& line) { lines.push_back(line); }, L"Software\\Tally tests\\Nowhere", false);
    EXPECT_THAT(lines, ElementsAre("call detection: the Windows privacy settings have no microphone and webcam "
                                   "entries; that is not watched"));
    EXPECT_FALSE(watch->inUse());
}

namespace {

// A recording of the test's own from the default microphone through WASAPI, as a call program
// makes one: its audio session is active from Start() to Stop().
class Recording {
public:
    Recording() {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IMMDeviceEnumerator* devices = nullptr;
        IMMDevice* microphone = nullptr;
        WAVEFORMATEX* format = nullptr;
        ok_ = SUCCEEDED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                           __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices))) &&
              SUCCEEDED(devices->GetDefaultAudioEndpoint(eCapture, eConsole, &microphone)) &&
              SUCCEEDED(microphone->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                             reinterpret_cast<void**>(&client_))) &&
              SUCCEEDED(client_->GetMixFormat(&format)) &&
              SUCCEEDED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 10'000'000, 0, format, nullptr));
        ::CoTaskMemFree(format);
        if (microphone) microphone->Release();
        if (devices) devices->Release();
    }
    ~Recording() {
        if (client_) {
            client_->Stop();
            client_->Release();
        }
        ::CoUninitialize();
    }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    bool ok() const { return ok_; }
    bool start() { return SUCCEEDED(client_->Start()); }
    bool stop() { return SUCCEEDED(client_->Stop()); }

private:
    IAudioClient* client_ = nullptr;
    bool ok_ = false;
};

// Wine's audio reaches a PulseAudio server of the test's own with a microphone: named in
// PULSE_SERVER when the test started, started here before any audio is touched, and waited for
// until it lists its microphone.
class WineSoundServer {
public:
    WineSoundServer() {
        namespace Wine = tally::test::Wine;
        const std::string server = Wine::environment("PULSE_SERVER");
        if (server.rfind("unix:", 0) != 0) return;
        const std::string socket = server.substr(5);
        folder_ = socket.substr(0, socket.find_last_of('/'));
        const std::string environment = "HOME=" + q("") + " XDG_RUNTIME_DIR=" + q("");
        // Gone before the shell starts (which Wine does not wait for), so that only this server's
        // files are waited for below.
        std::error_code ignored;
        for (const char* name : {"/ready", "/pid"}) std::filesystem::remove(Wine::windowsPath(folder_ + name), ignored);
        Wine::shell("mkdir -p " + q("") + " && rm -f " + q("/native") + " && " + environment +
                        " /usr/bin/pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no"
                        " -L 'module-null-source source_name=mic' -L 'module-null-sink sink_name=speakers'"
                        " -L 'module-native-protocol-unix socket=" + socket + " auth-anonymous=1'"
                        " > " + q("/server.log") + " 2>&1 & echo $! > " + q("/pid") +
                        "; for i in $(seq 200); do " + environment + " PULSE_SERVER=" + Wine::quoted(server) +
                        " /usr/bin/pactl list short sources 2>/dev/null | grep -q mic && touch " + q("/ready") +
                        " && break; sleep 0.1; done",
                    false);
        // Wine does not wait for a Linux program: the file says when it is ready.
        started_ = eventually([&] { return std::filesystem::exists(Wine::windowsPath(folder_ + "/ready")); });
    }
    // Waited for, so that a server on its way out never takes the next test's socket with it.
    ~WineSoundServer() {
        if (folder_.empty()) return;
        // Its socket goes when it has ended (a zombie would still answer kill -0).
        tally::test::Wine::shell("kill $(cat " + q("/pid") + "); for i in $(seq 100); do [ -S " + q("/native") +
                                     " ] || break; sleep 0.05; done; rm -f " + q("/pid") + " " + q("/ready"),
                                 false);
        (void)eventually([&] { return !std::filesystem::exists(tally::test::Wine::windowsPath(folder_ + "/pid")); });
    }
    WineSoundServer(const WineSoundServer&) = delete;
    WineSoundServer& operator=(const WineSoundServer&) = delete;

    bool started() const { return started_; }

private:
    // A file in the server's folder, quoted for the shell.
    std::string q(const std::string& name) const { return tally::test::Wine::quoted(folder_ + name); }

    std::string folder_;
    bool started_ = false;
};

// How many recording devices the system lists now.
unsigned recordingDevices() {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IMMDeviceEnumerator* devices = nullptr;
    IMMDeviceCollection* collection = nullptr;
    UINT count = 0;
    if (SUCCEEDED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                     reinterpret_cast<void**>(&devices))) &&
        SUCCEEDED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &collection)))
        collection->GetCount(&count);
    if (collection) collection->Release();
    if (devices) devices->Release();
    ::CoUninitialize();
    return count;
}

bool underWine() { return tally::test::Wine::unixPath("C:\\").has_value(); }

// The lines a watcher writes, and a wait for one of them.
struct Lines {
    std::mutex mutex;
    std::vector<std::string> lines;
    tally::platform::CaptureLog log() {
        return [this](const std::string& line) {
            const std::lock_guard lock(mutex);
            lines.push_back(line);
        };
    }
    [[nodiscard]] bool has(const std::string& line) {
        return eventually([&] {
            const std::lock_guard lock(mutex);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }
    [[nodiscard]] bool hasStarting(const std::string& start) {
        return eventually([&] {
            const std::lock_guard lock(mutex);
            return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
        });
    }
};

}  // namespace

TEST(AudioSessions, whereTheyCannotBeListedThePrivacySettingsTellOfTheMicrophone) {
    if (!underWine()) GTEST_SKIP() << "Windows lists its sessions: the next test";
    WineSoundServer server;
    ASSERT_TRUE(server.started()) << "the sound server did not start";
    // Wine picks its audio driver once per process; on a loaded machine its PulseAudio driver
    // sometimes gives up on the server and Wine falls back to ALSA, which has no devices here.
    if (recordingDevices() == 0) GTEST_SKIP() << "Wine's audio did not reach the test's sound server";
    Lines lines;
    auto watch = watchCapture(lines.log(), store, true);
    EXPECT_TRUE(lines.has("call detection: the Windows privacy settings have no microphone and webcam entries; "
                          "that is not watched"))
        << "Wine 8 lists recording devices but none of their sessions (E_NOTIMPL)";
}

TEST(AudioSessions, aProgramRecordingFromTheMicrophoneIsNamedUntilItStops) {
    if (underWine()) GTEST_SKIP() << "Wine 8 lists no audio sessions; on Windows this runs where a microphone is";
    Lines lines;
    auto watch = watchCapture(lines.log(), L"Software\\Tally tests\\Nowhere", true);
    // The camera's way depends on the edition (Windows Server has no sensor activity monitor).
    ASSERT_TRUE(lines.hasStarting("call detection: microphone through the recording devices' audio sessions"));
    EXPECT_FALSE(watch->inUse());

    Recording recording;
    if (!recording.ok()) GTEST_SKIP() << "no microphone on this machine";
    EXPECT_FALSE(watch->inUse()) << "a recording made but not started is no call";
    ASSERT_TRUE(recording.start());
    ASSERT_TRUE(lines.has("microphone in use (CaptureWatchWindowsTest)"));
    EXPECT_TRUE(watch->inUse());
    ASSERT_TRUE(recording.stop());
    ASSERT_TRUE(lines.has("microphone no longer in use"));
    EXPECT_FALSE(watch->inUse());
}
