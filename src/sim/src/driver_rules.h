// Properties that a scanner driver keeps consistent with each other. After a
// write is accepted, the properties tied to it change as they do on real
// devices: a new resolution rescales the position and extent and their valid
// ranges to the same physical area, a position shrinks the extent that is
// left, a data type narrows the depths that are valid, a format renames the
// file extension, and the image layout properties follow.
#pragma once

#include <vector>

#include "profile.h"

namespace wiasim {

// What the rules need to know of an item as the profile defines it.
struct Geometry {
    int64_t bedMilsX = 0, bedMilsY = 0;  // the full scan area in 1/1000 inch; 0: not known
    Variant depthValid;                  // the depths the profile allows, before any narrowing
};

// Properties are sorted by ID.
Geometry geometryOf(const std::vector<profile::Property>& props);
profile::Property* propertyIn(std::vector<profile::Property>& props, PROPID id);
const profile::Property* propertyIn(const std::vector<profile::Property>& props, PROPID id);

// Applies the ties of property `changed`, whose value was `before`.
void applyTies(std::vector<profile::Property>& props, const Geometry& g, PROPID changed, const Variant& before);

// The file extension and the published GUID of an image format ("bmp", "jpg", "png").
const char* extensionOfFormat(const GUID& format);

}  // namespace wiasim
