// Property access of the library: typed reads and writes of one property, the
// capabilities of a property, item categories, and the property dumps.
#pragma once

#include <string>
#include <vector>

#include "wia_platform.h"

namespace talvek {

// One property, one value type. Never raise; every failure is logged at error
// level and returned as a COM result.
HRESULT ReadPropertyBSTR(IWiaPropertyStorage* storage, PROPID id, BSTR* value);
HRESULT ReadPropertyLong(IWiaPropertyStorage* storage, PROPID id, LONG* value);
HRESULT ReadPropertyGuid(IUnknown* item, PROPID id, GUID* value);
HRESULT WritePropertyLong(IWiaPropertyStorage* storage, PROPID id, LONG value);
HRESULT WritePropertyGuid(IWiaPropertyStorage* storage, PROPID id, const GUID* value);

// Access flags and valid values of one property, as WIA answers them.
HRESULT ReadPropertyAttributes(IWiaPropertyStorage* storage, PROPID id, ULONG* flags, PROPVARIANT* validValues);

// What Java learns of a property's capabilities: the attribute word and the
// valid values in WIA's vector layout (range, list or flag set).
struct Capabilities {
    ULONG flags = 0;
    std::vector<LONG> values;
};
// Fills `caps` for the property; after a failed query the caller's preset
// flags stay and there are no values.
void ReadPropertyCapabilities(JNIEnv* env, IWiaPropertyStorage* storage, PROPID id, Capabilities* caps);

// Text naming a property in log lines.
struct PropertyName {
    char text[48];
};
PropertyName PropertyIdName(PROPID id);

// 0 to 9 for the WIA 2.0 item categories; 0 for any other GUID.
int32_t ItemCategoryIndex(const GUID& category);

// Short name of a variant type for the dump lines.
const char* VarTypeName(VARTYPE vt);

// Logs every property of the storage when the verbose switch is on.
void Dump(JNIEnv* env, IWiaPropertyStorage* storage);

// The properties of an item in enumeration order, for describing it to Java.
struct PropertyTable {
    struct Entry {
        PROPID id = 0;
        std::basic_string<OLECHAR> name;  // empty when the property has none
        bool isLong = false;  // the current value was read and is a VT_I4
        LONG longValue = 0;
    };
    ULONG capacity = 0;
    std::vector<Entry> entries;
};
// Walks every property of the storage (its lines only with the verbose switch on).
PropertyTable DeviceDump(JNIEnv* env, IWiaPropertyStorage* storage);

}  // namespace talvek
