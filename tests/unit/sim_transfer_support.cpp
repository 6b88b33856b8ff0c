#include "sim_transfer_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "stb_decode.h"

namespace simtest {

ScratchDir::ScratchDir() {
    char templ[] = "/tmp/wiasim-test-XXXXXX";
    const char* made = ::mkdtemp(templ);
    path_ = made ? made : "/tmp";
}

ScratchDir::~ScratchDir() {
    for (const auto& f : files()) std::remove((path_ + "/" + f).c_str());
    ::rmdir(path_.c_str());
}

std::vector<std::string> ScratchDir::files() const {
    std::vector<std::string> out;
    DIR* d = ::opendir(path_.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

HRESULT TransferRecorder::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == wia::IID_IWiaTransferCallback) {
        *ppv = static_cast<IWiaTransferCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT TransferRecorder::TransferCallback(LONG, WiaTransferParams* params) {
    int n;
    {
        std::lock_guard<std::mutex> lock(mu_);
        events_.push_back({params->lMessage, params->lPercentComplete, params->ulTransferredBytes, "", false, "",
                           GetCurrentThreadId()});
        n = calls_++;
    }
    if (cancel && (params->lMessage == wia::WIA_TRANSFER_MSG_STATUS ||
                   params->lMessage == wia::WIA_TRANSFER_MSG_END_OF_STREAM))
        return S_FALSE;
    return answer ? answer(*params, n) : S_OK;
}

HRESULT TransferRecorder::GetNextStream(LONG, BSTR itemName, BSTR fullItemName, IStream** out) {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(mu_);
        events_.push_back({0, 0, 0, itemName ? u8(itemName, SysStringLen(itemName)) : "", itemName == nullptr,
                           fullItemName ? u8(fullItemName, SysStringLen(fullItemName)) : "", GetCurrentThreadId()});
        path = folder_ + "/file" + std::to_string(paths_.size() + 1) + ".img";
        paths_.push_back(path);
    }
    return SHCreateStreamOnFileA(path.c_str(), STGM_CREATE | STGM_READWRITE, out);
}

std::vector<TransferRecorder::Event> TransferRecorder::events() {
    std::lock_guard<std::mutex> lock(mu_);
    return events_;
}

std::vector<std::string> TransferRecorder::shape() {
    std::vector<std::string> out;
    for (const auto& e : events()) {
        switch (e.message) {
            case 0: out.push_back("stream " + (e.itemNameNull ? std::string("(null)") : e.itemName)); break;
            case wia::WIA_TRANSFER_MSG_STATUS: out.push_back("status"); break;
            case wia::WIA_TRANSFER_MSG_END_OF_STREAM: out.push_back("end"); break;
            case wia::WIA_TRANSFER_MSG_END_OF_TRANSFER: out.push_back("transfer"); break;
            default: out.push_back("message " + std::to_string(e.message)); break;
        }
    }
    return out;
}

std::vector<std::string> TransferRecorder::paths() {
    std::lock_guard<std::mutex> lock(mu_);
    return paths_;
}

HRESULT DataRecorder::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == wia::IID_IWiaDataCallback) {
        *ppv = static_cast<IWiaDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT DataRecorder::BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete, LONG lOffset,
                                         LONG lLength, LONG, LONG, BYTE* pbBuffer) {
    std::lock_guard<std::mutex> lock(mu_);
    Call c{lMessage, lStatus, lPercentComplete, lOffset, lLength, {}, GetCurrentThreadId()};
    if (lMessage == wia::IT_MSG_DATA && pbBuffer && lLength > 0) c.data.assign(pbBuffer, pbBuffer + lLength);
    calls_.push_back(std::move(c));
    return static_cast<int>(calls_.size()) - 1 == stopAt ? S_FALSE : S_OK;
}

std::vector<DataRecorder::Call> DataRecorder::calls() {
    std::lock_guard<std::mutex> lock(mu_);
    return calls_;
}

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

}  // namespace

ImageFacts inspect(const std::vector<uint8_t>& b) {
    ImageFacts f;
    if (b.size() >= 54 && b[0] == 'B' && b[1] == 'M') {
        f.kind = "BMP";
        f.width = static_cast<int>(le32(b, 18));
        f.height = static_cast<int>(le32(b, 22));
        f.bits = le16(b, 28);
        const uint64_t stride = (static_cast<uint64_t>(f.width) * f.bits + 31) / 32 * 4;
        const uint32_t offset = le32(b, 10);
        const uint32_t colours = le32(b, 46);
        f.consistent = le32(b, 2) == b.size() && le32(b, 14) == 40 && offset == 54 + colours * 4 &&
                       (f.bits > 8 || colours == (1u << f.bits)) &&
                       offset + stride * static_cast<uint64_t>(f.height) == b.size();
    } else if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
        f.kind = "PNG";
    } else if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8 && b[b.size() - 2] == 0xFF && b[b.size() - 1] == 0xD9) {
        f.kind = "JPEG";
    } else {
        return f;
    }
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = decodeImage(b.data(), static_cast<int>(b.size()), &w, &h, &channels);
    if (!pixels) {
        f.consistent = false;
        return f;
    }
    if (f.kind != "BMP") {
        f.width = w;
        f.height = h;
        f.bits = 8 * channels;
        f.consistent = true;
    }
    double sum = 0;
    for (int i = 0; i < w * h; ++i) sum += pixels[i];
    f.meanGrey = w > 0 && h > 0 ? sum / (static_cast<double>(w) * h) : 0;
    freeImage(pixels);
    return f;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ImageFacts inspectFile(const std::string& path) { return inspect(readFile(path)); }

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string scannerProfile(const std::string& flatbedTransfer, const std::string& feederTransfer,
                           const std::string& extraDevices, const std::string& formats) {
    const std::string formatList = formats.empty() ? R"("WiaImgFmt_BMP", "WiaImgFmt_JPEG", "WiaImgFmt_PNG")" : formats;
    const std::string common = R"(
        {"id": "WIA_IPA_DATATYPE", "access": "rw", "value": 3, "list": {"nom": 3, "values": [0, 2, 3]}},
        {"id": "WIA_IPA_DEPTH", "access": "rw", "value": 24, "list": {"nom": 24, "values": [1, 8, 24]}},
        {"id": "WIA_IPA_FORMAT", "access": "rw", "value": "WiaImgFmt_BMP", "list": {"values": [)" +
                               formatList + R"(]}},
        {"id": "WIA_IPA_TYMED", "access": "rw", "value": 2, "list": {"values": [2, 128]}},
        {"id": "WIA_IPA_FILENAME_EXTENSION", "value": "bmp"},
        {"id": "WIA_IPA_CHANNELS_PER_PIXEL", "value": 3},
        {"id": "WIA_IPA_BITS_PER_CHANNEL", "value": 8},
        {"id": "WIA_IPA_PIXELS_PER_LINE", "value": 170},
        {"id": "WIA_IPA_BYTES_PER_LINE", "value": 512},
        {"id": "WIA_IPA_NUMBER_OF_LINES", "value": 220},
        {"id": "WIA_IPS_XRES", "access": "rw", "value": 100, "list": {"values": [50, 100, 200]}},
        {"id": "WIA_IPS_YRES", "access": "rw", "value": 100, "list": {"values": [50, 100, 200]}},
        {"id": "WIA_IPS_XPOS", "access": "rw", "value": 0, "range": {"min": 0, "max": 169}},
        {"id": "WIA_IPS_YPOS", "access": "rw", "value": 0, "range": {"min": 0, "max": 219}},
        {"id": "WIA_IPS_XEXTENT", "access": "rw", "value": 170, "range": {"min": 1, "nom": 170, "max": 170}},
        {"id": "WIA_IPS_YEXTENT", "access": "rw", "value": 220, "range": {"min": 1, "nom": 220, "max": 220}},
        {"id": "WIA_IPS_BRIGHTNESS", "access": "rw", "value": 0, "range": {"min": -1000, "max": 1000}},
        {"id": "WIA_IPS_CONTRAST", "access": "rw", "value": 0, "range": {"min": -1000, "max": 1000}})";
    return R"({"devices": [{
      "id": "scan", "name": "Test scanner",
      "root": {
        "properties": [
          {"id": 3087, "value": 7},
          {"id": 3088, "access": "rw", "value": 2, "flags": {"nom": 2, "mask": 127}}
        ],
        "children": [
          {"name": "Flatbed", "category": "flatbed", "properties": [)" +
           common + R"(], "transfer": )" + flatbedTransfer + R"(},
          {"name": "Feeder", "category": "feeder", "properties": [)" +
           common + R"(,
            {"id": 3088, "access": "rw", "value": 1, "flags": {"nom": 1, "mask": 1149}},
            {"id": 3096, "access": "rw", "value": 0, "range": {"min": 0, "max": 50}}
          ], "transfer": )" +
           feederTransfer + R"(}
        ]
      }
    })" + extraDevices + "]}";
}

Ptr<IWiaItem2> childNamed(IWiaItem2* root, const std::string& name) {
    for (auto& c : children2(root)) {
        auto s = storageOf(c.get());
        if (readText(s.get(), wia::WIA_IPA_ITEM_NAME) == "BSTR:" + name) return std::move(c);
    }
    ADD_FAILURE() << "no child " << name;
    return Ptr<IWiaItem2>();
}

HRESULT writeLong(IWiaPropertyStorage* s, PROPID id, LONG v) {
    PROPSPEC spec = specOf(id);
    PROPVARIANT p;
    PropVariantInit(&p);
    p.vt = VT_I4;
    p.lVal = v;
    return s->WriteMultiple(1, &spec, &p, wia::WIA_IPA_FIRST);
}

HRESULT writeGuid(IWiaPropertyStorage* s, PROPID id, const GUID& g) {
    PROPSPEC spec = specOf(id);
    GUID copy = g;
    PROPVARIANT p;
    PropVariantInit(&p);
    p.vt = VT_CLSID;
    p.puuid = &copy;
    return s->WriteMultiple(1, &spec, &p, wia::WIA_IPA_FIRST);
}

Ptr<IWiaTransfer> transferOf(IUnknown* item) {
    Ptr<IWiaTransfer> t;
    EXPECT_EQ(item->QueryInterface(wia::IID_IWiaTransfer, t.outVoid()), S_OK);
    return t;
}

}  // namespace simtest
