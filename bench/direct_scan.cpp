#include "direct_scan.h"

#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "wiasim/control.h"

namespace bench {
namespace {

using talvek::ComPtr;

const char kDevice[] = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
const char kItem[] = "Flatbed";

void check(HRESULT hr, const char* what) {
    if (hr != S_OK) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s failed: 0x%08X", what, static_cast<unsigned>(hr));
        throw std::runtime_error(buf);
    }
}

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }  // ASCII only

// Writes the stream into one file and counts the status messages.
class FileCallback : public IWiaTransferCallback {
public:
    explicit FileCallback(const std::string& path) : path_(path) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        if (riid == IID_IUnknown || riid == wia::IID_IWiaTransferCallback) {
            *ppv = static_cast<IWiaTransferCallback*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
    HRESULT STDMETHODCALLTYPE TransferCallback(LONG, WiaTransferParams* params) override {
        if (params && params->lMessage == wia::WIA_TRANSFER_MSG_STATUS) ++messages_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNextStream(LONG, BSTR, BSTR, IStream** out) override {
        return SHCreateStreamOnFileA(path_.c_str(), STGM_CREATE | STGM_READWRITE, out);
    }
    long messages() const { return messages_.load(); }

private:
    const std::string& path_;
    std::atomic<ULONG> refs_{1};
    std::atomic<long> messages_{0};
};

PROPSPEC specOf(PROPID id) {
    PROPSPEC spec{};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = id;
    return spec;
}

HRESULT writeOne(IWiaPropertyStorage* s, PROPID id, const PROPVARIANT& value) {
    const PROPSPEC spec = specOf(id);
    return s->WriteMultiple(1, &spec, &value, wia::WIA_IPA_FIRST);
}

HRESULT writeLong(IWiaPropertyStorage* s, PROPID id, LONG v) {
    PROPVARIANT p;
    PropVariantInit(&p);
    p.vt = VT_I4;
    p.lVal = v;
    return writeOne(s, id, p);
}

HRESULT writeFormat(IWiaPropertyStorage* s, GUID format) {
    PROPVARIANT p;
    PropVariantInit(&p);
    p.vt = VT_CLSID;
    p.puuid = &format;
    return writeOne(s, wia::WIA_IPA_FORMAT, p);
}

bool named(IWiaItem2* item, const std::string& name) {
    ComPtr<IWiaPropertyStorage> storage;
    check(item->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()), "QueryInterface storage");
    const PROPSPEC spec = specOf(wia::WIA_IPA_ITEM_NAME);
    PROPVARIANT v;
    PropVariantInit(&v);
    const bool match = storage->ReadMultiple(1, &spec, &v) == S_OK && v.vt == VT_BSTR && v.bstrVal &&
                       std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) == wide(name);
    PropVariantClear(&v);
    return match;
}

}  // namespace

std::string profileWithBands(int bandBytes) {
    std::string p = wiasim::defaultProfileJson();
    const std::string anchor = "\"name\": \"" + std::string(kItem) + "\",";
    const size_t at = p.find(anchor);
    if (at == std::string::npos) throw std::runtime_error("the default profile has no flatbed");
    p.insert(at + anchor.size(), " \"transfer\": {\"bandBytes\": " + std::to_string(bandBytes) + "},");
    return p;
}

DirectScanner::DirectScanner() {
    ComPtr<IWiaDevMgr2> manager;
    check(CoCreateInstance(wia::CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, wia::IID_IWiaDevMgr2,
                           manager.PutVoid()),
          "CoCreateInstance");
    const std::u16string id = wide(kDevice);
    talvek::BstrOwner bid(SysAllocString(id.c_str()));
    check(manager->CreateDevice(0, bid.Get(), root_.Put()), "CreateDevice");
    ComPtr<IEnumWiaItem2> children;
    check(root_->EnumChildItems(nullptr, children.Put()), "EnumChildItems");
    for (;;) {
        ComPtr<IWiaItem2> child;
        if (children->Next(1, child.Put(), nullptr) != S_OK) break;
        if (named(child.Get(), kItem)) {
            flatbed_ = std::move(child);
            return;
        }
    }
    throw std::runtime_error("the scanner has no flatbed");
}

long DirectScanner::scan(const std::string& path) {
    ComPtr<IWiaPropertyStorage> storage;
    check(flatbed_->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()), "QueryInterface storage");
    const struct {
        PROPID id;
        LONG value;
    } settings[] = {{wia::WIA_IPA_DATATYPE, wia::WIA_DATA_COLOR}, {wia::WIA_IPA_DEPTH, 24},
                    {wia::WIA_IPS_XRES, 300},                     {wia::WIA_IPS_YRES, 300},
                    {wia::WIA_IPS_XPOS, 0},                       {wia::WIA_IPS_YPOS, 0},
                    {wia::WIA_IPS_XEXTENT, 2550},                 {wia::WIA_IPS_YEXTENT, 3300}};
    for (const auto& s : settings) check(writeLong(storage.Get(), s.id, s.value), "WriteMultiple");
    check(writeFormat(storage.Get(), wia::WiaImgFmt_BMP), "WriteMultiple format");
    ComPtr<IWiaTransfer> transfer;
    check(flatbed_->QueryInterface(wia::IID_IWiaTransfer, transfer.PutVoid()), "QueryInterface IWiaTransfer");
    FileCallback callback(path);
    check(transfer->Download(0, &callback), "Download");
    return callback.messages();
}

}  // namespace bench
