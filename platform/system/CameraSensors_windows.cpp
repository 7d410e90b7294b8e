#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>

#include "CaptureWatchWindows.h"
#include "Utf16.h"

namespace tally::platform {

namespace {

// Media Foundation's sensor activity monitor (Windows 10 1703 and later), as Microsoft's mfidl.h
// declares it; the mingw-w64 headers here do not have it yet. The monitor reports, for each
// camera, the processes that use it and whether each is streaming now.
enum class SensorDeviceMode : int { controller, shared };

struct SensorProcessActivity : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetProcessId(ULONG* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamingState(BOOL* streaming) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamingMode(SensorDeviceMode* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReportTime(FILETIME* time) = 0;
};

struct SensorActivityReport : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetFriendlyName(LPWSTR name, ULONG size, ULONG* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolicLink(LPWSTR link, ULONG size, ULONG* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessCount(ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessActivity(ULONG index, SensorProcessActivity** activity) = 0;
};

struct SensorActivitiesReport : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActivityReport(ULONG index, SensorActivityReport** report) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActivityReportByDeviceName(LPCWSTR name, SensorActivityReport** report) = 0;
};

struct SensorActivitiesReportCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnActivitiesReport(SensorActivitiesReport* report) = 0;
};

struct SensorActivityMonitor : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
};

// IID_IMFSensorActivitiesReportCallback, from mfidl.h.
constexpr GUID callbackId = {0xde5072ee, 0xdbe3, 0x46dc, {0x8a, 0x87, 0xb6, 0xf6, 0x31, 0x19, 0x47, 0x51}};

using CreateMonitor = HRESULT(WINAPI*)(SensorActivitiesReportCallback*, SensorActivityMonitor**);
using Startup = HRESULT(WINAPI*)(ULONG, DWORD);
using Shutdown = HRESULT(WINAPI*)();

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The programs streaming from any camera, in one report. Released as read.
std::vector<std::string> streaming(SensorActivitiesReport* activities) {
    std::vector<std::string> programs;
    ULONG cameras = 0;
    if (!activities || FAILED(activities->GetCount(&cameras))) return programs;
    for (ULONG c = 0; c < cameras; ++c) {
        SensorActivityReport* camera = nullptr;
        if (FAILED(activities->GetActivityReport(c, &camera)) || !camera) continue;
        ULONG processes = 0;
        camera->GetProcessCount(&processes);
        for (ULONG p = 0; p < processes; ++p) {
            SensorProcessActivity* process = nullptr;
            if (FAILED(camera->GetProcessActivity(p, &process)) || !process) continue;
            BOOL on = FALSE;
            ULONG pid = 0;
            if (SUCCEEDED(process->GetStreamingState(&on)) && on && SUCCEEDED(process->GetProcessId(&pid)))
                programs.push_back(programOfProcess(pid));
            process->Release();
        }
        camera->Release();
    }
    return programs;
}

class SensorWatch final : public CameraSensors, public SensorActivitiesReportCallback {
public:
    explicit SensorWatch(std::function<void(std::vector<std::string>)> report) : report_(std::move(report)) {}
    ~SensorWatch() override {
        if (monitor_) {
            monitor_->Stop();
            // Media Foundation's objects are shut down before they are let go, so that no
            // report comes after this.
            IMFShutdown* shutdown = nullptr;
            if (SUCCEEDED(monitor_->QueryInterface(__uuidof(IMFShutdown), reinterpret_cast<void**>(&shutdown)))) {
                shutdown->Shutdown();
                shutdown->Release();
            }
            monitor_->Release();
        }
        if (started_) shutdown_();
        if (platform_) ::FreeLibrary(platform_);
        if (sensors_) ::FreeLibrary(sensors_);
    }
    SensorWatch(const SensorWatch&) = delete;
    SensorWatch& operator=(const SensorWatch&) = delete;

    // False where the system has no monitor (before Windows 10 1703, and Wine).
    bool start() {
        platform_ = ::LoadLibraryW(L"mfplat.dll");
        sensors_ = ::LoadLibraryW(L"mfsensorgroup.dll");
        auto create = lookUp<CreateMonitor>(sensors_, "MFCreateSensorActivityMonitor");
        if (!create) create = lookUp<CreateMonitor>(platform_, "MFCreateSensorActivityMonitor");
        const auto startup = lookUp<Startup>(platform_, "MFStartup");
        shutdown_ = lookUp<Shutdown>(platform_, "MFShutdown");
        if (!create || !startup || !shutdown_) return false;
        started_ = SUCCEEDED(startup(MF_VERSION, MFSTARTUP_LITE));
        return started_ && SUCCEEDED(create(this, &monitor_)) && monitor_ && SUCCEEDED(monitor_->Start());
    }

    // One object for the watcher's lifetime, which outlives the monitor.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != __uuidof(IUnknown) && iid != callbackId) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<SensorActivitiesReportCallback*>(this);
        return S_OK;
    }
    // On a thread of Media Foundation's.
    HRESULT STDMETHODCALLTYPE OnActivitiesReport(SensorActivitiesReport* activities) override {
        report_(streaming(activities));
        return S_OK;
    }

private:
    std::function<void(std::vector<std::string>)> report_;
    HMODULE platform_ = nullptr;
    HMODULE sensors_ = nullptr;
    Shutdown shutdown_ = nullptr;
    bool started_ = false;
    SensorActivityMonitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<CameraSensors> watchCameraSensors(std::function<void(std::vector<std::string>)> report) {
    auto watch = std::make_unique<SensorWatch>(std::move(report));
    if (!watch->start()) return nullptr;
    return watch;
}

}  // namespace tally::platform
