#include "driver_rules.h"

#include <algorithm>

namespace wiasim {

namespace {

constexpr PROPID kChannelsPerPixel = 4109;
constexpr PROPID kBitsPerChannel = 4110;
constexpr PROPID kPixelsPerLine = 4112;
constexpr PROPID kBytesPerLine = 4113;
constexpr PROPID kNumberOfLines = 4114;
constexpr PROPID kItemSize = 4116;

// The integer value of a VT_I4 property, or none.
std::optional<int64_t> intOf(const std::vector<profile::Property>& props, PROPID id) {
    const profile::Property* p = propertyIn(props, id);
    if (!p || p->value.vt() != VT_I4) return std::nullopt;
    return p->value.get().lVal;
}

void setInt(std::vector<profile::Property>& props, PROPID id, int64_t v) {
    profile::Property* p = propertyIn(props, id);
    if (p && p->value.vt() == VT_I4) p->value = Variant::integer(VT_I4, v);
}

bool isI4Range(const profile::Property& p) {
    const PROPVARIANT& v = p.valid.get();
    return (p.access & wia::WIA_PROP_RANGE) && v.vt == (VT_VECTOR | VT_I4) && v.cal.cElems > wia::WIA_RANGE_STEP;
}

// Sets the maximum of a range (and its nominal value, which follows it) and
// clamps the current value into the range.
void setRangeMax(std::vector<profile::Property>& props, PROPID id, int64_t max) {
    profile::Property* p = propertyIn(props, id);
    if (!p || !isI4Range(*p) || p->value.vt() != VT_I4) return;
    const PROPVARIANT& v = p->valid.get();
    const int64_t mn = v.cal.pElems[wia::WIA_RANGE_MIN];
    const int64_t step = v.cal.pElems[wia::WIA_RANGE_STEP];
    max = std::max(max, mn);
    p->valid = Variant::integers(VT_I4, {mn, max, max, step});
    const int64_t cur = p->value.get().lVal;
    p->value = Variant::integer(VT_I4, std::clamp(cur, mn, max));
}

int64_t scaled(int64_t v, int64_t to, int64_t from) { return from > 0 ? v * to / from : v; }

// Resolution, position and extent along one axis.
struct Axis {
    PROPID res, pos, extent;
    int64_t Geometry::*bed;
};
const Axis kAxes[] = {
    {wia::WIA_IPS_XRES, wia::WIA_IPS_XPOS, wia::WIA_IPS_XEXTENT, &Geometry::bedMilsX},
    {wia::WIA_IPS_YRES, wia::WIA_IPS_YPOS, wia::WIA_IPS_YEXTENT, &Geometry::bedMilsY},
};

void resolutionChanged(std::vector<profile::Property>& props, const Geometry& g, const Axis& a, int64_t before) {
    const auto res = intOf(props, a.res);
    if (!res || *res <= 0 || before <= 0) return;
    const int64_t full = g.*a.bed > 0 ? std::max<int64_t>(1, g.*a.bed * *res / 1000) : 0;
    // The same physical area at the new resolution.
    int64_t pos = 0;
    if (auto p = intOf(props, a.pos)) {
        pos = scaled(*p, *res, before);
        if (full) pos = std::clamp<int64_t>(pos, 0, full - 1);
        setInt(props, a.pos, pos);
        if (full) setRangeMax(props, a.pos, full - 1);
    }
    if (auto e = intOf(props, a.extent)) {
        int64_t ext = std::max<int64_t>(1, scaled(*e, *res, before));
        if (full) ext = std::min(ext, full - pos);
        setInt(props, a.extent, ext);
        if (full) setRangeMax(props, a.extent, full - pos);
    }
}

void positionChanged(std::vector<profile::Property>& props, const Geometry& g, const Axis& a) {
    const auto res = intOf(props, a.res);
    const auto pos = intOf(props, a.pos);
    if (!res || !pos || g.*a.bed <= 0) return;
    const int64_t full = std::max<int64_t>(1, g.*a.bed * *res / 1000);
    setRangeMax(props, a.extent, full - *pos);
}

// The depths that go with a data type.
std::vector<int64_t> depthsFor(int64_t dataType) {
    switch (dataType) {
        case wia::WIA_DATA_THRESHOLD:
        case wia::WIA_DATA_DITHER: return {1};
        case wia::WIA_DATA_GRAYSCALE: return {8, 16};
        case wia::WIA_DATA_COLOR: return {24, 48};
        default: return {};
    }
}

void dataTypeChanged(std::vector<profile::Property>& props, const Geometry& g) {
    const auto dt = intOf(props, wia::WIA_IPA_DATATYPE);
    if (!dt) return;
    const std::vector<int64_t> fitting = depthsFor(*dt);
    setInt(props, kChannelsPerPixel, *dt == wia::WIA_DATA_COLOR ? 3 : 1);
    profile::Property* depth = propertyIn(props, wia::WIA_IPA_DEPTH);
    if (!depth || depth->value.vt() != VT_I4 || fitting.empty()) return;
    const PROPVARIANT& original = g.depthValid.get();
    if ((depth->access & wia::WIA_PROP_LIST) && original.vt == (VT_VECTOR | VT_I4) &&
        original.cal.cElems > wia::WIA_LIST_VALUES) {
        std::vector<int64_t> allowed;
        for (ULONG i = wia::WIA_LIST_VALUES; i < original.cal.cElems; ++i)
            if (std::find(fitting.begin(), fitting.end(), original.cal.pElems[i]) != fitting.end())
                allowed.push_back(original.cal.pElems[i]);
        if (allowed.empty()) return;
        std::vector<int64_t> list{static_cast<int64_t>(allowed.size()), allowed[0]};
        list.insert(list.end(), allowed.begin(), allowed.end());
        depth->valid = Variant::integers(VT_I4, list);
        depth->value = Variant::integer(VT_I4, allowed[0]);
    } else {
        depth->value = Variant::integer(VT_I4, fitting[0]);
    }
}

void formatChanged(std::vector<profile::Property>& props) {
    const profile::Property* format = propertyIn(props, wia::WIA_IPA_FORMAT);
    if (!format || format->value.vt() != VT_CLSID || !format->value.get().puuid) return;
    const char* ext = extensionOfFormat(*format->value.get().puuid);
    profile::Property* extension = propertyIn(props, wia::WIA_IPA_FILENAME_EXTENSION);
    if (!ext || !extension || extension->value.vt() != VT_BSTR) return;
    std::u16string wide;
    for (const char* c = ext; *c; ++c) wide += static_cast<char16_t>(*c);
    extension->value = Variant::string(VT_BSTR, wide);
}

// The image layout that follows from extent, depth and format.
void layoutFollows(std::vector<profile::Property>& props) {
    const auto width = intOf(props, wia::WIA_IPS_XEXTENT);
    const auto lines = intOf(props, wia::WIA_IPS_YEXTENT);
    const auto depth = intOf(props, wia::WIA_IPA_DEPTH);
    if (width) setInt(props, kPixelsPerLine, *width);
    if (lines) setInt(props, kNumberOfLines, *lines);
    if (depth) {
        const auto channels = intOf(props, kChannelsPerPixel);
        if (channels && *channels > 0) setInt(props, kBitsPerChannel, *depth / *channels);
    }
    if (!width || !depth) return;
    const int64_t stride = (*width * *depth + 31) / 32 * 4;
    setInt(props, kBytesPerLine, stride);
    if (!lines) return;
    const profile::Property* format = propertyIn(props, wia::WIA_IPA_FORMAT);
    const bool bmp = format && format->value.vt() == VT_CLSID && format->value.get().puuid &&
                     *format->value.get().puuid == wia::WiaImgFmt_BMP;
    const int64_t palette = *depth <= 8 ? (int64_t{1} << *depth) * 4 : 0;
    setInt(props, kItemSize, bmp ? 54 + palette + stride * *lines : 0);
}

}  // namespace

const profile::Property* propertyIn(const std::vector<profile::Property>& props, PROPID id) {
    auto it = std::lower_bound(props.begin(), props.end(), id,
                               [](const profile::Property& p, PROPID v) { return p.id < v; });
    return it != props.end() && it->id == id ? &*it : nullptr;
}

profile::Property* propertyIn(std::vector<profile::Property>& props, PROPID id) {
    return const_cast<profile::Property*>(propertyIn(static_cast<const std::vector<profile::Property>&>(props), id));
}

Geometry geometryOf(const std::vector<profile::Property>& props) {
    Geometry g;
    for (const Axis& a : kAxes) {
        const profile::Property* ext = propertyIn(props, a.extent);
        const auto res = intOf(props, a.res);
        if (ext && isI4Range(*ext) && res && *res > 0) {
            const int64_t max = ext->valid.get().cal.pElems[wia::WIA_RANGE_MAX];
            const int64_t pos = intOf(props, a.pos).value_or(0);
            g.*a.bed = (max + pos) * 1000 / *res;
        }
    }
    if (const profile::Property* depth = propertyIn(props, wia::WIA_IPA_DEPTH)) g.depthValid = depth->valid;
    return g;
}

void applyTies(std::vector<profile::Property>& props, const Geometry& g, PROPID changed, const Variant& before) {
    const int64_t old = before.vt() == VT_I4 ? before.get().lVal : 0;
    for (const Axis& a : kAxes) {
        if (changed == a.res) resolutionChanged(props, g, a, old);
        if (changed == a.pos) positionChanged(props, g, a);
    }
    if (changed == wia::WIA_IPA_DATATYPE) dataTypeChanged(props, g);
    if (changed == wia::WIA_IPA_FORMAT) formatChanged(props);
    static const PROPID kLayout[] = {wia::WIA_IPS_XRES,    wia::WIA_IPS_YRES,     wia::WIA_IPS_XPOS,
                                     wia::WIA_IPS_YPOS,    wia::WIA_IPS_XEXTENT,  wia::WIA_IPS_YEXTENT,
                                     wia::WIA_IPA_DATATYPE, wia::WIA_IPA_DEPTH,   wia::WIA_IPA_FORMAT};
    if (std::find(std::begin(kLayout), std::end(kLayout), changed) != std::end(kLayout)) layoutFollows(props);
}

const char* extensionOfFormat(const GUID& format) {
    if (format == wia::WiaImgFmt_BMP) return "bmp";
    if (format == wia::WiaImgFmt_JPEG) return "jpg";
    if (format == wia::WiaImgFmt_PNG) return "png";
    return nullptr;
}

}  // namespace wiasim
