#include "events.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "apartment.h"
#include "object.h"
#include "text.h"

namespace wiasim {

namespace {

constexpr ULONG WIA_NOTIFICATION_EVENT = 0x1;

struct Subscription {
    std::mutex mu;
    bool active = true;
    GUID event;
    std::optional<std::u16string> device;  // none: every device
    IWiaEventCallback* callback = nullptr;
};

struct Event {
    GUID guid;
    std::u16string deviceId, description;
    DWORD deviceType;
    std::vector<std::shared_ptr<Subscription>> targets;
};

// The event service: registrations, the queue and the one long-lived thread
// that delivers. Never destroyed, so that a delivery running while the process
// exits finds it intact.
class Hub {
public:
    static Hub& get() {
        static Hub* h = new Hub;
        return *h;
    }

    void add(const std::shared_ptr<Subscription>& s) {
        std::lock_guard<std::mutex> lock(mu_);
        subs_.push_back(s);
    }

    void remove(const Subscription* s) {
        std::lock_guard<std::mutex> lock(mu_);
        for (auto it = subs_.begin(); it != subs_.end(); ++it)
            if (it->get() == s) {
                subs_.erase(it);
                return;
            }
    }

    int count() {
        std::lock_guard<std::mutex> lock(mu_);
        return static_cast<int>(subs_.size());
    }

    int queue(Event e) {
        std::unique_lock<std::mutex> lock(mu_);
        for (const auto& s : subs_)
            if (s->event == e.guid && (!s->device || *s->device == e.deviceId)) e.targets.push_back(s);
        const int n = static_cast<int>(e.targets.size());
        if (n == 0) return 0;
        if (!thread_) {
            thread_ = true;
            std::thread([this] { run(); }).detach();
        }
        pending_.push_back(std::move(e));
        wake_.notify_all();
        return n;
    }

    void waitIdle() {
        if (isServiceThread()) return;  // called from inside a delivery
        std::unique_lock<std::mutex> lock(mu_);
        idle_.wait(lock, [this] { return pending_.empty() && !delivering_; });
    }

    void dropPending() {
        std::lock_guard<std::mutex> lock(mu_);
        pending_.clear();
        idle_.notify_all();
    }

private:
    void run() {
        markServiceThread();
        std::unique_lock<std::mutex> lock(mu_);
        for (;;) {
            wake_.wait(lock, [this] { return !pending_.empty(); });
            Event e = std::move(pending_.front());
            pending_.pop_front();
            delivering_ = true;
            lock.unlock();
            deliver(e);
            lock.lock();
            delivering_ = false;
            if (pending_.empty()) idle_.notify_all();
        }
    }

    static void deliver(const Event& e) {
        for (const auto& s : e.targets) {
            IWiaEventCallback* cb = nullptr;
            {
                std::lock_guard<std::mutex> lock(s->mu);
                if (!s->active) continue;
                cb = s->callback;
                cb->AddRef();
            }
            const bool connected = e.guid == wia::WIA_EVENT_DEVICE_CONNECTED;
            const std::u16string text = connected ? u"Device connected"
                                                  : e.guid == wia::WIA_EVENT_DEVICE_DISCONNECTED ? u"Device disconnected"
                                                                                                 : u"Device event";
            BSTR description = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
            BSTR id = SysAllocStringLen(e.deviceId.data(), static_cast<uint32_t>(e.deviceId.size()));
            BSTR devDesc = SysAllocStringLen(e.description.data(), static_cast<uint32_t>(e.description.size()));
            BSTR fullItemName = SysAllocStringLen(u"", 0);
            ULONG eventType = WIA_NOTIFICATION_EVENT;
            GUID guid = e.guid;
            cb->ImageEventCallback(&guid, description, id, devDesc, e.deviceType, fullItemName, &eventType, 0);
            SysFreeString(description);
            SysFreeString(id);
            SysFreeString(devDesc);
            SysFreeString(fullItemName);
            cb->Release();
        }
    }

    std::mutex mu_;
    std::condition_variable wake_, idle_;
    std::vector<std::shared_ptr<Subscription>> subs_;
    std::deque<Event> pending_;
    bool delivering_ = false;
    bool thread_ = false;
};

// The registration object handed to the caller; its last Release ends the
// subscription and lets the callback go.
class Registration final : public ComObject, public Face<Registration, IUnknown> {
public:
    explicit Registration(std::shared_ptr<Subscription> s) : ComObject("WiaEventRegistration"), sub_(std::move(s)) {
        setLabel(guidName(sub_->event) + (sub_->device ? " " + utf16ToUtf8(*sub_->device) : std::string()));
    }
    ~Registration() override {
        IWiaEventCallback* cb;
        {
            std::lock_guard<std::mutex> lock(sub_->mu);
            sub_->active = false;
            cb = sub_->callback;
            sub_->callback = nullptr;
        }
        Hub::get().remove(sub_.get());
        if (cb) cb->Release();
    }

protected:
    void* findInterface(REFIID riid) override {
        return riid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
    }

private:
    std::shared_ptr<Subscription> sub_;
};

}  // namespace

HRESULT registerEventCallback(LONG, BSTR deviceId, const GUID* event, IWiaEventCallback* callback,
                              IUnknown** registration) {
    if (!registration) return E_POINTER;
    *registration = nullptr;
    if (!event || !callback) return E_INVALIDARG;
    auto s = std::make_shared<Subscription>();
    s->event = *event;
    if (deviceId && SysStringLen(deviceId) > 0) s->device = std::u16string(deviceId, SysStringLen(deviceId));
    callback->AddRef();
    s->callback = callback;
    Hub::get().add(s);
    *registration = static_cast<IUnknown*>(new Registration(std::move(s)));
    return S_OK;
}

int queueDeviceEvent(const GUID& event, const std::u16string& deviceId, const std::u16string& description,
                     DWORD deviceType) {
    return Hub::get().queue({event, deviceId, description, deviceType, {}});
}

void waitEventsIdle() { Hub::get().waitIdle(); }
void dropPendingEvents() { Hub::get().dropPending(); }
int liveSubscriptions() { return Hub::get().count(); }

}  // namespace wiasim
