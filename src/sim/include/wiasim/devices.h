// Device control beyond control.h: opening a device outside the library, and
// plugging devices in and out while the service runs.
#pragma once

#include <cstdint>
#include <string>

namespace wiasim {

// Creates the device's root item as CreateDevice of that WIA version does and
// registers it in the Global Interface Table (IID_IWiaItem2 or IID_IWiaItem);
// returns the cookie, for tests that need a device handle before the library
// opens devices itself (SimControl.openDevice in Java). Not journalled.
// std::invalid_argument for an ID that the profile does not offer to that version.
uint32_t openDevice(const std::string& deviceId, bool wia2);

// Unplugs (false) or plugs in (true) a device of the profile. An unplugged
// device is not listed and cannot be created; the items already open answer
// WIA_ERROR_OFFLINE. A change of state fires the disconnect or connect event;
// returns the number of registrations it was queued for (0 when the state did
// not change). The state lasts until the next profile load or reset().
// std::invalid_argument for an ID that is not in the profile.
int setDevicePlugged(const std::string& deviceId, bool plugged);

}  // namespace wiasim
