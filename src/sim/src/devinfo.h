// Device listing: IEnumWIA_DEV_INFO and the device records it hands out.
#pragma once

#include <memory>
#include <vector>

#include "profile.h"

namespace wiasim {

IEnumWIA_DEV_INFO* newDeviceEnumerator(std::vector<std::shared_ptr<const profile::Device>> devices);

}  // namespace wiasim
