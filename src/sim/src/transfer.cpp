#include "transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "apartment.h"
#include "driver_rules.h"
#include "image.h"
#include "journal.h"
#include "object.h"
#include "service.h"
#include "text.h"

namespace wiasim {

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr PROPID kPixelsPerLine = 4112;
constexpr PROPID kNumberOfLines = 4114;
// A hold that nobody releases lets the transfer go after this long.
constexpr auto kHoldLimit = std::chrono::seconds(30);
// Images above this many pixels are refused rather than rendered.
constexpr int64_t kPixelLimit = int64_t{200} * 1000 * 1000;

using TransferDef = profile::TransferDef;

// ---------------------------------------------------------------------------
// Holds, refills, the service folder, the devices that are transferring.

struct HoldBook {
    std::mutex mu;
    std::condition_variable cv;
    std::atomic<bool> armed{false};
    std::string target;
    int band = 0, file = 0;
    bool held = false;
    bool release = false;
    uint64_t generation = 0;
};

HoldBook& holds() {
    static HoldBook* h = new HoldBook;
    return *h;
}

struct ServiceState {
    std::mutex mu;
    std::map<std::u16string, std::pair<int, uint64_t>> refills;  // device -> sheets, generation
    uint64_t refillGeneration = 0;
    std::string folder;          // empty: the default
    std::set<std::u16string> busy;  // devices with a transfer running
    std::map<std::string, std::vector<uint8_t>> pictures;
    uint64_t fileSerial = 0;
};

ServiceState& service() {
    static ServiceState* s = new ServiceState;
    return *s;
}

std::string defaultFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/wiasim-" + std::to_string(::getpid());
}

// Marks the device and the opened device busy for the life of a transfer.
class BusyGuard {
public:
    explicit BusyGuard(OpenedDevice& opened) : opened_(opened) {
        ServiceState& s = service();
        std::lock_guard<std::mutex> lock(s.mu);
        if (!s.busy.insert(opened.device->id16).second) return;
        ok_ = true;
        opened_.transferring = true;
        opened_.cancelRequested = false;
    }
    ~BusyGuard() {
        if (!ok_) return;
        ServiceState& s = service();
        std::lock_guard<std::mutex> lock(s.mu);
        s.busy.erase(opened_.device->id16);
        opened_.transferring = false;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    bool ok() const { return ok_; }

private:
    OpenedDevice& opened_;
    bool ok_ = false;
};

// Runs a transfer where COM would deliver its callbacks: on the calling thread
// in a single-threaded apartment, on a service thread otherwise.
template <class F>
HRESULT onCallbackThread(F&& f) {
    auto guarded = [&]() -> HRESULT {
        try {
            return f();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    };
    if (currentApartmentOf() == Apartment::Sta) return guarded();
    HRESULT hr = E_UNEXPECTED;
    std::thread worker([&] {
        markServiceThread();
        hr = guarded();
    });
    worker.join();
    return hr;
}

// ---------------------------------------------------------------------------
// What the item's properties say.

std::optional<int64_t> intProp(const ItemNode& node, PROPID id) {
    const auto v = node.store.value(id);
    if (!v) return std::nullopt;
    return scalarInteger(v->get());
}

GUID formatOf(const ItemNode& node, const GUID& fallback) {
    const auto v = node.store.value(wia::WIA_IPA_FORMAT);
    if (v && v->vt() == VT_CLSID && v->get().puuid) return *v->get().puuid;
    return fallback;
}

ImageFormat imageFormat(const GUID& g) {
    if (g == wia::WiaImgFmt_JPEG) return ImageFormat::Jpeg;
    if (g == wia::WiaImgFmt_PNG) return ImageFormat::Png;
    return ImageFormat::Bmp;
}

ImageFormat imageFormat(const std::string& name, const ItemNode& node) {
    if (name == "jpeg") return ImageFormat::Jpeg;
    if (name == "png") return ImageFormat::Png;
    if (name == "bmp") return ImageFormat::Bmp;
    return imageFormat(formatOf(node, wia::WiaImgFmt_BMP));
}

// A brightness or contrast value as -1 to 1, by the property's valid range.
double normalised(const ItemNode& node, PROPID id) {
    const auto v = intProp(node, id);
    if (!v) return 0;
    double scale = 1000;
    if (const auto valid = node.store.validValues(id)) {
        const PROPVARIANT& pv = valid->get();
        if ((pv.vt & VT_VECTOR) && isIntegerVt(pv.vt & ~VT_VECTOR) && pv.cal.cElems > wia::WIA_RANGE_MAX) {
            const int64_t mn = vectorInteger(pv, wia::WIA_RANGE_MIN), mx = vectorInteger(pv, wia::WIA_RANGE_MAX);
            scale = static_cast<double>(std::max(std::llabs(mn), std::llabs(mx)));
        }
    }
    if (scale <= 0) return 0;
    return std::clamp(static_cast<double>(*v) / scale, -1.0, 1.0);
}

// The page length along one axis: the extent's range plus the position, else the window.
int pageLength(const ItemNode& node, PROPID extent, int64_t pos, int64_t window) {
    if (const auto valid = node.store.validValues(extent)) {
        const PROPVARIANT& pv = valid->get();
        if (pv.vt == (VT_VECTOR | VT_I4) && pv.cal.cElems > wia::WIA_RANGE_STEP)
            return static_cast<int>(std::max<int64_t>(pv.cal.pElems[wia::WIA_RANGE_MAX] + pos, pos + window));
    }
    return static_cast<int>(pos + window);
}

ImageSpec scanSpecOf(const ItemNode& node) {
    ImageSpec s;
    s.xres = static_cast<int>(std::max<int64_t>(1, intProp(node, wia::WIA_IPS_XRES).value_or(100)));
    s.yres = static_cast<int>(std::max<int64_t>(1, intProp(node, wia::WIA_IPS_YRES).value_or(s.xres)));
    s.xpos = static_cast<int>(std::max<int64_t>(0, intProp(node, wia::WIA_IPS_XPOS).value_or(0)));
    s.ypos = static_cast<int>(std::max<int64_t>(0, intProp(node, wia::WIA_IPS_YPOS).value_or(0)));
    const int64_t w = intProp(node, wia::WIA_IPS_XEXTENT)
                          .value_or(intProp(node, kPixelsPerLine).value_or(s.xres * 85 / 10));
    const int64_t h = intProp(node, wia::WIA_IPS_YEXTENT).value_or(intProp(node, kNumberOfLines).value_or(s.yres * 11));
    s.width = static_cast<int>(std::clamp<int64_t>(w, 1, 1000000));
    s.height = static_cast<int>(std::clamp<int64_t>(h, 1, 1000000));
    s.pageWidth = pageLength(node, wia::WIA_IPS_XEXTENT, s.xpos, s.width);
    s.pageHeight = pageLength(node, wia::WIA_IPS_YEXTENT, s.ypos, s.height);
    switch (intProp(node, wia::WIA_IPA_DATATYPE).value_or(wia::WIA_DATA_COLOR)) {
        case wia::WIA_DATA_THRESHOLD: s.kind = ImageKind::BlackWhite; break;
        case wia::WIA_DATA_DITHER: s.kind = ImageKind::Dithered; break;
        case wia::WIA_DATA_GRAYSCALE: s.kind = ImageKind::Grey; break;
        default: s.kind = ImageKind::Colour; break;
    }
    s.brightness = normalised(node, wia::WIA_IPS_BRIGHTNESS);
    s.contrast = normalised(node, wia::WIA_IPS_CONTRAST);
    return s;
}

bool isPicture(const ItemNode& node) {
    return node.def->transfer.picture.has_value() ||
           (node.def->category && *node.def->category == wia::WIA_CATEGORY_FINISHED_FILE);
}

bool isFeederItem(const profile::Item& def) {
    return def.transfer.isFeeder() || (def.category && *def.category == wia::WIA_CATEGORY_FEEDER);
}

bool transfers(const ItemNode& node) { return (node.def->itemType & wia::WiaItemTypeTransfer) != 0; }

// A folder or storage item: its transfer is that of the files below it.
bool isFolderLike(const ItemNode& node) {
    return !isPicture(node) && !isFeederItem(*node.def) &&
           ((node.def->itemType & (wia::WiaItemTypeFolder | wia::WiaItemTypeStorage)) ||
            (node.def->category && *node.def->category == wia::WIA_CATEGORY_FOLDER));
}

std::string renderKey(const profile::Device& d, const profile::Item& def, ImageFormat f) {
    return d.id + "|" + def.fullName + "|" + formatExtension(f) + "|" +
           (def.transfer.picture ? def.transfer.picture->caption + "|" + std::to_string(def.transfer.picture->width) +
                                       "x" + std::to_string(def.transfer.picture->height)
                                 : std::string());
}

HRESULT checkedRender(const ImageSpec& spec, ImageFormat format, std::vector<uint8_t>& out) {
    if (int64_t{spec.width} * spec.height > kPixelLimit) return E_OUTOFMEMORY;
    out = encodeImage(renderImage(spec), spec, format);
    return S_OK;
}

// A camera picture: the profile's file as it is, else a rendered picture in the item's format.
HRESULT pictureBytes(const profile::Device& device, const ItemNode& node, std::vector<uint8_t>& out) {
    const auto& pic = node.def->transfer.picture;
    if (pic && !pic->file.empty()) {
        std::ifstream in(pic->file, std::ios::binary);
        if (!in) return kFileNotFound;
        out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return S_OK;
    }
    const ImageFormat format = imageFormat(formatOf(node, wia::WiaImgFmt_JPEG));
    const std::string key = renderKey(device, *node.def, format);
    {
        ServiceState& s = service();
        std::lock_guard<std::mutex> lock(s.mu);
        auto it = s.pictures.find(key);
        if (it != s.pictures.end()) {
            out = it->second;
            return S_OK;
        }
    }
    ImageSpec spec;
    spec.picture = true;
    spec.width = pic && pic->width ? pic->width : static_cast<int>(intProp(node, kPixelsPerLine).value_or(640));
    spec.height = pic && pic->height ? pic->height : static_cast<int>(intProp(node, kNumberOfLines).value_or(480));
    spec.xres = spec.yres = 72;
    spec.label = pic && !pic->caption.empty() ? pic->caption : node.def->name;
    const HRESULT hr = checkedRender(spec, format, out);
    if (FAILED(hr)) return hr;
    ServiceState& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.pictures[key] = out;
    return S_OK;
}

HRESULT scanBytes(const ItemNode& node, const std::string& label, ImageFormat format, std::vector<uint8_t>& out) {
    ImageSpec spec = scanSpecOf(node);
    spec.label = label;
    return checkedRender(spec, format, out);
}

// ---------------------------------------------------------------------------
// The feeder.

// The definition of the feeder that feeds `node`: itself, else (WIA 1.0, where
// the root's document handling chooses the source) the device's first feeder.
const profile::Item* feederOf(const profile::Device& device, const profile::Item& item) {
    if (isFeederItem(item)) return &item;
    std::vector<const profile::Item*> todo{&device.root};
    while (!todo.empty()) {
        const profile::Item* it = todo.front();
        todo.erase(todo.begin());
        if (isFeederItem(*it)) return it;
        for (const auto& c : it->children) todo.push_back(&c);
    }
    return nullptr;
}

int loadedSheets(const profile::Item& def) { return def.transfer.isFeeder() ? def.transfer.sheets : 1; }

// Takes the next sheet: its number from the first loaded, or 0 when the feeder is empty.
int takeSheet(OpenedDevice& opened, const profile::Item& def) {
    uint64_t generation = 0;
    int refill = -1;
    {
        ServiceState& s = service();
        std::lock_guard<std::mutex> lock(s.mu);
        auto it = s.refills.find(opened.device->id16);
        if (it != s.refills.end()) std::tie(refill, generation) = it->second;
    }
    std::lock_guard<std::mutex> lock(opened.mu);
    FeederState& f = opened.feeders[&def];
    if (generation > f.refills) {
        f = FeederState{};
        f.loaded = refill;
        f.refills = generation;
    }
    const int loaded = f.loaded >= 0 ? f.loaded : loadedSheets(def);
    if (f.fed >= loaded) return 0;
    return ++f.fed;
}

bool feederHasMore(OpenedDevice& opened, const profile::Item& def) {
    std::lock_guard<std::mutex> lock(opened.mu);
    const FeederState& f = opened.feeders[&def];
    const int loaded = f.loaded >= 0 ? f.loaded : loadedSheets(def);
    return f.fed < loaded;
}

// The root's document handling status follows the paper in the feeder.
void updateFeedStatus(OpenedDevice& opened, const profile::Item& def) {
    const bool more = feederHasMore(opened, def);
    ItemNode& root = *opened.root;
    const auto status = root.store.value(wia::WIA_DPS_DOCUMENT_HANDLING_STATUS);
    if (!status || status->vt() != VT_I4) return;
    LONG v = status->get().lVal;
    v = more ? (v | wia::FEED_READY) : (v & ~wia::FEED_READY);
    root.store.setValue(wia::WIA_DPS_DOCUMENT_HANDLING_STATUS, Variant::integer(VT_I4, v));
}

// The sides a sheet gives, in order ('F' front, 'B' back).
std::string sidesOf(LONG select) {
    if (!(select & wia::DUPLEX)) return "F";
    if (select & wia::FRONT_ONLY) return "F";
    if (select & wia::BACK_ONLY) return "B";
    return (select & wia::BACK_FIRST) ? "BF" : "FB";
}

LONG handlingSelect(const ItemNode& node) {
    return static_cast<LONG>(intProp(node, wia::WIA_IPS_DOCUMENT_HANDLING_SELECT).value_or(0));
}

// ---------------------------------------------------------------------------
// One transfer.

struct FileJob {
    const ItemNode* node;
    std::vector<uint8_t> bytes;
};

class Run {
public:
    Run(OpenedDevice& opened, const TransferDef& behaviour, const ItemNode& item)
        : opened_(opened), def_(behaviour), item_(item) {}

    // Before band `band` (1-based) of file `file`: the hold, the plug, a cancel,
    // a failure the profile stages, a slow device.
    HRESULT beforeBand(const ItemNode& node, int file, int band) {
        ++bandsSent_;
        holdPoint(node, file, band);
        if (!devicePresent(*opened_.device)) return wia::WIA_ERROR_OFFLINE;
        if (opened_.cancelRequested) return S_FALSE;
        if (def_.failFile == file && def_.failBand == band) return def_.failResult;
        if (def_.bandDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(def_.bandDelayMs));
        return S_OK;
    }

    HRESULT beforeFile(int file) {
        holdPoint(item_, file, 0);
        if (!devicePresent(*opened_.device)) return wia::WIA_ERROR_OFFLINE;
        if (opened_.cancelRequested) return S_FALSE;
        if (def_.failFile == file && def_.failBand == 0) return def_.failResult;
        return S_OK;
    }

    bool emptyFile(int file) const {
        return def_.emptyAll || std::find(def_.emptyFiles.begin(), def_.emptyFiles.end(), file) != def_.emptyFiles.end();
    }

    // Band boundaries of a file of `size` bytes.
    std::vector<size_t> bands(size_t size) const {
        std::vector<size_t> cuts{0};
        if (size == 0) return cuts;
        size_t n = def_.bands > 0 ? static_cast<size_t>(def_.bands)
                                  : (size + static_cast<size_t>(def_.bandBytes) - 1) / static_cast<size_t>(def_.bandBytes);
        n = std::clamp<size_t>(n, 1, size);
        for (size_t i = 1; i <= n; ++i) cuts.push_back(size * i / n);
        return cuts;
    }

    LONG percent(size_t done, size_t size) const {
        LONG p = size ? static_cast<LONG>(done * 100 / size) : 100;
        if (def_.progress == TransferDef::Progress::Jumps) p = p / 50 * 50;
        return p;
    }

    bool sendsProgress() const { return def_.progress != TransferDef::Progress::None; }

private:
    void holdPoint(const ItemNode& node, int file, int band) {
        HoldBook& h = holds();
        if (!h.armed) return;
        std::unique_lock<std::mutex> lock(h.mu);
        if (!h.armed) return;
        const bool bandMatches = h.file == 0 ? h.band == bandsSent_ : (h.file == file && h.band == band);
        const std::string& t = h.target;
        const bool targetMatches = t.empty() || t == opened_.device->id || t == node.def->name ||
                                   t == node.def->fullName || t == item_.def->name || t == item_.def->fullName;
        if (!bandMatches || !targetMatches) return;
        h.armed = false;
        h.held = true;
        h.release = false;
        const uint64_t generation = h.generation;
        h.cv.notify_all();
        h.cv.wait_for(lock, kHoldLimit, [&] { return h.release || h.generation != generation; });
        h.held = false;
        h.release = false;
        h.cv.notify_all();
    }

    OpenedDevice& opened_;
    const TransferDef& def_;
    const ItemNode& item_;
    int bandsSent_ = 0;
};

// The answer of a callback: go on (S_OK and other successes) or stop with it.
bool stops(HRESULT answer) { return answer == S_FALSE || FAILED(answer); }

BSTR newBstr(const std::string& utf8) {
    const std::u16string w = utf8ToUtf16(utf8);
    return SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()));
}

HRESULT sendStatus(IWiaTransferCallback* cb, LONG message, LONG percent, ULONG64 bytes) {
    WiaTransferParams params{message, percent, bytes, S_OK};
    return cb->TransferCallback(0, &params);
}

// One file of a WIA 2.0 download: the stream, the bands, the end of stream.
HRESULT deliverStream(Run& run, const TransferDef& def, IWiaTransferCallback* cb, const FileJob& job, int file,
                      ULONG64& total) {
    HRESULT hr = run.beforeFile(file);
    if (hr != S_OK) return hr;
    BSTR name = def.nullItemName ? nullptr : newBstr(job.node->def->name);
    BSTR full = newBstr(job.node->def->fullName);
    IStream* stream = nullptr;
    hr = cb->GetNextStream(0, name, full, &stream);
    SysFreeString(name);
    SysFreeString(full);
    if (hr != S_OK) {
        releaseInternal(stream);
        return stops(hr) ? hr : S_FALSE;
    }
    if (!stream) return E_POINTER;
    const std::vector<uint8_t> none;
    const std::vector<uint8_t>& bytes = run.emptyFile(file) ? none : job.bytes;
    const std::vector<size_t> cuts = run.bands(bytes.size());
    for (size_t b = 1; b < cuts.size(); ++b) {
        hr = run.beforeBand(*job.node, file, static_cast<int>(b));
        if (hr != S_OK) break;
        ULONG written = 0;
        {
            InternalScope internal;
            hr = stream->Write(bytes.data() + cuts[b - 1], static_cast<ULONG>(cuts[b] - cuts[b - 1]), &written);
        }
        if (FAILED(hr)) break;
        total += cuts[b] - cuts[b - 1];
        if (run.sendsProgress()) {
            hr = sendStatus(cb, wia::WIA_TRANSFER_MSG_STATUS, run.percent(cuts[b], bytes.size()), cuts[b]);
            if (stops(hr)) break;
        }
        hr = S_OK;
    }
    releaseInternal(stream);
    if (hr != S_OK) return hr;
    hr = sendStatus(cb, wia::WIA_TRANSFER_MSG_END_OF_STREAM, 100, bytes.size());
    return stops(hr) ? hr : S_OK;
}

// The files below a folder or storage item, depth first.
void filesBelow(const ItemNode& node, std::vector<const ItemNode*>& out) {
    for (const auto& c : node.children) {
        if (isFolderLike(*c))
            filesBelow(*c, out);
        else if (transfers(*c))
            out.push_back(c.get());
    }
}

HRESULT download2(OpenedDevice& opened, ItemNode& node, IWiaTransferCallback* cb) {
    const TransferDef& def = node.def->transfer;
    Run run(opened, def, node);
    ULONG64 total = 0;
    int file = 0;
    HRESULT result = S_OK;
    if (def.noStream) {
        // Nothing to deliver.
    } else if (isFeederItem(*node.def)) {
        const std::string sides = sidesOf(handlingSelect(node));
        const int64_t limit = std::max<int64_t>(0, intProp(node, wia::WIA_IPS_PAGES).value_or(0));
        bool limited = false;
        for (;;) {
            if (limit && file >= limit) {
                limited = true;
                break;
            }
            const int sheet = takeSheet(opened, *node.def);
            updateFeedStatus(opened, *node.def);
            if (sheet == 0) {
                if (file == 0) return wia::WIA_ERROR_PAPER_EMPTY;
                break;
            }
            if (sheet == def.jamAt) return wia::WIA_ERROR_PAPER_JAM;
            for (char side : sides) {
                if (limit && file >= limit) break;
                FileJob job{&node, {}};
                const std::string label = std::to_string(sheet) + (sides.size() > 1 || side == 'B' ? std::string(1, side) : "");
                HRESULT hr = scanBytes(node, label, imageFormat(formatOf(node, wia::WiaImgFmt_BMP)), job.bytes);
                if (FAILED(hr)) return hr;
                hr = deliverStream(run, def, cb, job, ++file, total);
                if (hr != S_OK) return hr;
            }
        }
        result = limited || (limit && file >= limit) ? S_OK : def.end;
    } else {
        std::vector<const ItemNode*> sources;
        if (isFolderLike(node))
            filesBelow(node, sources);
        else
            sources.push_back(&node);
        for (const ItemNode* source : sources) {
            FileJob job{source, {}};
            HRESULT hr = isPicture(*source)
                             ? pictureBytes(*opened.device, *source, job.bytes)
                             : scanBytes(*source, "1", imageFormat(formatOf(*source, wia::WiaImgFmt_BMP)), job.bytes);
            if (FAILED(hr)) return hr;
            hr = deliverStream(run, source->def->transfer, cb, job, ++file, total);
            if (hr != S_OK) return hr;
        }
    }
    const HRESULT end = sendStatus(cb, wia::WIA_TRANSFER_MSG_END_OF_TRANSFER, 100, total);
    if (stops(end)) return end;
    return def.answer.value_or(result);
}

// ---------------------------------------------------------------------------
// WIA 1.0.

// What WIA 1.0 hands the data callback with IT_MSG_DATA_HEADER.
struct DataCallbackHeader {
    LONG lSize;
    GUID guidFormatID;
    LONG lBufferSize;
    LONG lPageCount;
};

HRESULT fromErrno(int e) {
    switch (e) {
        case ENOENT: return kFileNotFound;
        case EACCES: case EPERM: case EROFS: return E_ACCESSDENIED;
        case ENOSPC: return STG_E_MEDIUMFULL;
        default: return E_FAIL;
    }
}

std::string narrowPath(const OLECHAR* w) {
    size_t n = 0;
    while (w[n]) ++n;
    return utf16ToUtf8(w, n);
}

HRESULT makeFolder(const std::string& path) {
    std::string sofar;
    std::stringstream parts(path);
    std::string part;
    if (!path.empty() && path[0] == '/') sofar = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty()) continue;
        sofar += part;
        if (::mkdir(sofar.c_str(), 0755) != 0 && errno != EEXIST) return fromErrno(errno);
        sofar += '/';
    }
    return S_OK;
}

// The image one idtGetData call delivers, and the behaviour it follows.
struct Page {
    FileJob job;
    const TransferDef* def;
    GUID format;
};

HRESULT nextPage1(OpenedDevice& opened, ItemNode& node, Page& page) {
    page.job.node = &node;
    page.def = &node.def->transfer;
    page.format = formatOf(node, wia::WiaImgFmt_BMP);
    if (isPicture(node)) return pictureBytes(*opened.device, node, page.job.bytes);
    const LONG rootSelect = handlingSelect(*opened.root);
    const profile::Item* feeder = nullptr;
    LONG select = rootSelect;
    if (isFeederItem(*node.def)) {
        feeder = node.def;
        select |= handlingSelect(node);
    } else if (rootSelect & wia::FEEDER) {
        feeder = feederOf(*opened.device, *node.def);
        if (!feeder) return wia::WIA_ERROR_PAPER_EMPTY;
    }
    if (!feeder) return scanBytes(node, "1", imageFormat(page.format), page.job.bytes);
    page.def = &feeder->transfer;
    const std::string sides = sidesOf(select);
    int sheet = 0;
    char side = sides[0];
    {
        std::lock_guard<std::mutex> lock(opened.mu);
        FeederState& f = opened.feeders[feeder];
        if (f.backOfSheet) {
            sheet = f.backOfSheet;
            side = sides[1];
            f.backOfSheet = 0;
        }
    }
    if (!sheet) {
        sheet = takeSheet(opened, *feeder);
        updateFeedStatus(opened, *feeder);
        if (sheet == 0) return wia::WIA_ERROR_PAPER_EMPTY;
        if (sheet == feeder->transfer.jamAt) return wia::WIA_ERROR_PAPER_JAM;
        if (sides.size() > 1) {
            std::lock_guard<std::mutex> lock(opened.mu);
            opened.feeders[feeder].backOfSheet = sheet;
        }
    }
    const std::string label = std::to_string(sheet) + (sides.size() > 1 || side == 'B' ? std::string(1, side) : "");
    return scanBytes(node, label, imageFormat(page.format), page.job.bytes);
}

HRESULT getData1(OpenedDevice& opened, ItemNode& node, STGMEDIUM& medium, IWiaDataCallback* cb) {
    Page page{{&node, {}}, nullptr, GUID_NULL};
    HRESULT hr = nextPage1(opened, node, page);
    if (FAILED(hr)) return hr;
    const TransferDef& def = *page.def;
    Run run(opened, def, node);
    hr = run.beforeFile(1);
    if (hr != S_OK) return hr;

    const bool chosen = medium.lpszFileName == nullptr;
    std::string path;
    if (chosen) {
        const std::string folder = serviceFolder();
        hr = makeFolder(folder);
        if (FAILED(hr)) return hr;
        uint64_t serial;
        {
            ServiceState& s = service();
            std::lock_guard<std::mutex> lock(s.mu);
            serial = ++s.fileSerial;
        }
        const char* ext = extensionOfFormat(page.format);
        path = folder + "/img" + std::to_string(serial) + "." + (ext ? ext : "bmp");
    } else {
        path = narrowPath(medium.lpszFileName);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fromErrno(errno);

    const std::vector<uint8_t> none;
    const std::vector<uint8_t>& bytes = run.emptyFile(1) ? none : page.job.bytes;
    const bool messages = cb && run.sendsProgress();
    auto send = [&](LONG msg, LONG status, LONG percent, LONG offset, LONG length, BYTE* buffer) {
        return cb->BandedDataCallback(msg, status, percent, offset, length, 0, length, buffer);
    };
    if (messages) {
        DataCallbackHeader header{static_cast<LONG>(sizeof(DataCallbackHeader)), page.format,
                                  static_cast<LONG>(bytes.size()), 1};
        hr = send(wia::IT_MSG_DATA_HEADER, wia::IT_STATUS_TRANSFER_FROM_DEVICE, 0, 0,
                  static_cast<LONG>(sizeof header), reinterpret_cast<BYTE*>(&header));
        if (!stops(hr) && def.newPage) hr = send(wia::IT_MSG_NEW_PAGE, wia::IT_STATUS_TRANSFER_FROM_DEVICE, 0, 0, 0, nullptr);
        if (!stops(hr)) hr = S_OK;
    }
    const std::vector<size_t> cuts = run.bands(bytes.size());
    std::vector<uint8_t> band;
    for (size_t b = 1; hr == S_OK && b < cuts.size(); ++b) {
        hr = run.beforeBand(node, 1, static_cast<int>(b));
        if (hr != S_OK) break;
        const size_t len = cuts[b] - cuts[b - 1];
        size_t done = 0;
        while (done < len) {
            const ssize_t n = ::write(fd, bytes.data() + cuts[b - 1] + done, len - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                hr = fromErrno(errno);
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (FAILED(hr)) break;
        if (messages) {
            band.assign(bytes.begin() + static_cast<std::ptrdiff_t>(cuts[b - 1]),
                        bytes.begin() + static_cast<std::ptrdiff_t>(cuts[b]));
            const LONG offset = def.dataOffset.value_or(static_cast<LONG>(cuts[b - 1]));
            hr = send(wia::IT_MSG_DATA, wia::IT_STATUS_TRANSFER_TO_CLIENT, run.percent(cuts[b], bytes.size()), offset,
                      static_cast<LONG>(len), band.data());
            if (!stops(hr)) hr = S_OK;
        }
    }
    if (hr == S_OK && messages) {
        hr = send(wia::IT_MSG_TERMINATION, wia::IT_STATUS_TRANSFER_TO_CLIENT, 100, static_cast<LONG>(bytes.size()), 0,
                  nullptr);
        if (!stops(hr)) hr = S_OK;
    }
    ::close(fd);
    if (hr == S_OK) hr = def.answer.value_or(S_OK);
    if (hr != S_OK) {
        // A stopped or failed transfer leaves no file of the service's behind.
        if (chosen) std::remove(path.c_str());
        return hr;
    }
    if (chosen) {
        const std::u16string w = utf8ToUtf16(path);
        auto* name = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(OLECHAR)));
        if (!name) {
            std::remove(path.c_str());
            return E_OUTOFMEMORY;
        }
        std::memcpy(name, w.data(), w.size() * sizeof(OLECHAR));
        name[w.size()] = 0;
        medium.lpszFileName = name;
    }
    medium.pUnkForRelease = nullptr;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Dialogs.

const profile::DialogStep& stepOf(OpenedDevice& opened) {
    static const profile::DialogStep kDefault;
    const auto& script = opened.device->dialog;
    std::lock_guard<std::mutex> lock(opened.mu);
    const int call = opened.dialogCalls++;
    if (script.empty()) return kDefault;
    return script[std::min<size_t>(static_cast<size_t>(call), script.size() - 1)];
}

ItemNode* byName(ItemNode& node, const std::string& name) {
    if (node.def->name == name || node.def->fullName == name) return &node;
    for (auto& c : node.children)
        if (ItemNode* hit = byName(*c, name)) return hit;
    return nullptr;
}

void transferable(ItemNode& node, std::vector<ItemNode*>& out) {
    for (auto& c : node.children) {
        if (transfers(*c) && !isFolderLike(*c)) out.push_back(c.get());
        transferable(*c, out);
    }
}

bool isCamera(const OpenedDevice& opened) { return opened.device->stiType == wia::StiDeviceTypeDigitalCamera; }

// The items a dialog step chooses: those it names, else the pictures of a
// camera, else the item itself or the first item that transfers.
std::vector<ItemNode*> chosenItems(OpenedDevice& opened, ItemNode& node, const profile::DialogStep& step) {
    std::vector<ItemNode*> out;
    for (const auto& name : step.select)
        if (ItemNode* hit = byName(*opened.root, name)) out.push_back(hit);
    if (!step.select.empty()) return out;
    if (!step.source.empty()) {
        if (ItemNode* hit = byName(*opened.root, step.source)) out.push_back(hit);
        return out;
    }
    if (transfers(node) && !isFolderLike(node)) {
        out.push_back(&node);
        return out;
    }
    std::vector<ItemNode*> all;
    transferable(node, all);
    if (isCamera(opened)) return all;
    if (!all.empty()) out.push_back(all.front());
    return out;
}

HRESULT writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fromErrno(errno);
    size_t done = 0;
    HRESULT hr = S_OK;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            hr = fromErrno(errno);
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return hr;
}

std::u16string bstrText(BSTR s) { return s ? std::u16string(s, SysStringLen(s)) : std::u16string(); }

}  // namespace

HRESULT writableNow(const OpenedDevice& opened) { return opened.transferring ? wia::WIA_ERROR_BUSY : S_OK; }

HRESULT download(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, IWiaTransferCallback* callback) {
    if (!callback) return E_INVALIDARG;
    BusyGuard busy(*opened);
    if (!busy.ok()) return wia::WIA_ERROR_BUSY;
    callback->AddRef();
    const HRESULT hr = onCallbackThread([&] { return download2(*opened, *node, callback); });
    callback->Release();
    return hr;
}

HRESULT getData(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, STGMEDIUM* medium,
                IWiaDataCallback* callback) {
    if (!medium || medium->tymed != TYMED_FILE) return E_INVALIDARG;
    const auto tymed = intProp(*node, wia::WIA_IPA_TYMED);
    if (tymed && *tymed != TYMED_FILE) return E_INVALIDARG;
    BusyGuard busy(*opened);
    if (!busy.ok()) return wia::WIA_ERROR_BUSY;
    if (callback) callback->AddRef();
    const HRESULT hr = onCallbackThread([&] { return getData1(*opened, *node, *medium, callback); });
    if (callback) callback->Release();
    return hr;
}

HRESULT cancelTransfer(const std::shared_ptr<OpenedDevice>& opened) {
    if (!opened->transferring) return S_FALSE;
    opened->cancelRequested = true;
    return S_OK;
}

HRESULT deviceDialog2(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, BSTR folder, BSTR fileName,
                      LONG* count, BSTR** paths, ItemNode** selected) {
    if (!count || !paths) return E_INVALIDARG;
    *count = 0;
    *paths = nullptr;
    *selected = nullptr;
    if (!folder || SysStringLen(folder) == 0) return E_INVALIDARG;
    BusyGuard busy(*opened);
    if (!busy.ok()) return wia::WIA_ERROR_BUSY;
    const profile::DialogStep& step = stepOf(*opened);
    if (step.answer != S_OK) return step.answer;
    const std::vector<ItemNode*> items = chosenItems(*opened, *node, step);
    if (items.empty()) return S_FALSE;

    // The files: one per chosen picture, else `files` pages of the scanner item.
    std::vector<std::pair<const ItemNode*, std::string>> jobs;  // item, page label (empty: a picture)
    for (ItemNode* it : items)
        if (isPicture(*it)) jobs.emplace_back(it, std::string());
    if (jobs.empty())
        for (int i = 1; i <= step.files; ++i) jobs.emplace_back(items.front(), std::to_string(i));

    std::string stem = utf16ToUtf8(bstrText(fileName));
    if (stem.empty()) stem = items.front()->def->name;
    const std::string dir = utf16ToUtf8(bstrText(folder));
    std::vector<std::string> written;
    HRESULT hr = S_OK;
    for (size_t i = 0; i < jobs.size() && SUCCEEDED(hr); ++i) {
        const ItemNode& source = *jobs[i].first;
        std::vector<uint8_t> bytes;
        const char* ext;
        if (jobs[i].second.empty()) {
            hr = pictureBytes(*opened->device, source, bytes);
            ext = extensionOfFormat(formatOf(source, wia::WiaImgFmt_JPEG));
        } else {
            const ImageFormat format = imageFormat(step.format, source);
            hr = scanBytes(source, jobs[i].second, format, bytes);
            ext = formatExtension(format);
        }
        if (FAILED(hr)) break;
        const std::string path = dir + "/" + stem + "_" + std::to_string(i + 1) + "." + (ext ? ext : "jpg");
        hr = writeFile(path, bytes);
        if (SUCCEEDED(hr)) written.push_back(path);
    }
    if (FAILED(hr)) {
        for (const auto& p : written) std::remove(p.c_str());
        return hr;
    }
    auto* array = static_cast<BSTR*>(CoTaskMemAlloc(written.size() * sizeof(BSTR)));
    if (!array) return E_OUTOFMEMORY;
    for (size_t i = 0; i < written.size(); ++i) array[i] = newBstr(written[i]);
    *paths = array;
    *count = static_cast<LONG>(written.size());
    *selected = items.front();
    return S_OK;
}

HRESULT deviceDialog1(const std::shared_ptr<OpenedDevice>& opened, ItemNode* node, std::vector<ItemNode*>* selected) {
    const profile::DialogStep& step = stepOf(*opened);
    if (step.answer != S_OK) return step.answer;
    *selected = chosenItems(*opened, *node, step);
    return selected->empty() ? S_FALSE : S_OK;
}

void holdTransferAt(const std::string& target, int band, int file) {
    HoldBook& h = holds();
    std::lock_guard<std::mutex> lock(h.mu);
    h.target = target;
    h.band = band;
    h.file = file;
    h.release = false;
    h.armed = true;
}

bool awaitHeld(int timeoutMs) {
    HoldBook& h = holds();
    std::unique_lock<std::mutex> lock(h.mu);
    return h.cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [&] { return h.held; });
}

void releaseHeld() {
    HoldBook& h = holds();
    std::lock_guard<std::mutex> lock(h.mu);
    h.armed = false;
    if (h.held) h.release = true;
    h.cv.notify_all();
}

void resetTransfers() {
    {
        HoldBook& h = holds();
        std::lock_guard<std::mutex> lock(h.mu);
        h.armed = false;
        ++h.generation;
        h.cv.notify_all();
    }
    ServiceState& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.refills.clear();
    s.folder.clear();
    s.pictures.clear();
}

std::string serviceFolder() {
    ServiceState& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.folder.empty() ? defaultFolder() : s.folder;
}

void setServiceFolder(const std::string& path) {
    ServiceState& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.folder = path;
}

void refillFeeder(const std::u16string& deviceId, int sheets) {
    ServiceState& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.refills[deviceId] = {sheets, ++s.refillGeneration};
}

}  // namespace wiasim
