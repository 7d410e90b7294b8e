#include <functional>
#include <future>
#include <map>
#include <set>
#include <thread>

#include <windows.h>

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "CaptureWatchWindows.h"

namespace tally::platform {

namespace {

constexpr DWORD lookEveryMs = 3000;

// A COM reference released when it goes.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() { reset(); }
    Com(const Com& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    Com& operator=(const Com& other) {
        if (this != &other) {
            reset();
            p_ = other.p_;
            if (p_) p_->AddRef();
        }
        return *this;
    }
    Com(Com&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Com& operator=(Com&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// Every callback Windows makes (a device added or removed, a session made, a session's state
// changed) only wakes the watcher's thread, which then looks at everything again. The methods
// run on threads of the system's; none of them blocks.
class Wake final : public IMMNotificationClient, public IAudioSessionNotification, public IAudioSessionEvents {
public:
    explicit Wake(HANDLE event) : event_(event) {}

    // One object for the lifetime of the watcher, which outlives every registration.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient))
            *out = static_cast<IMMNotificationClient*>(this);
        else if (iid == __uuidof(IAudioSessionNotification))
            *out = static_cast<IAudioSessionNotification*>(this);
        else if (iid == __uuidof(IAudioSessionEvents))
            *out = static_cast<IAudioSessionEvents*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }

    // Devices.
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
    // Sessions.
    HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl*) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason) override { return wake(); }
    HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float, BOOL, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float[], DWORD, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }

private:
    HRESULT wake() {
        ::SetEvent(event_);
        return S_OK;
    }
    HANDLE event_;
};

// The recording devices' audio sessions: a session in the active state is a program recording
// now, whatever the privacy settings' store says.
class SessionWatch final : public MicrophoneSessions {
public:
    SessionWatch(std::function<void(std::vector<std::string>)> report, std::function<void(bool)> started)
        : report_(std::move(report)),
          changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          wake_(changed_) {
        thread_ = std::thread([this, started = std::move(started)] { run(started); });
    }
    ~SessionWatch() override {
        ::SetEvent(stop_);
        thread_.join();
        ::CloseHandle(changed_);
        ::CloseHandle(stop_);
    }
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

private:
    struct Device {
        Com<IAudioSessionManager2> manager;
        std::map<std::wstring, Com<IAudioSessionControl>> sessions;  // by instance, each heard
    };

    void run(const std::function<void(bool)>& started) {
        const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        const bool ok = com && SUCCEEDED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                                            __uuidof(IMMDeviceEnumerator), enumerator_.putVoid())) &&
                        SUCCEEDED(enumerator_->RegisterEndpointNotificationCallback(&wake_)) && look() &&
                        !unsupported_;
        started(ok);
        if (ok) {
            // Windows tells of every change; a look every few seconds besides covers a system that
            // does not (Wine lists sessions but tells nothing).
            const HANDLE waits[] = {stop_, changed_};
            while (::WaitForMultipleObjects(2, waits, FALSE, lookEveryMs) != WAIT_OBJECT_0) look();
        }
        forget();
        if (enumerator_) enumerator_->UnregisterEndpointNotificationCallback(&wake_);
        enumerator_.reset();
        if (com) ::CoUninitialize();
    }

    // Every active recording device, every session on it (each one heard from now on), and the
    // programs whose sessions are active. False when the devices cannot be listed at all; a
    // device whose sessions cannot be listed sets unsupported_.
    bool look() {
        Com<IMMDeviceCollection> collection;
        if (FAILED(enumerator_->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, collection.put()))) return false;
        UINT count = 0;
        collection->GetCount(&count);
        std::map<std::wstring, Device> seen;
        std::vector<std::string> programs;
        for (UINT i = 0; i < count; ++i) {
            Com<IMMDevice> device;
            LPWSTR id = nullptr;
            if (FAILED(collection->Item(i, device.put())) || FAILED(device->GetId(&id))) continue;
            const std::wstring key = id;
            ::CoTaskMemFree(id);
            Device entry;
            if (auto known = devices_.find(key); known != devices_.end()) {
                entry = std::move(known->second);
                devices_.erase(known);
            } else if (!open(device, entry)) {
                continue;
            }
            lookAt(entry, programs);
            seen.emplace(key, std::move(entry));
        }
        forget();  // what remains is gone
        devices_ = std::move(seen);
        report_(std::move(programs));
        return true;
    }

    bool open(Com<IMMDevice>& device, Device& entry) {
        if (FAILED(device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, entry.manager.putVoid())))
            return false;
        // Sessions made from now on are told; the enumeration below is what makes Windows start
        // telling them, as its documentation says.
        entry.manager->RegisterSessionNotification(&wake_);
        return true;
    }

    void lookAt(Device& entry, std::vector<std::string>& programs) {
        Com<IAudioSessionEnumerator> sessions;
        const HRESULT listed = entry.manager->GetSessionEnumerator(sessions.put());
        if (listed == E_NOTIMPL) unsupported_ = true;  // Wine 8: a manager that lists nothing
        if (FAILED(listed)) return;
        int count = 0;
        sessions->GetCount(&count);
        std::set<std::wstring> seen;
        for (int i = 0; i < count; ++i) {
            Com<IAudioSessionControl> control;
            Com<IAudioSessionControl2> control2;
            if (FAILED(sessions->GetSession(i, control.put())) ||
                FAILED(control->QueryInterface(__uuidof(IAudioSessionControl2), control2.putVoid())))
                continue;
            LPWSTR instance = nullptr;
            if (SUCCEEDED(control2->GetSessionInstanceIdentifier(&instance))) {
                seen.insert(instance);
                if (entry.sessions.emplace(instance, control).second) control->RegisterAudioSessionNotification(&wake_);
                ::CoTaskMemFree(instance);
            }
            AudioSessionState state = AudioSessionStateInactive;
            if (FAILED(control->GetState(&state)) || state != AudioSessionStateActive) continue;
            if (control2->IsSystemSoundsSession() == S_OK) continue;
            DWORD pid = 0;
            control2->GetProcessId(&pid);
            programs.push_back(programOfProcess(pid));
        }
        // Sessions that ended are heard no more.
        std::erase_if(entry.sessions, [&](auto& session) {
            if (seen.count(session.first)) return false;
            session.second->UnregisterAudioSessionNotification(&wake_);
            return true;
        });
    }

    void forget() {
        for (auto& [id, device] : devices_) {
            for (auto& [instance, control] : device.sessions) control->UnregisterAudioSessionNotification(&wake_);
            device.manager->UnregisterSessionNotification(&wake_);
        }
        devices_.clear();
    }

    std::function<void(std::vector<std::string>)> report_;
    HANDLE changed_;
    HANDLE stop_;
    Wake wake_;
    Com<IMMDeviceEnumerator> enumerator_;
    std::map<std::wstring, Device> devices_;
    bool unsupported_ = false;  // a device's manager cannot list its sessions
    std::thread thread_;
};

}  // namespace

std::unique_ptr<MicrophoneSessions> watchMicrophoneSessions(std::function<void(std::vector<std::string>)> report) {
    std::promise<bool> started;
    auto future = started.get_future();
    auto watch = std::make_unique<SessionWatch>(std::move(report), [&started](bool ok) { started.set_value(ok); });
    if (!future.get()) return nullptr;
    return watch;
}

}  // namespace tally::platform
