// SHCreateStreamOnFileA's file stream and ReleaseStgMedium.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "journal.h"
#include "object.h"
#include "text.h"

namespace wiasim {

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

HRESULT fromErrno(int e) {
    switch (e) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EACCES: case EPERM: case EROFS: return E_ACCESSDENIED;
        case ENOSPC: return STG_E_MEDIUMFULL;
        default: return E_FAIL;
    }
}

class FileStream final : public ComObject, public Face<FileStream, IStream> {
    static constexpr const char* kIface = "IStream";

public:
    FileStream(int fd, const std::string& path) : ComObject("FileStream"), fd_(fd) {
        needsApartment_ = false;  // a plain in-process object, usable without COM
        setLabel(path);
    }
    ~FileStream() override { ::close(fd_); }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        return invoke(kIface, "Read", [&] { return countArg(cb); }, [&] { if (pcbRead) *pcbRead = 0; },
                      [&]() -> HRESULT {
                          if (!pv) return STG_E_INVALIDPARAMETER;
                          std::lock_guard<std::mutex> lock(mu_);
                          ULONG total = 0;
                          while (total < cb) {
                              const ssize_t n = ::read(fd_, static_cast<char*>(pv) + total, cb - total);
                              if (n < 0 && errno == EINTR) continue;
                              if (n < 0) return fromErrno(errno);
                              if (n == 0) break;
                              total += static_cast<ULONG>(n);
                          }
                          if (pcbRead) *pcbRead = total;
                          return total == cb ? S_OK : S_FALSE;
                      });
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        return invoke(kIface, "Write", [&] { return countArg(cb); }, [&] { if (pcbWritten) *pcbWritten = 0; },
                      [&]() -> HRESULT {
                          if (!pv) return STG_E_INVALIDPARAMETER;
                          std::lock_guard<std::mutex> lock(mu_);
                          ULONG total = 0;
                          while (total < cb) {
                              const ssize_t n = ::write(fd_, static_cast<const char*>(pv) + total, cb - total);
                              if (n < 0 && errno == EINTR) continue;
                              if (n < 0) {
                                  if (pcbWritten) *pcbWritten = total;
                                  return fromErrno(errno);
                              }
                              total += static_cast<ULONG>(n);
                          }
                          if (pcbWritten) *pcbWritten = total;
                          return S_OK;
                      });
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        return invoke(kIface, "Seek",
                      [&] { return std::to_string(dlibMove.QuadPart) + ", " + std::to_string(dwOrigin); },
                      [&] { if (plibNewPosition) plibNewPosition->QuadPart = 0; },
                      [&]() -> HRESULT {
                          int whence;
                          switch (dwOrigin) {
                              case STREAM_SEEK_SET: whence = SEEK_SET; break;
                              case STREAM_SEEK_CUR: whence = SEEK_CUR; break;
                              case STREAM_SEEK_END: whence = SEEK_END; break;
                              default: return STG_E_INVALIDFUNCTION;
                          }
                          std::lock_guard<std::mutex> lock(mu_);
                          const off_t pos = ::lseek(fd_, static_cast<off_t>(dlibMove.QuadPart), whence);
                          if (pos < 0) return STG_E_INVALIDFUNCTION;
                          if (plibNewPosition) plibNewPosition->QuadPart = static_cast<ULONGLONG>(pos);
                          return S_OK;
                      });
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override {
        return invoke(kIface, "SetSize", [&] { return std::to_string(libNewSize.QuadPart); }, [] {},
                      [&]() -> HRESULT {
                          std::lock_guard<std::mutex> lock(mu_);
                          return ::ftruncate(fd_, static_cast<off_t>(libNewSize.QuadPart)) == 0 ? S_OK
                                                                                                 : fromErrno(errno);
                      });
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override {
        return invoke(kIface, "CopyTo", [&] { return std::to_string(cb.QuadPart); },
                      [&] {
                          if (pcbRead) pcbRead->QuadPart = 0;
                          if (pcbWritten) pcbWritten->QuadPart = 0;
                      },
                      [] { return E_NOTIMPL; });
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override {
        return invoke(kIface, "Commit", [&] { return hexShort(grfCommitFlags); }, [] {}, [&]() -> HRESULT {
            std::lock_guard<std::mutex> lock(mu_);
            return ::fsync(fd_) == 0 || errno == EINVAL ? S_OK : fromErrno(errno);
        });
    }

    HRESULT STDMETHODCALLTYPE Revert() override {
        return invoke(kIface, "Revert", [] { return std::string(); }, [] {}, [] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return invoke(kIface, "LockRegion", [] { return std::string(); }, [] {}, [] { return STG_E_INVALIDFUNCTION; });
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return invoke(kIface, "UnlockRegion", [] { return std::string(); }, [] {}, [] { return STG_E_INVALIDFUNCTION; });
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD grfStatFlag) override {
        return invoke(kIface, "Stat", [&] { return std::to_string(grfStatFlag); }, [] {}, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override {
        return invoke(kIface, "Clone", [] { return std::string(); }, [&] { if (ppstm) *ppstm = nullptr; },
                      [] { return E_NOTIMPL; });
    }

protected:
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream)
            return static_cast<IStream*>(this);
        return nullptr;
    }

private:
    int fd_;
    std::mutex mu_;
};

const char* tymedName(DWORD tymed) {
    switch (tymed) {
        case TYMED_NULL: return "TYMED_NULL";
        case TYMED_HGLOBAL: return "TYMED_HGLOBAL";
        case TYMED_FILE: return "TYMED_FILE";
        case TYMED_ISTREAM: return "TYMED_ISTREAM";
        default: return nullptr;
    }
}

}  // namespace

}  // namespace wiasim

extern "C" {

HRESULT SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream** ppstm) {
    using namespace wiasim;
    Call call("SHCreateStreamOnFileA", [&] { return (pszFile ? quoted(pszFile) : "null") + ", " + hexShort(grfMode); });
    return call.run([&] { if (ppstm) *ppstm = nullptr; }, [&]() -> HRESULT {
        if (!pszFile || !ppstm) return E_INVALIDARG;
        *ppstm = nullptr;
        int flags = (grfMode & 3) == STGM_READ ? O_RDONLY : (grfMode & 3) == STGM_WRITE ? O_WRONLY : O_RDWR;
        if (grfMode & STGM_CREATE) flags |= O_CREAT | O_TRUNC;
        if ((grfMode & STGM_CREATE) && (flags & O_ACCMODE) == O_RDONLY) flags = (flags & ~O_ACCMODE) | O_RDWR;
        const int fd = ::open(pszFile, flags | O_CLOEXEC, 0644);
        if (fd < 0) return fromErrno(errno);
        *ppstm = new FileStream(fd, pszFile);
        return S_OK;
    });
}

void ReleaseStgMedium(STGMEDIUM* pmedium) {
    using namespace wiasim;
    Call call("ReleaseStgMedium", [&] {
        if (!pmedium) return std::string("null");
        const char* name = tymedName(pmedium->tymed);
        std::string out = name ? name : std::to_string(pmedium->tymed);
        if (pmedium->tymed == TYMED_FILE) out += ", " + wideArg(pmedium->lpszFileName);
        return out;
    });
    call.run([] {}, [&]() -> HRESULT {
        if (!pmedium) return S_OK;
        IUnknown* owner = pmedium->pUnkForRelease;
        if (pmedium->tymed == TYMED_FILE && !owner && pmedium->lpszFileName) {
            const OLECHAR* w = pmedium->lpszFileName;
            size_t n = 0;
            while (w[n]) ++n;
            std::remove(utf16ToUtf8(w, n).c_str());
            CoTaskMemFree(pmedium->lpszFileName);
        } else if (pmedium->tymed == TYMED_ISTREAM && !owner && pmedium->pstm) {
            releaseInternal(pmedium->pstm);
        }
        releaseInternal(owner);
        pmedium->tymed = TYMED_NULL;
        pmedium->hGlobal = nullptr;
        pmedium->pUnkForRelease = nullptr;
        return S_OK;
    });
}

}  // extern "C"
