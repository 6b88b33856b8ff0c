// Device profiles: the devices the service offers, read from JSON. The format
// is documented in docs/device-profiles.md.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "variant.h"
#include "wia_platform.h"

namespace wiasim::profile {

struct Property {
    PROPID id = 0;
    std::optional<std::u16string> name;  // none: the property has no name
    Variant value;
    ULONG access = wia::WIA_PROP_READ | wia::WIA_PROP_NONE;
    Variant valid;  // VT_EMPTY, or a vector in WIA's range / list / flag layout
};

struct Item {
    std::string name;
    std::string fullName;
    std::optional<GUID> category;
    LONG itemType = 0;
    bool wia1 = true, wia2 = true;
    std::vector<Property> properties;  // sorted by ID
    std::optional<ULONG> reportedCount;
    std::vector<Item> children;
    std::string transfer;  // raw JSON, kept for the transfer behaviour
};

struct Device {
    std::string id;
    std::u16string id16;
    std::string name, description, vendor, port, server;
    LONG stiType = wia::StiDeviceTypeScanner;
    LONG subtype = 0;
    bool local = true, wia1 = true, wia2 = true, plugged = true;
    std::vector<Property> record;  // the device information properties, sorted by ID
    Item root;
    std::string dialog;  // raw JSON, kept for the device dialog script

    LONG devType() const { return (stiType << 16) | (subtype & 0xFFFF); }
    bool visibleTo(int version) const { return version == 1 ? wia1 : wia2; }
};

struct Profile {
    bool wia1Registered = true, wia2Registered = true;
    std::vector<std::shared_ptr<const Device>> devices;
};

// Throws std::invalid_argument with the position and reason of the first problem.
std::shared_ptr<const Profile> parse(const std::string& json);
const std::string& defaultJson();

}  // namespace wiasim::profile
