#include "catalog.h"

#include "text.h"

namespace wiasim {

namespace {

// Aliases (the same ID under a second constant) follow the main entry.
const PropInfo kProperties[] = {
    {2, "WIA_DIP_DEV_ID", "Unique Device ID", VT_BSTR},
    {3, "WIA_DIP_VEND_DESC", "Manufacturer", VT_BSTR},
    {4, "WIA_DIP_DEV_DESC", "Description", VT_BSTR},
    {5, "WIA_DIP_DEV_TYPE", "Type", VT_I4},
    {6, "WIA_DIP_PORT_NAME", "Port", VT_BSTR},
    {7, "WIA_DIP_DEV_NAME", "Name", VT_BSTR},
    {8, "WIA_DIP_SERVER_NAME", "Server", VT_BSTR},
    {9, "WIA_DIP_REMOTE_DEV_ID", "Remote Device ID", VT_BSTR},
    {10, "WIA_DIP_UI_CLSID", "UI Class ID", VT_BSTR},
    {11, "WIA_DIP_HW_CONFIG", "Hardware Configuration", VT_I4},
    {12, "WIA_DIP_BAUDRATE", "BaudRate", VT_BSTR},
    {13, "WIA_DIP_STI_GEN_CAPABILITIES", "STI Generic Capabilities", VT_I4},
    {14, "WIA_DIP_WIA_VERSION", "WIA Version", VT_BSTR},
    {15, "WIA_DIP_DRIVER_VERSION", "Driver Version", VT_BSTR},
    {16, "WIA_DIP_PNP_ID", "PnP ID String", VT_BSTR},
    {17, "WIA_DIP_STI_DRIVER_VERSION", "STI Driver Version", VT_I4},
    {1026, "WIA_DPA_FIRMWARE_VERSION", "Firmware Version", VT_BSTR},
    {1027, "WIA_DPA_CONNECT_STATUS", "Connect Status", VT_I4},
    {1028, "WIA_DPA_DEVICE_TIME", "Device Time", VT_VECTOR | VT_UI2},
    {2050, "WIA_DPC_PICTURES_TAKEN", "Pictures Taken", VT_I4},
    {2051, "WIA_DPC_PICTURES_REMAINING", "Pictures Remaining", VT_I4},
    {3074, "WIA_DPS_HORIZONTAL_BED_SIZE", "Horizontal Bed Size", VT_I4},
    {3074, "WIA_IPS_MAX_HORIZONTAL_SIZE", "Horizontal Bed Size", VT_I4},
    {3075, "WIA_DPS_VERTICAL_BED_SIZE", "Vertical Bed Size", VT_I4},
    {3075, "WIA_IPS_MAX_VERTICAL_SIZE", "Vertical Bed Size", VT_I4},
    {3076, "WIA_DPS_HORIZONTAL_SHEET_FEED_SIZE", "Horizontal Sheet Feed Size", VT_I4},
    {3077, "WIA_DPS_VERTICAL_SHEET_FEED_SIZE", "Vertical Sheet Feed Size", VT_I4},
    {3078, "WIA_DPS_SHEET_FEEDER_REGISTRATION", "Sheet Feeder Registration", VT_I4},
    {3078, "WIA_IPS_SHEET_FEEDER_REGISTRATION", "Sheet Feeder Registration", VT_I4},
    {3079, "WIA_DPS_HORIZONTAL_BED_REGISTRATION", "Horizontal Bed Registration", VT_I4},
    {3080, "WIA_DPS_VERTICAL_BED_REGISTRATION", "Vertical Bed Registration", VT_I4},
    {3081, "WIA_DPS_PLATEN_COLOR", "Platen Color", VT_VECTOR | VT_UI1},
    {3082, "WIA_DPS_PAD_COLOR", "Pad Color", VT_VECTOR | VT_UI1},
    {3083, "WIA_DPS_FILTER_SELECT", "Filter Select", VT_I4},
    {3084, "WIA_DPS_DITHER_SELECT", "Dither Select", VT_I4},
    {3085, "WIA_DPS_DITHER_PATTERN_DATA", "Dither Pattern Data", VT_VECTOR | VT_UI1},
    {3086, "WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES", "Document Handling Capabilities", VT_I4},
    {3087, "WIA_DPS_DOCUMENT_HANDLING_STATUS", "Document Handling Status", VT_I4},
    {3088, "WIA_DPS_DOCUMENT_HANDLING_SELECT", "Document Handling Select", VT_I4},
    {3088, "WIA_IPS_DOCUMENT_HANDLING_SELECT", "Document Handling Select", VT_I4},
    {3089, "WIA_DPS_DOCUMENT_HANDLING_CAPACITY", "Document Handling Capacity", VT_I4},
    {3090, "WIA_DPS_OPTICAL_XRES", "Horizontal Optical Resolution", VT_I4},
    {3090, "WIA_IPS_OPTICAL_XRES", "Horizontal Optical Resolution", VT_I4},
    {3091, "WIA_DPS_OPTICAL_YRES", "Vertical Optical Resolution", VT_I4},
    {3091, "WIA_IPS_OPTICAL_YRES", "Vertical Optical Resolution", VT_I4},
    {3092, "WIA_DPS_ENDORSER_CHARACTERS", "Endorser Characters", VT_BSTR},
    {3093, "WIA_DPS_ENDORSER_STRING", "Endorser String", VT_BSTR},
    {3094, "WIA_DPS_SCAN_AHEAD_PAGES", "Scan Ahead Pages", VT_I4},
    {3095, "WIA_DPS_MAX_SCAN_TIME", "Max Scan Time", VT_I4},
    {3096, "WIA_DPS_PAGES", "Pages", VT_I4},
    {3096, "WIA_IPS_PAGES", "Pages", VT_I4},
    {3097, "WIA_DPS_PAGE_SIZE", "Page Size", VT_I4},
    {3097, "WIA_IPS_PAGE_SIZE", "Page Size", VT_I4},
    {3098, "WIA_DPS_PAGE_WIDTH", "Page Width", VT_I4},
    {3098, "WIA_IPS_PAGE_WIDTH", "Page Width", VT_I4},
    {3099, "WIA_DPS_PAGE_HEIGHT", "Page Height", VT_I4},
    {3099, "WIA_IPS_PAGE_HEIGHT", "Page Height", VT_I4},
    {3100, "WIA_DPS_PREVIEW", "Preview", VT_I4},
    {3100, "WIA_IPS_PREVIEW", "Preview", VT_I4},
    {3101, "WIA_DPS_TRANSPARENCY", "Transparency Adapter", VT_I4},
    {3102, "WIA_DPS_TRANSPARENCY_SELECT", "Transparency Adapter Select", VT_I4},
    {3103, "WIA_DPS_SHOW_PREVIEW_CONTROL", "Show preview control", VT_I4},
    {3103, "WIA_IPS_SHOW_PREVIEW_CONTROL", "Show preview control", VT_I4},
    {3104, "WIA_DPS_MIN_HORIZONTAL_SHEET_FEED_SIZE", "Minimum Horizontal Sheet Feed Size", VT_I4},
    {3104, "WIA_IPS_MIN_HORIZONTAL_SIZE", "Minimum Horizontal Sheet Feed Size", VT_I4},
    {3105, "WIA_DPS_MIN_VERTICAL_SHEET_FEED_SIZE", "Minimum Vertical Sheet Feed Size", VT_I4},
    {3105, "WIA_IPS_MIN_VERTICAL_SIZE", "Minimum Vertical Sheet Feed Size", VT_I4},
    {4098, "WIA_IPA_ITEM_NAME", "Item Name", VT_BSTR},
    {4099, "WIA_IPA_FULL_ITEM_NAME", "Full Item Name", VT_BSTR},
    {4100, "WIA_IPA_ITEM_TIME", "Item Time Stamp", VT_VECTOR | VT_UI2},
    {4101, "WIA_IPA_ITEM_FLAGS", "Item Flags", VT_I4},
    {4102, "WIA_IPA_ACCESS_RIGHTS", "Access Rights", VT_I4},
    {4103, "WIA_IPA_DATATYPE", "Data Type", VT_I4},
    {4104, "WIA_IPA_DEPTH", "Bits Per Pixel", VT_I4},
    {4105, "WIA_IPA_PREFERRED_FORMAT", "Preferred Format", VT_CLSID},
    {4106, "WIA_IPA_FORMAT", "Format", VT_CLSID},
    {4107, "WIA_IPA_COMPRESSION", "Compression", VT_I4},
    {4108, "WIA_IPA_TYMED", "Media Type", VT_I4},
    {4109, "WIA_IPA_CHANNELS_PER_PIXEL", "Channels Per Pixel", VT_I4},
    {4110, "WIA_IPA_BITS_PER_CHANNEL", "Bits Per Channel", VT_I4},
    {4111, "WIA_IPA_PLANAR", "Planar", VT_I4},
    {4112, "WIA_IPA_PIXELS_PER_LINE", "Pixels Per Line", VT_I4},
    {4113, "WIA_IPA_BYTES_PER_LINE", "Bytes Per Line", VT_I4},
    {4114, "WIA_IPA_NUMBER_OF_LINES", "Number of Lines", VT_I4},
    {4115, "WIA_IPA_GAMMA_CURVES", "Gamma Curves", VT_I4},
    {4116, "WIA_IPA_ITEM_SIZE", "Item Size", VT_I4},
    {4117, "WIA_IPA_COLOR_PROFILE", "Color Profiles", VT_I4},
    {4118, "WIA_IPA_MIN_BUFFER_SIZE", "Buffer Size", VT_I4},
    {4119, "WIA_IPA_REGION_TYPE", "Region Type", VT_I4},
    {4120, "WIA_IPA_ICM_PROFILE_NAME", "Color Profile Name", VT_BSTR},
    {4121, "WIA_IPA_APP_COLOR_MAPPING", "Application Applies Color Mapping", VT_I4},
    {4122, "WIA_IPA_PROP_STREAM_COMPAT_ID", "Stream Compatibility ID", VT_CLSID},
    {4123, "WIA_IPA_FILENAME_EXTENSION", "Filename extension", VT_BSTR},
    {4124, "WIA_IPA_SUPPRESS_PROPERTY_PAGE", "Suppress a property page", VT_I4},
    {4125, "WIA_IPA_ITEM_CATEGORY", "Item Category", VT_CLSID},
    {4126, "WIA_IPA_UPLOAD_ITEM_SIZE", "Upload Item Size", VT_I4},
    {4127, "WIA_IPA_ITEMS_STORED", "Items Stored", VT_I4},
    {4128, "WIA_IPA_RAW_BITS_PER_CHANNEL", "Raw Bits Per Channel", VT_VECTOR | VT_UI1},
    {5122, "WIA_IPC_THUMBNAIL", "Thumbnail Data", VT_VECTOR | VT_UI1},
    {5123, "WIA_IPC_THUMB_WIDTH", "Thumbnail Width", VT_I4},
    {5124, "WIA_IPC_THUMB_HEIGHT", "Thumbnail Height", VT_I4},
    {5125, "WIA_IPC_AUDIO_AVAILABLE", "Audio Available", VT_I4},
    {5126, "WIA_IPC_AUDIO_DATA_FORMAT", "Audio Format", VT_CLSID},
    {5127, "WIA_IPC_AUDIO_DATA", "Audio Data", VT_VECTOR | VT_UI1},
    {5128, "WIA_IPC_NUM_PICT_PER_ROW", "Pictures per Row", VT_I4},
    {5129, "WIA_IPC_SEQUENCE", "Sequence Number", VT_I4},
    {5130, "WIA_IPC_TIMEDELAY", "Time Delay", VT_I4},
    {6146, "WIA_IPS_CUR_INTENT", "Current Intent", VT_I4},
    {6147, "WIA_IPS_XRES", "Horizontal Resolution", VT_I4},
    {6148, "WIA_IPS_YRES", "Vertical Resolution", VT_I4},
    {6149, "WIA_IPS_XPOS", "Horizontal Start Position", VT_I4},
    {6150, "WIA_IPS_YPOS", "Vertical Start Position", VT_I4},
    {6151, "WIA_IPS_XEXTENT", "Horizontal Extent", VT_I4},
    {6152, "WIA_IPS_YEXTENT", "Vertical Extent", VT_I4},
    {6153, "WIA_IPS_PHOTOMETRIC_INTERP", "Photometric Interpretation", VT_I4},
    {6154, "WIA_IPS_BRIGHTNESS", "Brightness", VT_I4},
    {6155, "WIA_IPS_CONTRAST", "Contrast", VT_I4},
    {6156, "WIA_IPS_ORIENTATION", "Orientation", VT_I4},
    {6157, "WIA_IPS_ROTATION", "Rotation", VT_I4},
    {6158, "WIA_IPS_MIRROR", "Mirror", VT_I4},
    {6159, "WIA_IPS_THRESHOLD", "Threshold", VT_I4},
    {6160, "WIA_IPS_INVERT", "Invert", VT_I4},
    {6161, "WIA_IPS_WARM_UP_TIME", "Lamp Warm up Time", VT_I4},
};

struct NamedValue {
    const char* name;
    LONG value;
};

const NamedValue kItemTypes[] = {
    {"free", wia::WiaItemTypeFree},         {"image", wia::WiaItemTypeImage},
    {"file", wia::WiaItemTypeFile},         {"folder", wia::WiaItemTypeFolder},
    {"root", wia::WiaItemTypeRoot},         {"analyze", wia::WiaItemTypeAnalyze},
    {"audio", wia::WiaItemTypeAudio},       {"device", wia::WiaItemTypeDevice},
    {"deleted", wia::WiaItemTypeDeleted},   {"disconnected", wia::WiaItemTypeDisconnected},
    {"hpanorama", 0x200},                   {"vpanorama", 0x400},
    {"burst", 0x800},                       {"storage", wia::WiaItemTypeStorage},
    {"transfer", wia::WiaItemTypeTransfer}, {"generated", wia::WiaItemTypeGenerated},
    {"has_attachments", 0x8000},            {"video", wia::WiaItemTypeVideo},
    {"document", wia::WiaItemTypeDocument}, {"programmable_data_source", 0x80000},
};

struct NamedCategory {
    const char* name;
    GUID guid;
};

const NamedCategory kCategories[] = {
    {"finished_file", wia::WIA_CATEGORY_FINISHED_FILE}, {"flatbed", wia::WIA_CATEGORY_FLATBED},
    {"feeder", wia::WIA_CATEGORY_FEEDER},               {"film", wia::WIA_CATEGORY_FILM},
    {"root", wia::WIA_CATEGORY_ROOT},                   {"folder", wia::WIA_CATEGORY_FOLDER},
    {"feeder_front", wia::WIA_CATEGORY_FEEDER_FRONT},   {"feeder_back", wia::WIA_CATEGORY_FEEDER_BACK},
    {"auto", wia::WIA_CATEGORY_AUTO},
};

}  // namespace

const PropInfo* findProperty(PROPID id) {
    for (const auto& p : kProperties)
        if (p.id == id) return &p;
    return nullptr;
}

const PropInfo* findProperty(const std::string& constant) {
    for (const auto& p : kProperties)
        if (constant == p.constant) return &p;
    return nullptr;
}

std::optional<LONG> itemTypeBit(const std::string& name) {
    for (const auto& t : kItemTypes)
        if (name == t.name) return t.value;
    return std::nullopt;
}

std::optional<GUID> categoryGuid(const std::string& name) {
    for (const auto& c : kCategories)
        if (name == c.name) return c.guid;
    return parseGuid(name);
}

std::optional<LONG> stiTypeByName(const std::string& name) {
    if (name == "default") return wia::StiDeviceTypeDefault;
    if (name == "scanner") return wia::StiDeviceTypeScanner;
    if (name == "camera") return wia::StiDeviceTypeDigitalCamera;
    if (name == "video") return wia::StiDeviceTypeStreamingVideo;
    return std::nullopt;
}

}  // namespace wiasim
