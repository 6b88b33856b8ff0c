// Pieces shared by the transfer tests: callbacks of the kinds the library
// implements, a scratch folder, a small scanner profile, and readers of the
// image files the service writes.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim_test_support.h"

namespace simtest {

// A folder that exists for the life of the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::vector<std::string> files() const;  // names, sorted

private:
    std::string path_;
};

// A WIA 2.0 transfer callback that records what it is told and writes each
// stream into a file of its folder, as the library does.
class TransferRecorder : public IWiaTransferCallback {
public:
    struct Event {
        LONG message;  // 0 for GetNextStream, else the WIA_TRANSFER_MSG_ code
        LONG percent;
        ULONG64 bytes;
        std::string itemName;  // GetNextStream
        bool itemNameNull;
        std::string fullItemName;
        uint32_t thread;
    };

    explicit TransferRecorder(std::string folder) : folder_(std::move(folder)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // owned by the test
    HRESULT STDMETHODCALLTYPE TransferCallback(LONG lFlags, WiaTransferParams* params) override;
    HRESULT STDMETHODCALLTYPE GetNextStream(LONG lFlags, BSTR itemName, BSTR fullItemName, IStream** out) override;

    std::vector<Event> events();
    // Messages in order as text: "stream Feeder", "status", "end", "transfer".
    std::vector<std::string> shape();
    std::vector<std::string> paths();  // the files, in the order of the streams
    ULONG refs() const { return refs_.load(); }

    // Answer for the n-th TransferCallback (from 0); S_OK by default.
    std::function<HRESULT(const WiaTransferParams&, int n)> answer;
    // Set from another thread: the next status or end of stream answers S_FALSE.
    std::atomic<bool> cancel{false};

private:
    std::string folder_;
    std::atomic<ULONG> refs_{1};
    std::mutex mu_;
    std::vector<Event> events_;
    std::vector<std::string> paths_;
    int calls_ = 0;
};

// A WIA 1.0 data callback that records its calls.
class DataRecorder : public IWiaDataCallback {
public:
    struct Call {
        LONG message, status, percent, offset, length;
        std::vector<uint8_t> data;  // the buffer of IT_MSG_DATA
        uint32_t thread;
    };
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete, LONG lOffset,
                                                 LONG lLength, LONG lReserved, LONG lResLength,
                                                 BYTE* pbBuffer) override;
    std::vector<Call> calls();
    ULONG refs() const { return refs_.load(); }
    int stopAt = -1;  // the call (from 0) that answers S_FALSE

private:
    std::atomic<ULONG> refs_{1};
    std::mutex mu_;
    std::vector<Call> calls_;
};

// What an image file is.
struct ImageFacts {
    std::string kind;  // "BMP", "PNG", "JPEG" or "" when the bytes are none of them
    int width = 0, height = 0;
    int bits = 0;      // BMP: bits per pixel; PNG, JPEG: 8 per channel times channels
    bool consistent = false;  // BMP: header sizes agree with the file; others: it decodes
    double meanGrey = -1;     // 0..255, from decoding
};
ImageFacts inspect(const std::vector<uint8_t>& bytes);
ImageFacts inspectFile(const std::string& path);
std::vector<uint8_t> readFile(const std::string& path);
bool fileExists(const std::string& path);

// The small scanner "scan": a root (document handling select 3088 rw,
// status 3087), a "Flatbed" and a "Feeder" with a bed of 170 x 220 pixels at
// 100 dpi (resolutions 50, 100, 200), data types 0 / 2 / 3 with depths 1 / 8 /
// 24, formats BMP, JPEG, PNG (or the list `formats` gives), brightness and
// contrast -1000..1000. The transfer blocks of both items are given as JSON
// objects ("{}" for none); `extraDevices` adds devices (",{...}").
std::string scannerProfile(const std::string& flatbedTransfer, const std::string& feederTransfer,
                           const std::string& extraDevices = "", const std::string& formats = "");

// Item access.
Ptr<IWiaItem2> childNamed(IWiaItem2* root, const std::string& name);
HRESULT writeLong(IWiaPropertyStorage* s, PROPID id, LONG v);
HRESULT writeGuid(IWiaPropertyStorage* s, PROPID id, const GUID& g);
Ptr<IWiaTransfer> transferOf(IUnknown* item);

}  // namespace simtest
