// The control API of control.h.
#include "wiasim/control.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "accounting.h"
#include "apartment.h"
#include "wiasim/devices.h"
#include "events.h"
#include "git.h"
#include "item.h"
#include "journal.h"
#include "message.h"
#include "object.h"
#include "service.h"
#include "text.h"
#include "transfer.h"

namespace wiasim {

Counts counts() {
    const BlockCounts b = blockCounts();
    return {liveObjectCount(), b.bstrs, b.taskMem, b.local, b.badFrees};
}

std::vector<std::string> liveObjects() { return liveObjectLines(); }

void loadProfileJson(const std::string& json) { setProfile(profile::parse(json)); }

void loadProfileFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::invalid_argument("device profile: cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    loadProfileJson(text.str());
}

void loadDefaultProfile() { setProfile(profile::parse(profile::defaultJson())); }

std::string defaultProfileJson() { return profile::defaultJson(); }

void reset() {
    setProfile(startupProfile());
    faultsClear();
    journalClear();
    clearMessageTexts();
    dropPendingEvents();
    resetTransfers();
    resetSerials();
}

void holdTransfer(const std::string& target, int band, int file) { holdTransferAt(target, band, file); }

bool awaitTransferHeld(int timeoutMs) { return awaitHeld(timeoutMs); }

void releaseTransfer() { releaseHeld(); }

std::string transferFolder() { return serviceFolder(); }

void setTransferFolder(const std::string& path) { setServiceFolder(path); }

void loadFeeder(const std::string& deviceId, int sheets) {
    if (sheets < 0) throw std::invalid_argument("a feeder holds 0 or more sheets");
    refillFeeder(utf8ToUtf16(deviceId), sheets);
}

void injectFault(const std::string& method, const std::string& argFilter, int32_t hr, int nth, int times,
                 bool afterCall) {
    faultAdd(method, argFilter, hr, nth, times, afterCall);
}

void clearFaults() { faultsClear(); }

std::vector<std::string> journal() { return journalLines(); }

void clearJournal() { journalClear(); }

uint32_t currentThreadId() { return threadId(); }

std::string currentApartment() { return apartmentName(currentApartmentOf()); }

int fireDeviceEvent(bool connected, const std::string& deviceId, const std::string& description, int32_t deviceType) {
    const std::u16string id = utf8ToUtf16(deviceId);
    std::shared_ptr<const profile::Device> device;
    for (const auto& d : currentProfile()->devices)
        if (d->id16 == id) device = d;
    std::u16string desc = utf8ToUtf16(description);
    if (desc.empty() && device) desc = utf8ToUtf16(device->description);
    DWORD type = static_cast<DWORD>(deviceType);
    if (deviceType < 0) type = device ? static_cast<DWORD>(device->devType()) : 0;
    return queueDeviceEvent(connected ? wia::WIA_EVENT_DEVICE_CONNECTED : wia::WIA_EVENT_DEVICE_DISCONNECTED, id, desc,
                            type);
}

void waitEventsDelivered() { waitEventsIdle(); }

int subscriptions() { return liveSubscriptions(); }

void addSystemMessage(uint32_t code, const std::string& bytes) { addMessageText(code, bytes); }

int setDevicePlugged(const std::string& deviceId, bool plugged) {
    const std::u16string id = utf8ToUtf16(deviceId);
    std::shared_ptr<const profile::Device> device;
    for (const auto& d : currentProfile()->devices)
        if (d->id16 == id) device = d;
    if (!device) throw std::invalid_argument("no device \"" + deviceId + "\" in the profile");
    if (!setDevicePresent(id, plugged)) return 0;
    return fireDeviceEvent(plugged, deviceId, std::string(), -1);
}

uint32_t openDevice(const std::string& deviceId, bool wia2) {
    const int version = wia2 ? 2 : 1;
    auto device = findDevice(utf8ToUtf16(deviceId), version);
    if (!device) throw std::invalid_argument("no device \"" + deviceId + "\" for WIA " + std::to_string(version));
    InternalScope internal;
    IUnknown* root = newRootItem(std::move(device), version);
    DWORD cookie = 0;
    const HRESULT hr = globalInterfaceTable()->RegisterInterfaceInGlobal(
        root, wia2 ? wia::IID_IWiaItem2 : wia::IID_IWiaItem, &cookie);
    root->Release();
    if (FAILED(hr)) throw std::runtime_error("registering the root item failed: " + hex8(static_cast<uint32_t>(hr)));
    return cookie;
}

}  // namespace wiasim
