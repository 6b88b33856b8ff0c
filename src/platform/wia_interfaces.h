// The project's own declarations of the WIA 1.0 and WIA 2.0 interfaces, with
// every method in its published vtable slot and with the published parameter
// types. One set serves the Windows build and the host build alike: a COM
// method is reached by its slot, so the order here is the contract.
//
// The GUIDs live in namespace wia with internal linkage, so that they never
// collide with the definitions some toolchains ship in their uuid library.
#pragma once

namespace wia {

// Class and interface identifiers.
constexpr CLSID CLSID_WiaDevMgr = {0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
constexpr CLSID CLSID_WiaDevMgr2 = {0xB6C292BC, 0x7C88, 0x41EE, {0x8B, 0x54, 0x8E, 0xC9, 0x26, 0x17, 0xE5, 0x99}};
constexpr IID IID_IWiaDevMgr = {0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
constexpr IID IID_IWiaDevMgr2 = {0x79C07CF1, 0xCBDD, 0x41EE, {0x8E, 0xC3, 0xF0, 0x00, 0x80, 0xCA, 0xDA, 0x7A}};
constexpr IID IID_IWiaItem = {0x4DB1AD10, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
constexpr IID IID_IWiaItem2 = {0x6CBA0075, 0x1287, 0x407D, {0x9B, 0x77, 0xCF, 0x0E, 0x03, 0x04, 0x35, 0xCC}};
constexpr IID IID_IEnumWiaItem = {0x5E8383FC, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
constexpr IID IID_IEnumWiaItem2 = {0x59970AF4, 0xCD0D, 0x44D9, {0xAB, 0x24, 0x52, 0x29, 0x56, 0x30, 0xE5, 0x82}};
constexpr IID IID_IEnumWIA_DEV_INFO = {0x5E38B83C, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
constexpr IID IID_IWiaPropertyStorage = {0x98B5E8A0, 0x29CC, 0x491A, {0xAC, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};
constexpr IID IID_IWiaEventCallback = {0xAE6287B0, 0x0084, 0x11D2, {0x97, 0x3B, 0x00, 0xA0, 0xC9, 0x06, 0x8F, 0x2E}};
constexpr IID IID_IWiaTransfer = {0xC39D6942, 0x2F4E, 0x4D04, {0x92, 0xFE, 0x4E, 0xF4, 0xD3, 0xA1, 0xDE, 0x5A}};
constexpr IID IID_IWiaTransferCallback = {0x27D4EAAF, 0x28A6, 0x4CA5, {0x9A, 0xAB, 0xE6, 0x78, 0x16, 0x8B, 0x95, 0x27}};
constexpr IID IID_IWiaDataTransfer = {0xA6CEF998, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
constexpr IID IID_IWiaDataCallback = {0xA558A866, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};

// Events.
constexpr GUID WIA_EVENT_DEVICE_CONNECTED = {0xA28BBADE, 0x64B6, 0x11D2, {0xA2, 0x31, 0x00, 0xC0, 0x4F, 0xA3, 0x18, 0x09}};
constexpr GUID WIA_EVENT_DEVICE_DISCONNECTED = {0x143E4E83, 0x6497, 0x11D2, {0xA2, 0x31, 0x00, 0xC0, 0x4F, 0xA3, 0x18, 0x09}};

// Item categories (WIA 2.0).
constexpr GUID WIA_CATEGORY_FINISHED_FILE = {0xFF2B77CA, 0xCF84, 0x432B, {0xA7, 0x35, 0x3A, 0x13, 0x0D, 0xDE, 0x2A, 0x88}};
constexpr GUID WIA_CATEGORY_FLATBED = {0xFB607B1F, 0x43F3, 0x488B, {0x85, 0x5B, 0xFB, 0x70, 0x3E, 0xC3, 0x42, 0xA6}};
constexpr GUID WIA_CATEGORY_FEEDER = {0xFE131934, 0xF84C, 0x42AD, {0x8D, 0xA4, 0x61, 0x29, 0xCD, 0xDD, 0x72, 0x88}};
constexpr GUID WIA_CATEGORY_FILM = {0xFCF65BE7, 0x3CE3, 0x4473, {0xAF, 0x85, 0xF5, 0xD3, 0x7D, 0x21, 0xB6, 0x8A}};
constexpr GUID WIA_CATEGORY_ROOT = {0xF193526F, 0x59B8, 0x4A26, {0x98, 0x88, 0xE1, 0x6E, 0x4F, 0x97, 0xCE, 0x10}};
constexpr GUID WIA_CATEGORY_FOLDER = {0xC692A446, 0x6F5A, 0x481D, {0x85, 0xBB, 0x92, 0xE2, 0xE8, 0x6F, 0xD3, 0x0A}};
constexpr GUID WIA_CATEGORY_FEEDER_FRONT = {0x4823175C, 0x3B28, 0x487B, {0xA7, 0xE6, 0xEE, 0xBC, 0x17, 0x61, 0x4F, 0xD1}};
constexpr GUID WIA_CATEGORY_FEEDER_BACK = {0x61CA74D4, 0x39DB, 0x42AA, {0x89, 0xB1, 0x8C, 0x19, 0xC9, 0xCD, 0x4C, 0x23}};
constexpr GUID WIA_CATEGORY_AUTO = {0xDEFE5FD8, 0x6C97, 0x4DDE, {0xB1, 0x1E, 0xCB, 0x50, 0x9B, 0x27, 0x0E, 0x11}};

// Image formats.
constexpr GUID WiaImgFmt_BMP = {0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID WiaImgFmt_JPEG = {0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID WiaImgFmt_PNG = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Device enumeration and device information properties.
constexpr LONG WIA_DEVINFO_ENUM_LOCAL = 0x10;
constexpr PROPID WIA_DIP_DEV_ID = 2;
constexpr PROPID WIA_DIP_VEND_DESC = 3;
constexpr PROPID WIA_DIP_DEV_DESC = 4;
constexpr PROPID WIA_DIP_DEV_TYPE = 5;
constexpr PROPID WIA_DIP_PORT_NAME = 6;
constexpr PROPID WIA_DIP_DEV_NAME = 7;
constexpr PROPID WIA_DIP_SERVER_NAME = 8;

// STI device types (high 16 bits of WIA_DIP_DEV_TYPE).
constexpr LONG StiDeviceTypeDefault = 0;
constexpr LONG StiDeviceTypeScanner = 1;
constexpr LONG StiDeviceTypeDigitalCamera = 2;
constexpr LONG StiDeviceTypeStreamingVideo = 3;

// Item properties.
constexpr PROPID WIA_IPA_FIRST = 4098;
constexpr PROPID WIA_IPA_ITEM_NAME = 4098;
constexpr PROPID WIA_IPA_FULL_ITEM_NAME = 4099;
constexpr PROPID WIA_IPA_DATATYPE = 4103;
constexpr PROPID WIA_IPA_DEPTH = 4104;
constexpr PROPID WIA_IPA_FORMAT = 4106;
constexpr PROPID WIA_IPA_TYMED = 4108;
constexpr PROPID WIA_IPA_FILENAME_EXTENSION = 4123;
constexpr PROPID WIA_IPA_ITEM_CATEGORY = 4125;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES = 3086;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_STATUS = 3087;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_SELECT = 3088;
constexpr PROPID WIA_IPS_DOCUMENT_HANDLING_SELECT = 3088;
constexpr PROPID WIA_IPS_PAGES = 3096;
constexpr PROPID WIA_IPS_XRES = 6147;
constexpr PROPID WIA_IPS_YRES = 6148;
constexpr PROPID WIA_IPS_XPOS = 6149;
constexpr PROPID WIA_IPS_YPOS = 6150;
constexpr PROPID WIA_IPS_XEXTENT = 6151;
constexpr PROPID WIA_IPS_YEXTENT = 6152;
constexpr PROPID WIA_IPS_PHOTOMETRIC_INTERP = 6153;
constexpr PROPID WIA_IPS_BRIGHTNESS = 6154;
constexpr PROPID WIA_IPS_CONTRAST = 6155;

// Property attribute flags.
constexpr ULONG WIA_PROP_READ = 0x1;
constexpr ULONG WIA_PROP_WRITE = 0x2;
constexpr ULONG WIA_PROP_SYNC_REQUIRED = 0x4;
constexpr ULONG WIA_PROP_NONE = 0x8;
constexpr ULONG WIA_PROP_RANGE = 0x10;
constexpr ULONG WIA_PROP_LIST = 0x20;
constexpr ULONG WIA_PROP_FLAG = 0x40;
constexpr ULONG WIA_PROP_CACHEABLE = 0x10000;

// Item types.
constexpr LONG WiaItemTypeFree = 0x0;
constexpr LONG WiaItemTypeImage = 0x1;
constexpr LONG WiaItemTypeFile = 0x2;
constexpr LONG WiaItemTypeFolder = 0x4;
constexpr LONG WiaItemTypeRoot = 0x8;
constexpr LONG WiaItemTypeAnalyze = 0x10;
constexpr LONG WiaItemTypeAudio = 0x20;
constexpr LONG WiaItemTypeDevice = 0x40;
constexpr LONG WiaItemTypeDeleted = 0x80;
constexpr LONG WiaItemTypeDisconnected = 0x100;
constexpr LONG WiaItemTypeStorage = 0x1000;
constexpr LONG WiaItemTypeTransfer = 0x2000;
constexpr LONG WiaItemTypeGenerated = 0x4000;
constexpr LONG WiaItemTypeVideo = 0x10000;
constexpr LONG WiaItemTypeDocument = 0x40000;

// Transfer messages, WIA 2.0.
constexpr LONG WIA_TRANSFER_MSG_STATUS = 1;
constexpr LONG WIA_TRANSFER_MSG_END_OF_STREAM = 2;
constexpr LONG WIA_TRANSFER_MSG_END_OF_TRANSFER = 3;
constexpr LONG WIA_TRANSFER_MSG_DEVICE_STATUS = 5;
constexpr LONG WIA_TRANSFER_MSG_NEW_PAGE = 6;

// Transfer messages, WIA 1.0.
constexpr LONG IT_MSG_DATA_HEADER = 1;
constexpr LONG IT_MSG_DATA = 2;
constexpr LONG IT_MSG_STATUS = 3;
constexpr LONG IT_MSG_TERMINATION = 4;
constexpr LONG IT_MSG_NEW_PAGE = 5;
constexpr LONG IT_MSG_FILE_PREVIEW_DATA = 6;
constexpr LONG IT_MSG_FILE_PREVIEW_DATA_HEADER = 7;
constexpr LONG IT_STATUS_TRANSFER_FROM_DEVICE = 1;
constexpr LONG IT_STATUS_PROCESSING_DATA = 2;
constexpr LONG IT_STATUS_TRANSFER_TO_CLIENT = 4;

// Document handling.
constexpr LONG FEEDER = 0x1;
constexpr LONG FLATBED = 0x2;
constexpr LONG DUPLEX = 0x4;
constexpr LONG FRONT_FIRST = 0x8;
constexpr LONG BACK_FIRST = 0x10;
constexpr LONG FRONT_ONLY = 0x20;
constexpr LONG BACK_ONLY = 0x40;
constexpr LONG NEXT_PAGE = 0x80;
constexpr LONG PREFEED = 0x100;
constexpr LONG AUTO_ADVANCE = 0x200;
constexpr LONG ADVANCED_DUPLEX = 0x400;
constexpr LONG FEED_READY = 0x1;
constexpr LONG FLAT_READY = 0x2;
constexpr LONG DUP_READY = 0x4;
constexpr LONG FLAT_COVER_UP = 0x8;
constexpr LONG PATH_COVER_UP = 0x10;
constexpr LONG PAPER_JAM = 0x20;

// Data types.
constexpr LONG WIA_DATA_THRESHOLD = 0;
constexpr LONG WIA_DATA_DITHER = 1;
constexpr LONG WIA_DATA_GRAYSCALE = 2;
constexpr LONG WIA_DATA_COLOR = 3;

// Media types beyond the basic ones.
constexpr LONG TYMED_CALLBACK = 128;
constexpr LONG TYMED_MULTIPAGE_FILE = 256;
constexpr LONG TYMED_MULTIPAGE_CALLBACK = 512;

constexpr LONG WIA_INTENT_NONE = 0;

// Error results.
constexpr HRESULT WIA_ERROR_GENERAL_ERROR = (HRESULT)0x80210001;
constexpr HRESULT WIA_ERROR_PAPER_JAM = (HRESULT)0x80210002;
constexpr HRESULT WIA_ERROR_PAPER_EMPTY = (HRESULT)0x80210003;
constexpr HRESULT WIA_ERROR_PAPER_PROBLEM = (HRESULT)0x80210004;
constexpr HRESULT WIA_ERROR_OFFLINE = (HRESULT)0x80210005;
constexpr HRESULT WIA_ERROR_BUSY = (HRESULT)0x80210006;
constexpr HRESULT WIA_ERROR_WARMING_UP = (HRESULT)0x80210007;
constexpr HRESULT WIA_ERROR_USER_INTERVENTION = (HRESULT)0x80210008;
constexpr HRESULT WIA_ERROR_ITEM_DELETED = (HRESULT)0x80210009;
constexpr HRESULT WIA_ERROR_DEVICE_COMMUNICATION = (HRESULT)0x8021000A;
constexpr HRESULT WIA_ERROR_INVALID_COMMAND = (HRESULT)0x8021000B;
constexpr HRESULT WIA_ERROR_INCORRECT_HARDWARE_SETTING = (HRESULT)0x8021000C;
constexpr HRESULT WIA_ERROR_DEVICE_LOCKED = (HRESULT)0x8021000D;
constexpr HRESULT WIA_ERROR_EXCEPTION_IN_DRIVER = (HRESULT)0x8021000E;
constexpr HRESULT WIA_ERROR_INVALID_DRIVER_RESPONSE = (HRESULT)0x8021000F;
constexpr HRESULT WIA_S_NO_DEVICE_AVAILABLE = (HRESULT)0x80210015;

// Valid-value vector layouts.
constexpr int WIA_RANGE_MIN = 0, WIA_RANGE_NOM = 1, WIA_RANGE_MAX = 2, WIA_RANGE_STEP = 3;
constexpr int WIA_LIST_COUNT = 0, WIA_LIST_NOM = 1, WIA_LIST_VALUES = 2;
constexpr int WIA_FLAG_NOM = 0, WIA_FLAG_VALUES = 1;

}  // namespace wia

// Types that appear in the interfaces but are not used by the library.
struct IEnumWIA_DEV_CAPS;
struct IEnumWIA_FORMAT_INFO;
struct IWiaPreview;
struct WIA_FORMAT_INFO;
struct WIA_DATA_TRANSFER_INFO;
struct WIA_EXTENDED_TRANSFER_INFO;
typedef WIA_DATA_TRANSFER_INFO* PWIA_DATA_TRANSFER_INFO;
typedef WIA_EXTENDED_TRANSFER_INFO* PWIA_EXTENDED_TRANSFER_INFO;

struct WiaTransferParams {
    LONG lMessage;
    LONG lPercentComplete;
    ULONG64 ulTransferredBytes;
    HRESULT hrErrorStatus;
};

struct IWiaEventCallback;
struct IWiaItem;
struct IWiaItem2;
struct IEnumWiaItem;
struct IEnumWiaItem2;
struct IWiaTransferCallback;
struct IWiaDataCallback;

struct IWiaPropertyStorage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                                    const PROPVARIANT rgpropvar[], PROPID propidNameFirst) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMultiple(ULONG cpspec, const PROPSPEC rgpspec[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG cpropid, const PROPID rgpropid[],
                                                        LPOLESTR rglpwstrName[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG cpropid, const PROPID rgpropid[],
                                                         const LPOLESTR rglpwstrName[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG cpropid, const PROPID rgpropid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE Enum(IEnumSTATPROPSTG** ppenum) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME* pctime, const FILETIME* patime,
                                               const FILETIME* pmtime) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATPROPSETSTG* pstatpsstg) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG cpspec, PROPSPEC rgpspec[], ULONG rgflags[],
                                                            PROPVARIANT rgpropvar[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pulNumProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyStream(GUID* pCompatibilityId, IStream** ppIStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropertyStream(GUID* pCompatibilityId, IStream* pIStream) = 0;
};

struct IEnumWIA_DEV_INFO : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWiaPropertyStorage** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWIA_DEV_INFO** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* celt) = 0;
};

struct IWiaEventCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ImageEventCallback(const GUID* pEventGUID, BSTR bstrEventDescription,
                                                         BSTR bstrDeviceID, BSTR bstrDeviceDescription,
                                                         DWORD dwDeviceType, BSTR bstrFullItemName,
                                                         ULONG* pulEventType, ULONG ulReserved) = 0;
};

// WIA 1.0.

struct IWiaDevMgr : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlag, IEnumWIA_DEV_INFO** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(BSTR bstrDeviceID, IWiaItem** ppWiaItemRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                      BSTR* pbstrDeviceID, IWiaItem** ppItemRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                        BSTR* pbstrDeviceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageDlg(HWND hwndParent, LONG lDeviceType, LONG lFlags, LONG lIntent,
                                                  IWiaItem* pItemRoot, BSTR bstrFilename, GUID* pguidFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG lFlags, BSTR bstrDeviceID,
                                                                   const GUID* pEventGUID, BSTR bstrCommandline,
                                                                   BSTR bstrName, BSTR bstrDescription,
                                                                   BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID,
                                                                     const GUID* pEventGUID,
                                                                     IWiaEventCallback* pIWiaEventCallback,
                                                                     IUnknown** pEventObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID,
                                                                 const GUID* pEventGUID, const GUID* pClsID,
                                                                 BSTR bstrName, BSTR bstrDescription,
                                                                 BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND hwndParent, LONG lFlags) = 0;
};

struct IWiaItem : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetItemType(LONG* pItemType) = 0;
    virtual HRESULT STDMETHODCALLTYPE AnalyzeItem(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumChildItems(IEnumWiaItem** ppIEnumWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                                      IWiaItem** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID,
                                                            IEnumWIA_DEV_CAPS** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName, IWiaItem** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceDlg(HWND hwndParent, LONG lFlags, LONG lIntent, LONG* plItemCount,
                                                IWiaItem*** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID, IWiaItem** pIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags, IEnumWIA_DEV_CAPS** ppIEnumWIA_DEV_CAPS) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpDrvItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpTreeItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE* pBuffer) = 0;
};

struct IEnumWiaItem : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWiaItem** ppIWiaItem, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWiaItem** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* celt) = 0;
};

struct IWiaDataCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete,
                                                         LONG lOffset, LONG lLength, LONG lReserved,
                                                         LONG lResLength, BYTE* pbBuffer) = 0;
};

struct IWiaDataTransfer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE idtGetData(LPSTGMEDIUM pMedium, IWiaDataCallback* pIWiaDataCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtGetBandedData(PWIA_DATA_TRANSFER_INFO pWiaDataTransInfo,
                                                       IWiaDataCallback* pIWiaDataCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtQueryGetData(WIA_FORMAT_INFO* pfe) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtEnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtGetExtendedTransferInfo(PWIA_EXTENDED_TRANSFER_INFO pExtendedTransferInfo) = 0;
};

// WIA 2.0.

struct IWiaDevMgr2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlags, IEnumWIA_DEV_INFO** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(LONG lFlags, BSTR bstrDeviceID, IWiaItem2** ppWiaItem2Root) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                      BSTR* pbstrDeviceID, IWiaItem2** ppItemRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                        BSTR* pbstrDeviceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID,
                                                                     const GUID* pEventGUID,
                                                                     IWiaEventCallback* pIWiaEventCallback,
                                                                     IUnknown** pEventObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG lFlags, BSTR bstrDeviceID,
                                                                   const GUID* pEventGUID, BSTR bstrFullAppName,
                                                                   BSTR bstrCommandLineArg, BSTR bstrName,
                                                                   BSTR bstrDescription, BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID,
                                                                 const GUID* pEventGUID, const GUID* pClsID,
                                                                 BSTR bstrName, BSTR bstrDescription,
                                                                 BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageDlg(LONG lFlags, BSTR bstrDeviceID, HWND hwndParent,
                                                  BSTR bstrFolderName, BSTR bstrFilename, LONG* plNumFiles,
                                                  BSTR** ppbstrFilePaths, IWiaItem2** ppItem) = 0;
};

struct IWiaItem2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lItemFlags, LONG lCreationFlags, BSTR bstrItemName,
                                                      IWiaItem2** ppIWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumChildItems(const GUID* pCategoryGUID, IEnumWiaItem2** ppIEnumWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName, IWiaItem2** ppIWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemCategory(GUID* pItemCategoryGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemType(LONG* pItemType) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceDlg(LONG lFlags, HWND hwndParent, BSTR bstrFolderName, BSTR bstrFilename,
                                                LONG* plNumFiles, BSTR** ppbstrFilePaths, IWiaItem2** ppItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID, IWiaItem2** ppIWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags,
                                                             IEnumWIA_DEV_CAPS** ppIEnumWIA_DEV_CAPS) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckExtension(LONG lFlags, BSTR bstrName, REFIID riidExtensionInterface,
                                                     BOOL* pbExtensionExists) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtension(LONG lFlags, BSTR bstrName, REFIID riidExtensionInterface,
                                                   void** ppOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParentItem(IWiaItem2** ppIWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem2** ppIWiaItem2) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreviewComponent(LONG lFlags, IWiaPreview** ppWiaPreview) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID,
                                                            IEnumWIA_DEV_CAPS** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE* pBuffer) = 0;
};

struct IEnumWiaItem2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cElt, IWiaItem2** ppIWiaItem2, ULONG* pcEltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cElt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWiaItem2** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* cElt) = 0;
};

struct IWiaTransferCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE TransferCallback(LONG lFlags, WiaTransferParams* pWiaTransferParams) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextStream(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                                    IStream** ppDestination) = 0;
};

struct IWiaTransfer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Download(LONG lFlags, IWiaTransferCallback* pIWiaTransferCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE Upload(LONG lFlags, IStream* pSource, IWiaTransferCallback* pIWiaTransferCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** ppEnum) = 0;
};
