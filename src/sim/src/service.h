// The service's current state: the profile in force and the devices it offers.
#pragma once

#include <memory>
#include <string>

#include "profile.h"

namespace wiasim {

std::shared_ptr<const profile::Profile> currentProfile();
void setProfile(std::shared_ptr<const profile::Profile> p);
// The profile named by TALVEK_SIM_PROFILE, else the embedded default. A
// profile file that cannot be read gives a service without devices and a
// message on standard error.
std::shared_ptr<const profile::Profile> startupProfile();

// The device with this ID that WIA `version` offers now, or null.
std::shared_ptr<const profile::Device> findDevice(const std::u16string& id, int version);

// Whether a device is plugged in now: its profile state unless changed since.
bool devicePresent(const profile::Device& d);
// Changes it; false when it was already so.
bool setDevicePresent(const std::u16string& id, bool present);

}  // namespace wiasim
