// The WIA 2.0 transfer engine (module WIAUtils): CWiaTransferCallback, which
// names and opens the output files and reports pages and progress, and
// ScanItem2, the one download path of the WIA 2.0 flavour.
#include "WIATransfer.h"

#if defined(TALVEK_WIA2)

#include <cstring>
#include <string>

#include "ComOwners.h"
#include "WIAManager.h"
#include "WIAProperties.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

// The callback of the running download, and the lock that guards it while a
// cancel request sets its flag and while ScanItem2 sets or clears it.
Mutex g_currentLock;
CWiaTransferCallback* g_current = nullptr;

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// A wide string in the process's narrow code page (UTF-8 on POSIX).
std::string ToNarrow(const OLECHAR* text) {
    if (text == nullptr) return std::string();
#ifdef _WIN32
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
#else
    size_t len = 0;
    while (text[len] != 0) ++len;
    return Utf16ToUtf8(text, len);
#endif
}

// Copies `path` into the output path buffer, cut to 1023 bytes; a cut never
// leaves half a UTF-8 character behind.
void StorePath(const std::string& path, char* buffer, size_t size) {
    size_t n = path.size() < size - 1 ? path.size() : size - 1;
#ifndef _WIN32
    if (n < path.size()) {
        while (n > 0 && (static_cast<unsigned char>(path[n]) & 0xC0) == 0x80) --n;
    }
#endif
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
}

// Makes the callback the current transfer callback for the scope of a
// download and drops the creation reference at its end, on every path.
class CurrentCallback {
public:
    explicit CurrentCallback(CWiaTransferCallback* callback) : callback_(callback) {
        LockGuard guard(g_currentLock);
        g_current = callback_;
    }
    ~CurrentCallback() {
        {
            LockGuard guard(g_currentLock);
            g_current = nullptr;
        }
        callback_->Release();
    }
    CurrentCallback(const CurrentCallback&) = delete;
    CurrentCallback& operator=(const CurrentCallback&) = delete;

private:
    CWiaTransferCallback* callback_;
};

void FireDone(JNIEnv* env, jobject javaDevice, const char* path) {
    jstring jpath = NarrowToJavaString(env, path);
    CheckJava(env);
    env->CallVoidMethod(javaDevice, g_bindings.fireTransferDone, jpath, nullptr);
    env->DeleteLocalRef(jpath);
    CheckJava(env);
}

void DownloadWithCallback(JNIEnv* env, jobject javaDevice, IWiaItem2* item, IWiaTransfer* transfer,
                          CWiaTransferCallback* callback, ULONG count, const PROPSPEC* specs,
                          const PROPVARIANT* values, LONG pages, bool progress, LONG duplex);

}  // namespace

void CancelCurrentTransfer() {
    LockGuard guard(g_currentLock);
    if (g_current != nullptr) g_current->Cancel();
}

CWiaTransferCallback::CWiaTransferCallback() { std::memset(outputPath_, 0, sizeof outputPath_); }

CWiaTransferCallback::~CWiaTransferCallback() {
    SysFreeString(extension_);
    if (javaDevice_ != nullptr) {
        ForeignThreadEnv thread;
        if (thread.Get() != nullptr) thread.Get()->DeleteGlobalRef(javaDevice_);
    }
}

HRESULT CWiaTransferCallback::IntializeCallback(const OLECHAR* outputFolder, BSTR extension, LONG feeder,
                                                jobject javaDevice, LONG progress) {
    feeder_ = feeder;
    if (outputFolder == nullptr) {
        LogError("WiaTransferCallback::No output directory name was given");
        // The extension was handed over all the same.
        SysFreeString(extension);
        return E_INVALIDARG;
    }
    outputFolder_ = outputFolder;
    if (extension != nullptr) {
        SysFreeString(extension_);
        extension_ = extension;
    }
    progress_ = progress;
    LogTraceAttached("IntializeCallback -> dir: %ws  ext: %ws  feeder: %s", outputFolder_, extension_,
                     feeder_ ? "yes" : "no");
    ForeignThreadEnv thread;
    JNIEnv* env = thread.Get();
    if (env != nullptr) {
        if (javaDevice_ != nullptr) env->DeleteGlobalRef(javaDevice_);
        javaDevice_ = javaDevice != nullptr ? env->NewGlobalRef(javaDevice) : nullptr;
    }
    cancel_ = 0;
    pageState_ = kIdle;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWiaTransferCallback::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        PrintDiagnostic("Invalid argument passed to QueryInterface()", E_INVALIDARG);
        return E_INVALIDARG;
    }
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, wia::IID_IWiaTransferCallback)) {
        *ppv = static_cast<IWiaTransferCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CWiaTransferCallback::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG STDMETHODCALLTYPE CWiaTransferCallback::Release() {
    LONG count = --refs_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CWiaTransferCallback::TransferCallback(LONG, WiaTransferParams* params) {
    if (params == nullptr) {
        LogErrorDetached("TransferCallback() was called with invalid args");
        return E_INVALIDARG;
    }
    const LONG message = params->lMessage;
    if (message == wia::WIA_TRANSFER_MSG_STATUS) pageState_ = kDataSeen;

    const bool endMessage =
        message == wia::WIA_TRANSFER_MSG_END_OF_STREAM || message == wia::WIA_TRANSFER_MSG_END_OF_TRANSFER;
    const bool acts = (endMessage && feeder_ != 0) || (message == wia::WIA_TRANSFER_MSG_STATUS && progress_ != 0);
    if (!acts) return S_OK;

    ForeignThreadEnv thread;
    JNIEnv* env = thread.Get();
    if (cancel_ != 0) return S_FALSE;
    if (env == nullptr || javaDevice_ == nullptr) return S_OK;

    if (feeder_ != 0 && message == wia::WIA_TRANSFER_MSG_END_OF_STREAM) {
        // A stream that received no data is not reported as a page.
        if (pageState_ == kDataSeen) {
            jstring path = NarrowToJavaString(env, outputPath_);
            if (path != nullptr) {
                env->CallVoidMethod(javaDevice_, g_bindings.fireTransferDone, path, nullptr);
                env->DeleteLocalRef(path);
            }
            pageState_ = kIdle;
        }
    } else if (progress_ != 0) {
        env->CallVoidMethod(javaDevice_, g_bindings.fireTransferProgress, static_cast<jint>(message),
                            static_cast<jint>(params->lPercentComplete),
                            static_cast<jlong>(params->ulTransferredBytes));
    }
    // A listener that threw is described; the transfer goes on.
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWiaTransferCallback::GetNextStream(LONG, BSTR bstrItemName, BSTR,
                                                              IStream** ppDestination) {
    if (ppDestination == nullptr || bstrItemName == nullptr || outputFolder_ == nullptr) {
        LogErrorDetached("GetNextStream() was called with invalid parameters");
        return E_INVALIDARG;
    }
    *ppDestination = nullptr;

    std::string path = ToNarrow(outputFolder_);
    path += kSeparator;
    path += ToNarrow(Manager().nameTemplate);
    if (extension_ != nullptr) {
        if (feeder_ != 0) {
            ++pageCounter_;
            path += "_page" + std::to_string(pageCounter_);
        }
        path += '.';
        path += ToNarrow(extension_);
    }
    StorePath(path, outputPath_, sizeof outputPath_);
    LogTraceDetached("GetNextStream -> file: %s", outputPath_);

    HRESULT hr = SHCreateStreamOnFileA(outputPath_, STGM_CREATE | STGM_READWRITE, ppDestination);
    if (hr < 0) {
        LogErrorDetached("Failed [%x] to Create a Stream on File %s", hr, outputPath_);
        *ppDestination = nullptr;
    }
    pageState_ = kStreamOpened;
    return hr;
}

HRESULT DeviceDialog2(JNIEnv* env, jobject javaDevice, IWiaItem2* root, bool filesOnlyOnSuccess) {
    LONG files = 0;
    BSTR* paths = nullptr;
    ComPtr<IWiaItem2> selected;
    HRESULT hr = root->DeviceDlg(0, nullptr, Manager().outputFolder, Manager().nameTemplate, &files, &paths,
                                 selected.Put());
    // The path array and its strings are the caller's to free.
    struct PathArray {
        BSTR* paths;
        LONG count;
        ~PathArray() {
            for (LONG i = 0; paths != nullptr && i < count; ++i) SysFreeString(paths[i]);
            CoTaskMemFree(paths);
        }
    } owned{paths, paths != nullptr ? files : 0};
    LogTrace(env, "after dialog result=%x, page count=%d", hr, owned.count);
    if (hr != S_OK && filesOnlyOnSuccess) return hr;
    for (LONG i = 0; i < owned.count; ++i) {
        LogTrace(env, "file[%d] -> %ws  (%d)", i, paths[i], SysStringLen(paths[i]));
        jstring path = BstrToJavaString(env, paths[i]);
        CheckJava(env);
        env->CallVoidMethod(javaDevice, g_bindings.fireTransferDone, path, nullptr);
        env->DeleteLocalRef(path);
        CheckJava(env);
    }
    return hr;
}

void ScanItem2(JNIEnv* env, jobject javaDevice, IWiaItem2* itemIn, ULONG count, const PROPSPEC* specs,
               const PROPVARIANT* values, LONG pages, bool progress, LONG duplex) {
    ComPtr<IWiaItem2> item(itemIn);
    LogTrace(env, "-> ox.orvel.talvek.wia.WIAUtils.ScanItem2()");

    ComPtr<IWiaTransfer> transfer;
    if (item->QueryInterface(wia::IID_IWiaTransfer, transfer.PutVoid()) < 0) {
        LogError("wiaItem2->QueryInterface failed on IID_IWiaTransfer");
        item.Reset();
        LogTrace(env, "<- ox.orvel.talvek.wia.WIAUtils.ScanItem2()");
        return;
    }

    CWiaTransferCallback* callback = new (std::nothrow) CWiaTransferCallback();
    if (callback == nullptr) {
        LogError("Unable to create CWiaTransferCallback class instance");
        return;
    }
    DownloadWithCallback(env, javaDevice, item.Get(), transfer.Get(), callback, count, specs, values, pages,
                         progress, duplex);
    transfer.Reset();
    item.Reset();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAUtils.ScanItem2()");
}

namespace {

// The part of ScanItem2 during which the callback is the current transfer
// callback; whatever it holds is released when it ends, on the raise paths too.
void DownloadWithCallback(JNIEnv* env, jobject javaDevice, IWiaItem2* item, IWiaTransfer* transfer,
                          CWiaTransferCallback* callback, ULONG count, const PROPSPEC* specs,
                          const PROPVARIANT* values, LONG pages, bool progress, LONG duplex) {
    CurrentCallback current(callback);

    ComPtr<IWiaTransferCallback> callbackInterface;
    TALVEK_CHECK(callback->QueryInterface(wia::IID_IWiaTransferCallback, callbackInterface.PutVoid()));
    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(item->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));

    GUID category = GUID_NULL;
    ReadPropertyGuid(item, wia::WIA_IPA_ITEM_CATEGORY, &category);
    const bool finishedFile = IsEqualGUID(category, wia::WIA_CATEGORY_FINISHED_FILE);
    const bool folder = IsEqualGUID(category, wia::WIA_CATEGORY_FOLDER);

    if (!finishedFile && !folder) {
        if (WritePropertyGuid(storage.Get(), wia::WIA_IPA_FORMAT, &wia::WiaImgFmt_BMP) < 0) {
            LogError("WritePropertyGuid() failed in DownloadItem().Format couldn't be set to BMP");
        }
    }

    BstrOwner extension;
    if (!folder) {
        HRESULT hr = ReadPropertyBSTR(storage.Get(), wia::WIA_IPA_FILENAME_EXTENSION, extension.Put());
        if (hr != S_OK) {
            LogWarning("getting file extension failed [%x] default set to 'bmp'", hr);
            *extension.Put() = SysAllocString(OLESTR("bmp"));
        }
    }

    LONG itemType = 0;
    item->GetItemType(&itemType);

    LONG feeder = 0;
    if (IsEqualGUID(category, wia::WIA_CATEGORY_FEEDER)) {
        WritePropertyLong(storage.Get(), wia::WIA_IPS_PAGES, pages);
        if (duplex != 0) WritePropertyLong(storage.Get(), wia::WIA_IPS_DOCUMENT_HANDLING_SELECT, wia::DUPLEX);
        feeder = 1;
    } else if ((itemType & wia::WiaItemTypeStorage) != 0) {
        extension.Reset();
    }

    for (ULONG i = 0; i < count; ++i) {
        HRESULT hr = storage->WriteMultiple(1, &specs[i], &values[i], wia::WIA_IPA_FIRST);
        if (hr != S_OK) {
            LogWarning("Failed to set property[%d] %d to %d", i, specs[i].propid, values[i].lVal);
        }
    }

    callback->IntializeCallback(Manager().outputFolder, extension.Detach(), feeder, javaDevice, progress ? 1 : 0);

    HRESULT hr = transfer->Download(0, callbackInterface.Get());
    if (hr == S_OK) {
        LogTrace(env, "-> Download() ... OK");
        if (feeder == 0) {
            FireDone(env, javaDevice, callback->OutputPath());
        } else if (pages == 0) {
            FireTransferFailed(env, javaDevice, 0, "Feeder is empty");
        }
    } else if (hr == S_FALSE) {
        LogWarning("-> Download() ... S_FALSE. File may be empty");
        FireTransferFailed(env, javaDevice, 1, "Image transfer canceled by the user");
    } else if (hr == wia::WIA_ERROR_PAPER_EMPTY) {
        LogTrace(env, "Feeder empty already reported");
        FireTransferFailed(env, javaDevice, 0, "Feeder is empty");
    } else if (hr < 0) {
        LogError("-> Download() failed %x", hr);
        FireTransferFailed(env, javaDevice, hr, "Image transfer failed");
    }

    storage.Reset();
    callbackInterface.Reset();
}

}  // namespace
}  // namespace talvek

#endif  // TALVEK_WIA2
