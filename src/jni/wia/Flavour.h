// Everything that differs between the two flavours of the library, in one
// place. TALVEK_WIA2 builds the WIA 2.0 flavour, TALVEK_WIA1 the WIA 1.0 one.
#pragma once

#include "wia_platform.h"

#if defined(TALVEK_WIA2) == defined(TALVEK_WIA1)
#error "define exactly one of TALVEK_WIA2 and TALVEK_WIA1"
#endif

namespace talvek {

#if defined(TALVEK_WIA2)
using DevMgr = IWiaDevMgr2;
using WiaItemT = IWiaItem2;
static constexpr const CLSID& kClsidDevMgr = wia::CLSID_WiaDevMgr2;
static constexpr const IID& kIidDevMgr = wia::IID_IWiaDevMgr2;
static constexpr const IID& kIidItem = wia::IID_IWiaItem2;
constexpr bool kWia2 = true;
#define TALVEK_FLAVOUR_TAG "(WIA2) "
#else
using DevMgr = IWiaDevMgr;
using WiaItemT = IWiaItem;
static constexpr const CLSID& kClsidDevMgr = wia::CLSID_WiaDevMgr;
static constexpr const IID& kIidDevMgr = wia::IID_IWiaDevMgr;
static constexpr const IID& kIidItem = wia::IID_IWiaItem;
constexpr bool kWia2 = false;
#define TALVEK_FLAVOUR_TAG "(WIA1) "
#endif

}  // namespace talvek

namespace talvek {

// The calls whose shape differs between the two WIA versions.
#if defined(TALVEK_WIA2)
using EnumItemT = IEnumWiaItem2;
inline HRESULT CreateDeviceItem(DevMgr* manager, BSTR deviceId, WiaItemT** root) {
    return manager->CreateDevice(0, deviceId, root);
}
inline HRESULT EnumChildren(WiaItemT* item, EnumItemT** children) { return item->EnumChildItems(nullptr, children); }
#else
using EnumItemT = IEnumWiaItem;
inline HRESULT CreateDeviceItem(DevMgr* manager, BSTR deviceId, WiaItemT** root) {
    return manager->CreateDevice(deviceId, root);
}
inline HRESULT EnumChildren(WiaItemT* item, EnumItemT** children) { return item->EnumChildItems(children); }
#endif

}  // namespace talvek
