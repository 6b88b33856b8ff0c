// Published WIA property IDs with their constant names and usual display
// names, and the other names a profile may use (item types, categories).
#pragma once

#include <optional>
#include <string>

#include "wia_platform.h"

namespace wiasim {

struct PropInfo {
    PROPID id;
    const char* constant;  // "WIA_IPS_XRES"
    const char* display;   // "Horizontal Resolution"
    VARTYPE vt;            // the type the property usually has
};

const PropInfo* findProperty(PROPID id);
const PropInfo* findProperty(const std::string& constant);

// "image", "transfer", ... -> WiaItemType bits.
std::optional<LONG> itemTypeBit(const std::string& name);
// "flatbed", "feeder", ... or a GUID text.
std::optional<GUID> categoryGuid(const std::string& name);
// "scanner", "camera", "video", "default".
std::optional<LONG> stiTypeByName(const std::string& name);

}  // namespace wiasim
