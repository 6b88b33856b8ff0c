// The transfer engine of the flavour: the COM callback a transfer reports to,
// the download routine, and the cancel request that reaches the running
// transfer from another Java thread.
#pragma once

#include <atomic>

#include "Flavour.h"
#include "wia_platform.h"

namespace talvek {

// Property write list of a scan request: entry i of both arrays is one
// property, written in order.
struct PropertyWriteList {
    static constexpr ULONG kMax = 32;
    ULONG count = 0;
    PROPSPEC specs[kMax];
    PROPVARIANT values[kMax];
};

// Sets the cancel flag of the current transfer's callback, if there is one.
void CancelCurrentTransfer();

#if defined(TALVEK_WIA2)

// Names and opens the output files of a WIA 2.0 download, reports pages and
// progress to the Java device object, and answers a cancel request.
class CWiaTransferCallback final : public IWiaTransferCallback {
public:
    CWiaTransferCallback();

    HRESULT IntializeCallback(const OLECHAR* outputFolder, BSTR extension, LONG feeder, jobject javaDevice,
                              LONG progress);
    const char* OutputPath() const { return outputPath_; }
    void Cancel() { cancel_ = 1; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE TransferCallback(LONG lFlags, WiaTransferParams* params) override;
    HRESULT STDMETHODCALLTYPE GetNextStream(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                            IStream** ppDestination) override;

    enum PageState : LONG { kIdle = 0, kStreamOpened = 1, kDataSeen = 2 };

private:
    virtual ~CWiaTransferCallback();

    std::atomic<LONG> refs_{1};
    LONG pageCounter_ = 0;
    BSTR extension_ = nullptr;
    LONG feeder_ = 0;
    const OLECHAR* outputFolder_ = nullptr;
    char outputPath_[1024];
    LONG progress_ = 0;
    LONG pageState_ = kIdle;
    jobject javaDevice_ = nullptr;  // global reference, deleted with the object
    std::atomic<LONG> cancel_{0};
};

// Downloads one item into files and reports the outcome to the Java device
// object. Takes over the caller's reference to the item.
void ScanItem2(JNIEnv* env, jobject javaDevice, IWiaItem2* item, ULONG count, const PROPSPEC* specs,
               const PROPVARIANT* values, LONG pages, bool progress, LONG duplex);

// Runs the device dialog of the root item, which writes the files itself into
// the output folder, and reports each file with fireTransferDone(path, null):
// always, or only when the dialog answered S_OK. Returns the dialog's result.
HRESULT DeviceDialog2(JNIEnv* env, jobject javaDevice, IWiaItem2* root, bool filesOnlyOnSuccess);

#else

// Forwards the progress of a WIA 1.0 transfer to the Java device object and
// answers a cancel request.
class CWiaDataCallback final : public IWiaDataCallback {
public:
    CWiaDataCallback() = default;

    void Initialize(JNIEnv* env, jobject javaDevice);
    void Cancel() { cancel_ = 1; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete, LONG lOffset,
                                                 LONG lLength, LONG lReserved, LONG lResLength,
                                                 BYTE* pbBuffer) override;

private:
    virtual ~CWiaDataCallback();

    std::atomic<LONG> refs_{1};
    jobject javaDevice_ = nullptr;  // global reference, deleted with the object
    std::atomic<LONG> cancel_{0};
};

// Transfers one item into a file that WIA names and reports it to the Java
// device object. Takes over the caller's reference to the item.
void ScanItem(JNIEnv* env, jobject javaDevice, IWiaItem* item, ULONG count, const PROPSPEC* specs,
              const PROPVARIANT* values, bool progress);

// The items a WIA 1.0 device dialog selected; those not taken are released.
class DialogSelection {
public:
    DialogSelection() = default;
    ~DialogSelection();
    DialogSelection(const DialogSelection&) = delete;
    DialogSelection& operator=(const DialogSelection&) = delete;
    // Runs the dialog of the root item; returns its result.
    HRESULT Run(IWiaItem* root);
    LONG Count() const { return items_ != nullptr ? count_ : 0; }
    IWiaItem* Take(LONG i);

private:
    IWiaItem** items_ = nullptr;
    LONG count_ = 0;
};

#endif

}  // namespace talvek
