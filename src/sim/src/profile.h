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

// A camera picture: a finished file that a transfer copies as it is (a file
// named in the profile) or renders at the given size.
struct Picture {
    int width = 0, height = 0;
    std::string caption;
    std::string file;  // a JPEG (or any) file copied byte for byte; empty: rendered
};

// What a transfer of the item produces and how it goes ("transfer" in the profile).
struct TransferDef {
    int sheets = -1;               // "pages": sheets loaded in the feeder; -1: the item is not a feeder
    HRESULT end = S_OK;            // how a feeder download ends once every sheet is delivered
    int jamAt = 0;                 // the sheet (from the first loaded) that jams; 0: none
    int failFile = 0;              // the file of a download that fails; 0: none
    int failBand = 0;              // ... before its band N (0: before its stream is asked for)
    HRESULT failResult = wia::WIA_ERROR_GENERAL_ERROR;
    bool emptyAll = false;         // every stream gets no data
    std::vector<int> emptyFiles;   // the files of a download whose stream gets no data
    enum class Progress { Bands, Jumps, None } progress = Progress::Bands;
    int bands = 0;                 // bands per file; 0: by bandBytes
    int bandBytes = 65536;
    int bandDelayMs = 0;           // a slow device: pause before each band
    bool nullItemName = false;     // GetNextStream gets a null item name
    bool newPage = false;          // WIA 1.0: IT_MSG_NEW_PAGE before the data of each page
    bool noStream = false;         // WIA 2.0: the download asks for no stream at all
    std::optional<LONG> dataOffset; // WIA 1.0: a device reporting garbage: every IT_MSG_DATA gives this lOffset
    std::optional<HRESULT> answer; // the result of a transfer that otherwise succeeds
    std::optional<Picture> picture;
    bool isFeeder() const { return sheets >= 0; }
};

// One answer of the device dialog; the script's steps answer successive calls,
// the last one repeating.
struct DialogStep {
    HRESULT answer = S_OK;            // S_FALSE: the user cancelled
    int files = 1;                    // WIA 2.0: files written from a scanner source
    std::string source;               // the item the images come from (name); empty: the first that transfers
    std::vector<std::string> select;  // the items chosen (names); WIA 1.0 returns them, WIA 2.0 writes their files
    std::string format;               // "bmp", "jpeg", "png"; empty: the source item's format
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
    TransferDef transfer;
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
    std::vector<DialogStep> dialog;  // the script of the device dialog; empty: the default answer

    LONG devType() const { return (stiType << 16) | (subtype & 0xFFFF); }
    bool visibleTo(int version) const { return version == 1 ? wia1 : wia2; }
};

struct Profile {
    bool wia1Registered = true, wia2Registered = true;
    std::vector<std::shared_ptr<const Device>> devices;
};

// A result given as a number, "0x..." or a published name ("WIA_ERROR_PAPER_JAM", "S_FALSE").
std::optional<HRESULT> resultByName(const std::string& name);

// Throws std::invalid_argument with the position and reason of the first problem.
std::shared_ptr<const Profile> parse(const std::string& json);
const std::string& defaultJson();

}  // namespace wiasim::profile
