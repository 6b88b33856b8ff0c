// The WIA 1.0 transfer engine (module WIAUtils): CWiaDataCallback, which
// forwards progress and answers a cancel request, and ScanItem, which lets WIA
// write one item into a file of its choosing.
#include "WIATransfer.h"

#if defined(TALVEK_WIA1)

#include <cstring>

#include "ComOwners.h"
#include "WIAManager.h"
#include "WIAProperties.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

// The data callback of the latest transfer that ran with progress reports. It
// holds that object's creation reference and keeps naming it after the
// transfer, so that a late cancel lands on a live object.
Mutex g_currentLock;
CWiaDataCallback* g_current = nullptr;

// Replaces the current data callback; the one it names goes with its reference.
void ReplaceCurrent(CWiaDataCallback* callback) {
    CWiaDataCallback* previous;
    {
        LockGuard guard(g_currentLock);
        previous = g_current;
        g_current = callback;
    }
    if (previous != nullptr) previous->Release();
}

struct FormatChoice {
    const GUID* format;
    const char* extension;
};

// Tried in order; the first format the device accepts wins.
const FormatChoice kFormats[] = {
    {&wia::WiaImgFmt_JPEG, "jpg"},
    {&wia::WiaImgFmt_BMP, "bmp"},
};

// Writes the format and TYMED_FILE in one call.
HRESULT WriteFormat(IWiaPropertyStorage* storage, const GUID* format) {
    GUID copy = *format;
    PROPSPEC specs[2] = {PropSpecById(wia::WIA_IPA_FORMAT), PropSpecById(wia::WIA_IPA_TYMED)};
    PROPVARIANT values[2];
    PropVariantInit(&values[0]);
    PropVariantInit(&values[1]);
    values[0].vt = VT_CLSID;
    values[0].puuid = &copy;
    values[1].vt = VT_I4;
    values[1].lVal = TYMED_FILE;
    return storage->WriteMultiple(2, specs, values, wia::WIA_IPA_FIRST);
}

// The medium WIA fills with the name of the file it wrote; released (which
// deletes that file) when the transfer's report has been made.
class FileMedium {
public:
    FileMedium() {
        std::memset(&medium_, 0, sizeof medium_);
        medium_.tymed = TYMED_FILE;
    }
    ~FileMedium() { ReleaseStgMedium(&medium_); }
    FileMedium(const FileMedium&) = delete;
    FileMedium& operator=(const FileMedium&) = delete;
    STGMEDIUM* Get() { return &medium_; }
    const OLECHAR* FileName() const { return medium_.lpszFileName; }

private:
    STGMEDIUM medium_;
};

}  // namespace

void CancelCurrentTransfer() {
    LockGuard guard(g_currentLock);
    if (g_current != nullptr) g_current->Cancel();
}

CWiaDataCallback::~CWiaDataCallback() {
    if (javaDevice_ != nullptr) {
        ForeignThreadEnv thread;
        if (thread.Get() != nullptr) thread.Get()->DeleteGlobalRef(javaDevice_);
    }
}

void CWiaDataCallback::Initialize(JNIEnv* env, jobject javaDevice) {
    if (javaDevice_ != nullptr) env->DeleteGlobalRef(javaDevice_);
    javaDevice_ = javaDevice != nullptr ? env->NewGlobalRef(javaDevice) : nullptr;
    cancel_ = 0;
}

HRESULT STDMETHODCALLTYPE CWiaDataCallback::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, wia::IID_IWiaDataCallback)) {
        *ppv = static_cast<IWiaDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CWiaDataCallback::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG STDMETHODCALLTYPE CWiaDataCallback::Release() {
    LONG count = --refs_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CWiaDataCallback::BandedDataCallback(LONG lMessage, LONG, LONG lPercentComplete,
                                                               LONG lOffset, LONG, LONG, LONG, BYTE*) {
    if (javaDevice_ != nullptr) {
        ForeignThreadEnv thread;
        JNIEnv* env = thread.Get();
        if (env != nullptr) {
            env->CallVoidMethod(javaDevice_, g_bindings.fireTransferProgress, static_cast<jint>(lMessage),
                                static_cast<jint>(lPercentComplete), static_cast<jlong>(lOffset));
            // A listener that threw is described; the answer depends on the cancel flag alone.
            if (env->ExceptionCheck()) {
                env->ExceptionDescribe();
                env->ExceptionClear();
            }
        }
    }
    return cancel_ != 0 ? S_FALSE : S_OK;
}

DialogSelection::~DialogSelection() {
    for (LONG i = 0; i < Count(); ++i) {
        if (items_[i] != nullptr) items_[i]->Release();
    }
    CoTaskMemFree(items_);
}

HRESULT DialogSelection::Run(IWiaItem* root) {
    return root->DeviceDlg(nullptr, 0, wia::WIA_INTENT_NONE, &count_, &items_);
}

IWiaItem* DialogSelection::Take(LONG i) {
    IWiaItem* item = items_[i];
    items_[i] = nullptr;
    return item;
}

void ScanItem(JNIEnv* env, jobject javaDevice, IWiaItem* itemIn, ULONG count, const PROPSPEC* specs,
              const PROPVARIANT* values, bool progress) {
    ComPtr<IWiaItem> item(itemIn);
    LogTrace(env, "-> ox.orvel.talvek.wia.WIAUtils.ScanItem()");

    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(item->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));

    const char* extension = nullptr;
    HRESULT hr = S_OK;
    for (const FormatChoice& choice : kFormats) {
        hr = WriteFormat(storage.Get(), choice.format);
        if (hr == S_OK) {
            extension = choice.extension;
            break;
        }
    }
    if (extension == nullptr) TALVEK_RAISE(hr);

    for (ULONG i = 0; i < count; ++i) {
        HRESULT set = storage->WriteMultiple(1, &specs[i], &values[i], wia::WIA_IPA_FIRST);
        if (set != S_OK) LogWarning("Failed to set property[%d] %d to %d", i, specs[i].propid, values[i].lVal);
    }

    Dump(env, storage.Get());

    ComPtr<IWiaDataTransfer> transfer;
    TALVEK_CHECK(item->QueryInterface(wia::IID_IWiaDataTransfer, transfer.PutVoid()));

    ComPtr<IWiaDataCallback> callbackInterface;
    if (progress) {
        CWiaDataCallback* callback = new CWiaDataCallback();
        ReplaceCurrent(callback);
        callback->Initialize(env, javaDevice);
        TALVEK_CHECK(callback->QueryInterface(wia::IID_IWiaDataCallback, callbackInterface.PutVoid()));
    }

    {
        FileMedium medium;
        hr = transfer->idtGetData(medium.Get(), callbackInterface.Get());
        if (hr == S_OK) {
            const OLECHAR* name = medium.FileName();
            jsize length = 0;
            while (name != nullptr && name[length] != 0) ++length;
            static const jchar kEmpty[1] = {0};
            jstring path = env->NewString(name != nullptr ? reinterpret_cast<const jchar*>(name) : kEmpty, length);
            CheckJava(env);
            jstring ext = env->NewStringUTF(extension);
            CheckJava(env);
            env->CallVoidMethod(javaDevice, g_bindings.fireTransferDone, path, ext);
            env->DeleteLocalRef(path);
            env->DeleteLocalRef(ext);
        } else {
            jstring message = env->NewStringUTF("Image transfer canceled by the user");
            CheckJava(env);
            env->CallVoidMethod(javaDevice, g_bindings.fireTransferFailed, 1, message);
            env->DeleteLocalRef(message);
        }
        // The medium, and with it WIA's file, goes only after the report.
        callbackInterface.Reset();
    }
    CheckJava(env);
    transfer.Reset();
    storage.Reset();
    item.Reset();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAUtils.ScanItem()");
}

}  // namespace talvek

#endif  // TALVEK_WIA1
