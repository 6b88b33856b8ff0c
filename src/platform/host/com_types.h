// Stand-in declarations of the Win32 / COM / OLE subset used by the library
// and implemented by the simulated service on hosts without Windows.
//
// Layouts follow the Windows ones where code depends on them: OLECHAR is a
// 16-bit unit, a BSTR points just past a 32-bit byte-length prefix, and the
// PROPVARIANT, PROPSPEC, STATPROPSTG and STGMEDIUM members keep their names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define WINOLEAPI extern "C" HRESULT
#define TALVEK_STDAPI(type) extern "C" type

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint64_t ULONG64;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int16_t VARIANT_BOOL;
typedef int32_t SCODE;
typedef uint16_t VARTYPE;
typedef uint32_t PROPID;
typedef DWORD LCID;
typedef void* HWND;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char16_t OLECHAR;
typedef char16_t WCHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* BSTR;
#define OLESTR(str) u##str

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IEnumSTATPROPSTG = {0x00000139, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr CLSID CLSID_StdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Result codes.
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define E_HANDLE ((HRESULT)0x80070006)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define RPC_E_WRONG_THREAD ((HRESULT)0x8001010E)
#define STG_E_INVALIDPARAMETER ((HRESULT)0x80030057)
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002)
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Apartments and class contexts.
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0
#define COINIT_DISABLE_OLE1DDE 0x4
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17

// FormatMessage.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

// Storage modes.
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_CREATE 0x00001000L

// Variant types.
enum VARENUM : VARTYPE {
    VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6, VT_DATE = 7,
    VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13,
    VT_DECIMAL = 14, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21,
    VT_INT = 22, VT_UINT = 23, VT_VOID = 24, VT_HRESULT = 25, VT_PTR = 26, VT_SAFEARRAY = 27,
    VT_CARRAY = 28, VT_USERDEFINED = 29, VT_LPSTR = 30, VT_LPWSTR = 31, VT_FILETIME = 64,
    VT_BLOB = 65, VT_STREAM = 66, VT_STORAGE = 67, VT_STREAMED_OBJECT = 68, VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70, VT_CF = 71, VT_CLSID = 72,
    VT_VECTOR = 0x1000, VT_ARRAY = 0x2000, VT_BYREF = 0x4000,
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct CAL { ULONG cElems; LONG* pElems; };
struct CAUL { ULONG cElems; ULONG* pElems; };
struct CAI { ULONG cElems; SHORT* pElems; };
struct CAUB { ULONG cElems; BYTE* pElems; };
struct CACLSID { ULONG cElems; CLSID* pElems; };
struct CABSTR { ULONG cElems; BSTR* pElems; };
struct CALPWSTR { ULONG cElems; LPWSTR* pElems; };
struct BLOB { ULONG cbSize; BYTE* pBlobData; };

union LARGE_INTEGER { struct { DWORD LowPart; LONG HighPart; } u; LONGLONG QuadPart; };
union ULARGE_INTEGER { struct { DWORD LowPart; DWORD HighPart; } u; ULONGLONG QuadPart; };

struct PROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        char cVal;
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        int32_t intVal;
        uint32_t uintVal;
        LONGLONG hVal;
        ULONGLONG uhVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        FILETIME filetime;
        CLSID* puuid;
        BSTR bstrVal;
        LPSTR pszVal;
        LPWSTR pwszVal;
        BLOB blob;
        CAUB caub;
        CAI cai;
        CAL cal;
        CAUL caul;
        CACLSID cauuid;
        CABSTR cabstr;
        CALPWSTR calpwstr;
    };
};
typedef PROPVARIANT* LPPROPVARIANT;

inline void PropVariantInit(PROPVARIANT* pv) { std::memset(pv, 0, sizeof(PROPVARIANT)); }

#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

struct PROPSPEC {
    ULONG ulKind;
    union {
        PROPID propid;
        LPOLESTR lpwstr;
    };
};

struct STATPROPSTG {
    LPOLESTR lpwstrName;
    PROPID propid;
    VARTYPE vt;
};

struct STATPROPSETSTG {
    GUID fmtid;
    CLSID clsid;
    DWORD grfFlags;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD dwOSVersion;
};

// Interfaces of the COM core.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct ISequentialStream : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct STATSTG;

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

struct IStream : ISequentialStream {
    virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;
};

struct IEnumSTATPROPSTG : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATPROPSTG* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumSTATPROPSTG** ppenum) = 0;
};

struct IGlobalInterfaceTable : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) = 0;
};

#define TYMED_HGLOBAL 1
#define TYMED_FILE 2
#define TYMED_ISTREAM 4
#define TYMED_NULL 0

struct STGMEDIUM {
    DWORD tymed;
    union {
        void* hGlobal;
        LPOLESTR lpszFileName;
        IStream* pstm;
    };
    IUnknown* pUnkForRelease;
};
typedef STGMEDIUM* LPSTGMEDIUM;

// Functions of ole32, oleaut32, shlwapi and kernel32, implemented by the
// simulated service (libwiasim).
extern "C" {
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
LPVOID CoTaskMemAlloc(size_t cb);
LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb);
void CoTaskMemFree(LPVOID pv);
HRESULT PropVariantClear(PROPVARIANT* pvar);
HRESULT PropVariantCopy(PROPVARIANT* pvarDest, const PROPVARIANT* pvarSrc);
HRESULT FreePropVariantArray(ULONG cVariants, PROPVARIANT* rgvars);
void ReleaseStgMedium(STGMEDIUM* pmedium);

BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, uint32_t ui);
uint32_t SysStringLen(BSTR pbstr);
uint32_t SysStringByteLen(BSTR bstr);
void SysFreeString(BSTR bstrString);

HRESULT SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream** ppstm);

DWORD FormatMessageA(DWORD dwFlags, const void* lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, void* Arguments);
HLOCAL LocalFree(HLOCAL hMem);
DWORD GetCurrentThreadId();
}
