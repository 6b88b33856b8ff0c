// The WIAScanner natives: opening a scanner and describing its items and
// properties to the Java object.
#include "DeviceRoot.h"
#include "Flavour.h"
#include "WIAManager.h"
#include "WIAProperties.h"
#include "WIATransfer.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

// addItemProperty for every entry of the item's property table.
void DescribeProperties(JNIEnv* env, jobject scanner, jint itemIndex, IWiaPropertyStorage* storage,
                        const PropertyTable& table) {
    for (const PropertyTable::Entry& entry : table.entries) {
        Capabilities caps;
        ReadPropertyCapabilities(env, storage, entry.id, &caps);
        const jsize count = static_cast<jsize>(caps.values.size());
        jintArray values = env->NewIntArray(count);
        CheckJava(env);
        if (count > 0) {
            env->SetIntArrayRegion(values, 0, count, reinterpret_cast<const jint*>(caps.values.data()));
        }
        jstring name = env->NewString(reinterpret_cast<const jchar*>(entry.name.c_str()),
                                      static_cast<jsize>(entry.name.size()));
        if (name != nullptr) {
            env->CallVoidMethod(scanner, g_bindings.addItemProperty, itemIndex, static_cast<jint>(entry.id), name,
                                static_cast<jboolean>(entry.isLong ? JNI_TRUE : JNI_FALSE),
                                static_cast<jint>(entry.longValue), static_cast<jint>(caps.flags), values);
        }
        // Each property's references go at once: an item with hundreds of
        // properties must not pile them up in the calling frame.
        if (name != nullptr) env->DeleteLocalRef(name);
        env->DeleteLocalRef(values);
        CheckJava(env);
    }
}

// addItem and the properties of one child item.
void DescribeItem(JNIEnv* env, jobject scanner, jint itemIndex, WiaItemT* child) {
    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(child->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));
    PropertyTable table = DeviceDump(env, storage.Get());

    BstrOwner name;
    ReadPropertyBSTR(storage.Get(), wia::WIA_IPA_ITEM_NAME, name.Put());
    jint category = 0;
#if defined(TALVEK_WIA2)
    GUID categoryGuid = GUID_NULL;
    ReadPropertyGuid(child, wia::WIA_IPA_ITEM_CATEGORY, &categoryGuid);
    category = ItemCategoryIndex(categoryGuid);
#endif
    jstring jname = BstrToJavaString(env, name.Get());
    CheckJava(env);
    env->CallVoidMethod(scanner, g_bindings.addItem, jname, category);
    env->DeleteLocalRef(jname);
    CheckJava(env);

    DescribeProperties(env, scanner, itemIndex, storage.Get(), table);
}

jlong Open(JNIEnv* env, jobject scanner, jstring deviceId) {
    BstrOwner id(JavaStringToBstr(env, deviceId));
    LogTrace(env, "-> " TALVEK_FLAVOUR_TAG "ox.orvel.talvek.wia.WIAScanner._initialize(\"%ws\")", id.Get());

    ComPtr<WiaItemT> root;
    DWORD cookie = 0;
    TALVEK_CHECK(OpenDeviceRoot(id.Get(), &root, &cookie));
    RootRegistration registration(cookie);

    {
        ComPtr<IWiaPropertyStorage> rootStorage;
        TALVEK_CHECK(root->QueryInterface(wia::IID_IWiaPropertyStorage, rootStorage.PutVoid()));
        Dump(env, rootStorage.Get());
        LONG capabilities = 0;
        if (ReadPropertyLong(rootStorage.Get(), wia::WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, &capabilities) == S_OK) {
            env->SetIntField(scanner, g_bindings.handlingCapab, capabilities);
        }
    }

    ComPtr<EnumItemT> children;
    if (EnumChildren(root.Get(), children.Put()) >= 0 && children) {
        jint itemIndex = 0;
        for (;;) {
            ComPtr<WiaItemT> child;
            if (children->Next(1, child.Put(), nullptr) != S_OK) break;
            DescribeItem(env, scanner, itemIndex, child.Get());
            ++itemIndex;
        }
    }
    children.Reset();

    registration.Keep();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._initialize() -> %d", cookie);
    return CookieToHandle(cookie);
}

// Where each requested property's value comes from: a field of the Java
// scanner, or the image kind that `bitDepth` carries in its sign.
enum class Source { kBitDepthDataType, kBitDepthDepth, kField };

struct WriteRule {
    PROPID id;
    Source source;
    jfieldID BindingCache::*field;
};

const WriteRule kWriteRules[] = {
    {wia::WIA_IPA_DATATYPE, Source::kBitDepthDataType, nullptr},
    {wia::WIA_IPA_DEPTH, Source::kBitDepthDepth, nullptr},
    {wia::WIA_IPS_XRES, Source::kField, &BindingCache::resolution},
    {wia::WIA_IPS_YRES, Source::kField, &BindingCache::resolution},
    {wia::WIA_IPS_XPOS, Source::kField, &BindingCache::x},
    {wia::WIA_IPS_YPOS, Source::kField, &BindingCache::y},
    {wia::WIA_IPS_XEXTENT, Source::kField, &BindingCache::width},
    {wia::WIA_IPS_YEXTENT, Source::kField, &BindingCache::height},
    {wia::WIA_IPS_BRIGHTNESS, Source::kField, &BindingCache::brightness},
    {wia::WIA_IPS_CONTRAST, Source::kField, &BindingCache::contrast},
};

struct BitDepthRow {
    jint bitDepth;
    LONG dataType;
    LONG depth;
};

// 1 or -1 black and white, 8 or 16 colour, -8 or -16 grey.
const BitDepthRow kBitDepths[] = {
    {1, wia::WIA_DATA_THRESHOLD, 1},  {-1, wia::WIA_DATA_THRESHOLD, 1}, {8, wia::WIA_DATA_COLOR, 24},
    {16, wia::WIA_DATA_COLOR, 48},    {-8, wia::WIA_DATA_GRAYSCALE, 8}, {-16, wia::WIA_DATA_GRAYSCALE, 16},
};

// The value of one requested property; 0 for an ID that no rule covers.
LONG RequestedValue(JNIEnv* env, jobject scanner, PROPID id, jint bitDepth) {
    for (const WriteRule& rule : kWriteRules) {
        if (rule.id != id) continue;
        if (rule.source == Source::kField) return env->GetIntField(scanner, g_bindings.*rule.field);
        for (const BitDepthRow& row : kBitDepths) {
            if (row.bitDepth == bitDepth) return rule.source == Source::kBitDepthDataType ? row.dataType : row.depth;
        }
        return 0;
    }
    return 0;
}

// The property write list from the Java array of IDs (null: empty).
void BuildWriteList(JNIEnv* env, jobject scanner, jintArray ids, jint bitDepth, PropertyWriteList* list) {
    list->count = 0;
    if (ids == nullptr) return;
    jsize n = env->GetArrayLength(ids);
    if (n > static_cast<jsize>(PropertyWriteList::kMax)) {
        LogWarning("Property count %d exceeded limit 32 truncated!", n);
        n = PropertyWriteList::kMax;
    }
    jint* elements = env->GetIntArrayElements(ids, nullptr);
    if (elements == nullptr) CheckJava(env);
    for (jsize i = 0; i < n; ++i) {
        PROPID id = static_cast<PROPID>(elements[i]);
        list->specs[i] = PropSpecById(id);
        PropVariantInit(&list->values[i]);
        list->values[i].vt = VT_I4;
        list->values[i].lVal = RequestedValue(env, scanner, id, bitDepth);
    }
    env->ReleaseIntArrayElements(ids, elements, JNI_ABORT);
    list->count = static_cast<ULONG>(n);
}

// The children fetched by one Next call; those not handed on are released.
struct FetchedChildren {
    WiaItemT* items[10] = {};
    ULONG fetched = 0;
    ~FetchedChildren() {
        for (ULONG i = 0; i < fetched && i < 10; ++i) {
            if (items[i] != nullptr) items[i]->Release();
        }
    }
    WiaItemT* Take(ULONG i) {
        WiaItemT* item = items[i];
        items[i] = nullptr;
        return item;
    }
};

#if defined(TALVEK_WIA1)

// Sets the root's document handling for the document source choice.
void SelectDocumentSource(JNIEnv* env, WiaItemT* root, jint choice, jint duplex) {
    ComPtr<IWiaPropertyStorage> storage;
    TALVEK_CHECK(root->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid()));
    LONG wanted = 0;
    if (choice == 2) {
        wanted = wia::FLATBED;
    } else if (choice == 1) {
        wanted = duplex != 0 ? (wia::FEEDER | wia::DUPLEX) : wia::FEEDER;
    }
    LONG current = 0;
    if (ReadPropertyLong(storage.Get(), wia::WIA_DPS_DOCUMENT_HANDLING_SELECT, &current) == S_OK) {
        LogTrace(env, "compare handling select %x & %x", current, wanted);
        // A setting that already shares a bit with the wanted one is left alone.
        if ((current & wanted) == 0) WritePropertyLong(storage.Get(), wia::WIA_DPS_DOCUMENT_HANDLING_SELECT, wanted);
    }
}

#endif

void Transfer(JNIEnv* env, jobject scanner, jlong handle, jboolean dialog, jint functionalUnit, jboolean progress,
              jintArray propertyIds) {
    const DWORD cookie = HandleCookie(handle);
#if defined(TALVEK_WIA2)
    LogTrace(env, "-> (WIA2) ox.orvel.talvek.wia.WIAScanner._transfer(%d, %s, %d, %s)", cookie,
             dialog ? "true" : "false", functionalUnit, progress ? "true" : "false");
    const jint position = functionalUnit;
#else
    LogTrace(env, "-> (WIA1) ox.orvel.talvek.wia.WIAScanner._transfer(%d, %s, %d)", cookie,
             dialog ? "true" : "false", functionalUnit);
    // In WIA 1.0 the first child is scanned; the index chooses the document source.
    const jint position = 0;
#endif
    if (position < 0 || position > 9) TALVEK_RAISE(kInvalidFunctionalUnit);
    EnterApartment();

    ComPtr<WiaItemT> root;
    TALVEK_CHECK(Git()->GetInterfaceFromGlobal(cookie, kIidItem, root.PutVoid()));

    if (dialog) {
#if defined(TALVEK_WIA2)
        if (DeviceDialog2(env, scanner, root.Get(), true) != S_OK) {
            FireTransferFailed(env, scanner, 1, "Image transfer canceled by the user");
        }
#else
        DialogSelection selection;
        HRESULT result = selection.Run(root.Get());
        LogTrace(env, "after dialog result=%x, page count=%d", result, selection.Count());
        if (result == S_OK && selection.Count() > 0) {
            ScanItem(env, scanner, selection.Take(0), 0, nullptr, nullptr, progress != JNI_FALSE);
        } else {
            FireTransferFailed(env, scanner, 1, "Image transfer canceled by the user");
        }
#endif
        LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._transfer()");
        return;
    }

    ComPtr<EnumItemT> children;
    HRESULT hr = EnumChildren(root.Get(), children.Put());
    if (hr != S_OK || !children) {
        children.Reset();
        LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._transfer()");
        return;
    }
    FetchedChildren fetched;
    hr = children->Next(10, fetched.items, &fetched.fetched);
    if (fetched.fetched > 10) fetched.fetched = 10;
    if (static_cast<ULONG>(position) >= fetched.fetched) {
        children.Reset();
        TALVEK_RAISE(kInvalidFunctionalUnit);
    }
    if (hr < 0) {
        children.Reset();
        LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._transfer()");
        return;
    }

    const jint duplex = env->GetIntField(scanner, g_bindings.duplex);
    env->GetIntField(scanner, g_bindings.resolution);
    const jint bitDepth = env->GetIntField(scanner, g_bindings.bitDepth);
    PropertyWriteList list;
    BuildWriteList(env, scanner, propertyIds, bitDepth, &list);
    for (ULONG i = 0; i < list.count; ++i) {
        LogVerbose(env, "%d prop %d-> %d", i, list.specs[i].propid, list.values[i].lVal);
    }

#if defined(TALVEK_WIA2)
    ScanItem2(env, scanner, fetched.Take(static_cast<ULONG>(position)), list.count, list.specs, list.values, 0,
              progress != JNI_FALSE, duplex);
#else
    if (functionalUnit != 0) SelectDocumentSource(env, root.Get(), functionalUnit, duplex);
    ScanItem(env, scanner, fetched.Take(0), list.count, list.specs, list.values, progress != JNI_FALSE);
#endif
    children.Reset();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAScanner._transfer()");
}

void CancelTransfer(JNIEnv* env, jlong handle) {
    LogTrace(env, "-> ox.orvel.talvek.wia.WIAScanner._cancelTransfer(%d)", HandleCookie(handle));
    CancelCurrentTransfer();
}

}  // namespace
}  // namespace talvek

using namespace talvek;

extern "C" {

JNIEXPORT jlong JNICALL Java_ox_orvel_talvek_wia_WIAScanner__1initialize(JNIEnv* env, jobject self,
                                                                         jstring deviceId) {
    return GuardNative(env, jlong{0}, [&] { return Open(env, self, deviceId); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIAScanner__1transfer(JNIEnv* env, jobject self, jlong handle,
                                                                      jboolean dialog, jint functionalUnit,
                                                                      jboolean progress, jintArray propertyIds) {
    GuardNativeVoid(env, [&] { Transfer(env, self, handle, dialog, functionalUnit, progress, propertyIds); });
}

JNIEXPORT void JNICALL Java_ox_orvel_talvek_wia_WIAScanner__1cancelTransfer(JNIEnv* env, jobject, jlong handle) {
    GuardNativeVoid(env, [&] { CancelTransfer(env, handle); });
}

}  // extern "C"
