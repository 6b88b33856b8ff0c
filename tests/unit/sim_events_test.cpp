// Device events: registrations, delivery on the service thread, and their end.
#include <stdexcept>
#include <thread>

#include "sim_test_support.h"
#include "wiasim/devices.h"

namespace simtest {
namespace {

class Events : public SimTest {
protected:
    Ptr<IUnknown> subscribe(IWiaDevMgr2* m, const GUID& event, const char* device = nullptr) {
        Ptr<IUnknown> reg;
        Bstr id(device ? std::string(device) : std::string());
        EXPECT_EQ(m->RegisterEventCallbackInterface(0, device ? id.get() : nullptr, &event, &callback, reg.out()), S_OK);
        return reg;
    }
    RecordingCallback callback;
};

TEST_F(Events, AnEventReachesItsSubscribersOnTheServiceThread) {
    auto m = manager2();
    auto connected = subscribe(m.get(), wia::WIA_EVENT_DEVICE_CONNECTED);
    auto disconnected = subscribe(m.get(), wia::WIA_EVENT_DEVICE_DISCONNECTED);
    EXPECT_EQ(wiasim::subscriptions(), 2);
    EXPECT_EQ(callback.refs(), 3u) << "each registration holds the callback";

    EXPECT_EQ(wiasim::fireDeviceEvent(true, kScannerId, "", -1), 1);
    EXPECT_EQ(wiasim::fireDeviceEvent(false, "other-device", "Gone", 0x20000), 1);
    wiasim::waitEventsDelivered();

    const auto got = callback.events();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].guid, wia::WIA_EVENT_DEVICE_CONNECTED);
    EXPECT_EQ(got[0].deviceId, kScannerId);
    EXPECT_EQ(got[0].deviceDescription, "Talvek Virtual Scanner") << "from the profile";
    EXPECT_EQ(got[0].deviceType, DWORD(wia::StiDeviceTypeScanner) << 16);
    EXPECT_FALSE(got[0].description.empty());
    EXPECT_EQ(got[1].guid, wia::WIA_EVENT_DEVICE_DISCONNECTED);
    EXPECT_EQ(got[1].deviceId, "other-device");
    EXPECT_EQ(got[1].deviceDescription, "Gone");
    EXPECT_EQ(got[1].deviceType, 0x20000u);
    for (const auto& e : got) {
        EXPECT_NE(e.thread, GetCurrentThreadId()) << "delivered on the service's thread";
        EXPECT_EQ(e.thread, got[0].thread) << "one long-lived thread";
    }
    EXPECT_EQ(callback.refs(), 3u) << "delivery gave back the reference it took";
}

TEST_F(Events, ARegistrationForOneDeviceHearsOnlyThatDevice) {
    auto m = manager2();
    auto reg = subscribe(m.get(), wia::WIA_EVENT_DEVICE_CONNECTED, kCameraId);
    EXPECT_EQ(wiasim::fireDeviceEvent(true, kScannerId, "", -1), 0);
    EXPECT_EQ(wiasim::fireDeviceEvent(true, kCameraId, "", -1), 1);
    wiasim::waitEventsDelivered();
    ASSERT_EQ(callback.events().size(), 1u);
    EXPECT_EQ(callback.events()[0].deviceType, DWORD(wia::StiDeviceTypeDigitalCamera) << 16);
}

TEST_F(Events, ReleasingTheRegistrationEndsDeliveryAndLetsTheCallbackGo) {
    auto m = manager2();
    auto reg = subscribe(m.get(), wia::WIA_EVENT_DEVICE_CONNECTED);
    m.reset();  // the registration outlives the manager
    EXPECT_EQ(wiasim::fireDeviceEvent(true, kScannerId, "", -1), 1);
    wiasim::waitEventsDelivered();
    reg.reset();
    EXPECT_EQ(wiasim::subscriptions(), 0);
    EXPECT_EQ(callback.refs(), 1u);
    EXPECT_EQ(wiasim::fireDeviceEvent(true, kScannerId, "", -1), 0);
    wiasim::waitEventsDelivered();
    EXPECT_EQ(callback.events().size(), 1u);
}

TEST_F(Events, EventsRacingWithTheReleaseOfTheirRegistrationAreSafe) {
    callback.delayMicros = 50;
    for (int round = 0; round < 30; ++round) {
        auto m = manager2();
        auto reg = subscribe(m.get(), wia::WIA_EVENT_DEVICE_DISCONNECTED);
        std::atomic<bool> stop{false};
        std::thread firer([&] {
            while (!stop) wiasim::fireDeviceEvent(false, kScannerId, "", -1);
        });
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        reg.reset();
        m.reset();
        stop = true;
        firer.join();
        wiasim::waitEventsDelivered();
        EXPECT_EQ(callback.refs(), 1u) << "round " << round;
    }
    EXPECT_EQ(wiasim::subscriptions(), 0);
}

TEST_F(Events, UnpluggingADeviceHidesItFailsItsOpenItemsAndTellsTheSubscribers) {
    auto m = manager2();
    auto gone = subscribe(m.get(), wia::WIA_EVENT_DEVICE_DISCONNECTED);
    auto back = subscribe(m.get(), wia::WIA_EVENT_DEVICE_CONNECTED);
    auto root = openRoot2(kScannerId);
    auto flatbed = std::move(children2(root.get())[0]);
    auto props = storageOf(flatbed.get());
    auto countDevices = [&] {
        Ptr<IEnumWIA_DEV_INFO> e;
        ULONG n = 0;
        EXPECT_EQ(m->EnumDeviceInfo(wia::WIA_DEVINFO_ENUM_LOCAL, e.out()), S_OK);
        EXPECT_EQ(e->GetCount(&n), S_OK);
        return n;
    };

    EXPECT_EQ(wiasim::setDevicePlugged(kScannerId, false), 1);
    EXPECT_EQ(wiasim::setDevicePlugged(kScannerId, false), 0) << "no change, no event";
    EXPECT_EQ(countDevices(), 1u);
    Bstr id(kScannerId);
    Ptr<IWiaItem2> again;
    EXPECT_EQ(m->CreateDevice(0, id.get(), again.out()), wia::WIA_S_NO_DEVICE_AVAILABLE);
    LONG type = 0;
    EXPECT_EQ(flatbed->GetItemType(&type), wia::WIA_ERROR_OFFLINE);
    EXPECT_EQ(readText(props.get(), wia::WIA_IPS_XRES), "hr:80210005");

    EXPECT_EQ(wiasim::setDevicePlugged(kScannerId, true), 1);
    EXPECT_EQ(readLong(props.get(), wia::WIA_IPS_XRES), 300) << "open items work again";
    EXPECT_EQ(countDevices(), 2u);
    EXPECT_THROW(wiasim::setDevicePlugged("no-such-device", false), std::invalid_argument);
    wiasim::waitEventsDelivered();
    const auto got = callback.events();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].guid, wia::WIA_EVENT_DEVICE_DISCONNECTED);
    EXPECT_EQ(got[1].guid, wia::WIA_EVENT_DEVICE_CONNECTED);
    EXPECT_EQ(got[1].deviceId, kScannerId);
}

TEST_F(Events, RegistrationChecksItsArguments) {
    auto m = manager2();
    Ptr<IUnknown> reg;
    EXPECT_EQ(m->RegisterEventCallbackInterface(0, nullptr, nullptr, &callback, reg.out()), E_INVALIDARG);
    EXPECT_EQ(m->RegisterEventCallbackInterface(0, nullptr, &wia::WIA_EVENT_DEVICE_CONNECTED, nullptr, reg.out()),
              E_INVALIDARG);
    EXPECT_EQ(m->RegisterEventCallbackInterface(0, nullptr, &wia::WIA_EVENT_DEVICE_CONNECTED, &callback, nullptr),
              E_POINTER);
    EXPECT_EQ(callback.refs(), 1u);
    auto m1 = manager1();
    ASSERT_EQ(m1->RegisterEventCallbackInterface(0, nullptr, &wia::WIA_EVENT_DEVICE_CONNECTED, &callback, reg.out()),
              S_OK);
    EXPECT_EQ(wiasim::subscriptions(), 1);
}

}  // namespace
}  // namespace simtest
