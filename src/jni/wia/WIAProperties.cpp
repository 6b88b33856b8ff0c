// Property access, capabilities, item categories and the property dumps
// (module WIAUtils, and the item walk of WIADevice).
#include "WIAProperties.h"

#include <cstring>

#include "ComOwners.h"
#include "WIAManager.h"
#include "WIAUtils.h"

namespace talvek {
namespace {

// Reads one property by ID into `value`; the result of ReadMultiple.
HRESULT ReadOne(IWiaPropertyStorage* storage, PROPID id, PROPVARIANT* value) {
    PROPSPEC spec = PropSpecById(id);
    return storage->ReadMultiple(1, &spec, value);
}

HRESULT WriteOne(IWiaPropertyStorage* storage, PROPID id, const PROPVARIANT* value) {
    PROPSPEC spec = PropSpecById(id);
    return storage->WriteMultiple(1, &spec, value, wia::WIA_IPA_FIRST);
}

struct CategoryRow {
    const GUID* guid;
    int32_t index;
};

const CategoryRow kCategories[] = {
    {&wia::WIA_CATEGORY_FINISHED_FILE, 1}, {&wia::WIA_CATEGORY_FLATBED, 2},
    {&wia::WIA_CATEGORY_FEEDER, 3},        {&wia::WIA_CATEGORY_FILM, 4},
    {&wia::WIA_CATEGORY_ROOT, 5},          {&wia::WIA_CATEGORY_FOLDER, 6},
    {&wia::WIA_CATEGORY_FEEDER_FRONT, 7},  {&wia::WIA_CATEGORY_FEEDER_BACK, 8},
    {&wia::WIA_CATEGORY_AUTO, 9},
};

struct NamedProperty {
    PROPID id;
    const char* text;
};

const NamedProperty kPropertyNames[] = {
    {4103, "WIA_IPA_DATATYPE (4103)"},
    {4104, "WIA_IPA_DEPTH (4104)"},
    {6147, "WIA_IPS_XRES (6147)"},
    {6148, "WIA_IPS_YRES (6148)"},
};

struct VarTypeRow {
    VARTYPE vt;
    const char* name;
};

const VarTypeRow kVarTypeNames[] = {
    {0, "EMPTY"},     {1, "NULL"},         {2, "I2"},           {3, "I4"},
    {4, "R4"},        {5, "R8"},           {6, "CY"},           {7, "DATE"},
    {8, "BSTR"},      {9, "DISPATCH"},     {10, "ERROR"},       {11, "BOOL"},
    {12, "VARIANT"},  {13, "UNKNOWN"},     {14, "DECIMAL"},     {16, "I1"},
    {17, "UI1"},      {18, "UI2"},         {19, "UI4"},         {20, "I8"},
    {21, "UI8"},      {22, "INT"},         {23, "UINT"},        {24, "VOID"},
    {25, "HRESULT"},  {26, "PTR"},         {27, "SAFEARRAY"},   {28, "CARRAY"},
    {29, "USERDEFINED"}, {30, "LPSTR"},    {31, "LPWSTR"},      {64, "FILETIME"},
    {65, "BLOB"},     {66, "STREAM"},      {67, "STORAGE"},     {68, "STREAMED_OBJECT"},
    {69, "STORED_OBJECT"}, {70, "BLOB_OBJECT"}, {71, "CF"},     {72, "CLSID"},
};

// One enumerated property: its ID and name, the name freed with CoTaskMemFree.
class EnumeratedProperty {
public:
    EnumeratedProperty() { std::memset(&stat_, 0, sizeof stat_); }
    ~EnumeratedProperty() { CoTaskMemFree(stat_.lpwstrName); }
    EnumeratedProperty(const EnumeratedProperty&) = delete;
    EnumeratedProperty& operator=(const EnumeratedProperty&) = delete;
    STATPROPSTG* Get() { return &stat_; }
    PROPID Id() const { return stat_.propid; }
    const OLECHAR* Name() const { return stat_.lpwstrName; }

private:
    STATPROPSTG stat_;
};

// Writes the dump line of one property whose value `read` and `value` give.
void DumpLine(JNIEnv* env, PROPID id, const OLECHAR* name, HRESULT read, const PROPVARIANT& value) {
    if (read != S_OK) {
        LogVerbose(env, "  %d - %ws - ERROR", id, name);
    } else if (value.vt == VT_BSTR) {
        LogVerbose(env, "  %d - %ws - \"%ws\"", id, name, value.bstrVal);
    } else if (value.vt == VT_I4) {
        LogVerbose(env, "  %d - %ws - 0x%lx (%ld)", id, name, value.lVal, value.lVal);
    } else {
        LogVerbose(env, "  %d - %ws - <%s>", id, name, VarTypeName(value.vt));
    }
}

}  // namespace

HRESULT ReadPropertyBSTR(IWiaPropertyStorage* storage, PROPID id, BSTR* value) {
    if (storage == nullptr || value == nullptr) {
        LogError("Invalid arguments passed to ReadPropertyBSTR()");
        return E_INVALIDARG;
    }
    *value = nullptr;
    PropVariantOwner v;
    HRESULT hr = ReadOne(storage, id, v.Get());
    if (hr != S_OK) {
        LogError("Error calling propertyStorage->ReadMultiple() in ReadPropertyBSTR()");
    } else if (v->vt == VT_BSTR) {
        *value = SysAllocString(v->bstrVal);
        if (*value == nullptr) {
            hr = E_OUTOFMEMORY;
            LogError("Failed to allocate memory for BSTR in function ReadPropertyBSTR()");
        }
    } else {
        LogError("Trying to read a property which doesn't return a BSTR");
    }
    return hr;
}

HRESULT ReadPropertyLong(IWiaPropertyStorage* storage, PROPID id, LONG* value) {
    if (storage == nullptr || value == nullptr) {
        LogError("Invalid arguments passed to ReadPropertyLong()");
        return E_INVALIDARG;
    }
    *value = 0;
    PropVariantOwner v;
    HRESULT hr = ReadOne(storage, id, v.Get());
    if (hr != S_OK) {
        LogError("Error calling propertyStorage->ReadMultiple() in ReadPropertyLong()");
    } else if (v->vt == VT_I4) {
        *value = v->lVal;
    } else {
        LogError("Trying to read a property which doesn't return LONG");
    }
    return hr;
}

HRESULT ReadPropertyGuid(IUnknown* item, PROPID id, GUID* value) {
    // Without an output location there is nowhere to put the answer either.
    if (item == nullptr || value == nullptr) {
        LogError("Invalid argument passed to ReadPropertyGuid()");
        return E_INVALIDARG;
    }
    *value = GUID_NULL;
    ComPtr<IWiaPropertyStorage> storage;
    HRESULT hr = item->QueryInterface(wia::IID_IWiaPropertyStorage, storage.PutVoid());
    if (hr < 0) {
        LogError("wiaItem->QueryInterface failed on IID_IWiaPropertyStorage");
        return hr;
    }
    PropVariantOwner v;
    hr = ReadOne(storage.Get(), id, v.Get());
    if (hr != S_OK) {
        LogError("Error calling propertyStorage->ReadMultiple() in ReadPropertyGuid()");
    } else if (v->vt == VT_CLSID && v->puuid != nullptr) {
        *value = *v->puuid;
    } else {
        LogError("Trying to read a property which doesn't return a Guid");
    }
    return hr;
}

HRESULT WritePropertyLong(IWiaPropertyStorage* storage, PROPID id, LONG value) {
    if (storage == nullptr) {
        LogError("Invalid argument passed to WritePropertyLong()");
        return E_INVALIDARG;
    }
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    HRESULT hr = WriteOne(storage, id, &v);
    if (hr < 0) LogError("propertyStorage->WriteMultiple() failed [%x] in WritePropertyLong()", hr);
    return hr;
}

HRESULT WritePropertyGuid(IWiaPropertyStorage* storage, PROPID id, const GUID* value) {
    if (storage == nullptr || value == nullptr) {
        LogError("Invalid argument passed to WritePropertyGuid()");
        return E_INVALIDARG;
    }
    GUID copy = *value;
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_CLSID;
    v.puuid = &copy;  // points at the caller's value for the call only; not cleared
    HRESULT hr = WriteOne(storage, id, &v);
    if (hr < 0) LogError("propertyStorage->WriteMultiple() failed [%x] in WritePropertyGuid()", hr);
    return hr;
}

HRESULT ReadPropertyAttributes(IWiaPropertyStorage* storage, PROPID id, ULONG* flags, PROPVARIANT* validValues) {
    PROPSPEC spec = PropSpecById(id);
    return storage->GetPropertyAttributes(1, &spec, flags, validValues);
}

void ReadPropertyCapabilities(JNIEnv* env, IWiaPropertyStorage* storage, PROPID id, Capabilities* caps) {
    PropVariantOwner valid;
    PropertyName name = PropertyIdName(id);
    caps->values.clear();
    ULONG flags = 0;
    HRESULT hr = ReadPropertyAttributes(storage, id, &flags, valid.Get());
    if (hr == S_OK) {
        uint32_t first32;
        std::memcpy(&first32, &valid->cal, sizeof first32);  // the element count of a vector
        LogVerbose(env, "Property %s found flag=%x type=%x n=%d", name.text, flags, valid->vt, first32);
        caps->flags = flags;
        const bool valueBits = (flags & (wia::WIA_PROP_LIST | wia::WIA_PROP_RANGE | wia::WIA_PROP_FLAG)) != 0;
        const bool intVector = valid->vt == (VT_VECTOR | VT_I4) || valid->vt == (VT_VECTOR | VT_UI4);
        if (valueBits && intVector && valid->cal.cElems > 0 && valid->cal.pElems != nullptr) {
            caps->values.assign(valid->cal.pElems, valid->cal.pElems + valid->cal.cElems);
            for (LONG element : caps->values) LogVerbose(env, "%d", element);
        }
    } else if (hr == S_FALSE) {
        LogWarning("Property %s not found", name.text);
    } else {
        LogError("Property %s attribute returned error %x", name.text, hr);
    }
}

PropertyName PropertyIdName(PROPID id) {
    PropertyName name;
    for (const NamedProperty& row : kPropertyNames) {
        if (row.id == id) {
            Format(name.text, sizeof name.text, "%s", row.text);
            return name;
        }
    }
    Format(name.text, sizeof name.text, "(%d)", id);
    return name;
}

int32_t ItemCategoryIndex(const GUID& category) {
    for (const CategoryRow& row : kCategories) {
        if (IsEqualGUID(category, *row.guid)) return row.index;
    }
    return 0;
}

const char* VarTypeName(VARTYPE vt) {
    for (const VarTypeRow& row : kVarTypeNames) {
        if (row.vt == vt) return row.name;
    }
    return "unknown";
}

void Dump(JNIEnv* env, IWiaPropertyStorage* storage) {
    if (!Verbose()) return;
    LogTrace(env, "-> ox.orvel.talvek.wia.WIAUtils.Dump()");
    ComPtr<IEnumSTATPROPSTG> properties;
    HRESULT hr = storage->Enum(properties.Put());
    if (hr == S_OK && properties) {
        for (;;) {
            EnumeratedProperty p;
            if (properties->Next(1, p.Get(), nullptr) != S_OK) break;
            PropVariantOwner value;
            HRESULT read = ReadOne(storage, p.Id(), value.Get());
            DumpLine(env, p.Id(), p.Name(), read, *value.Get());
        }
    } else {
        LogWarning("Property enumeration failed [%x]", hr);
    }
    properties.Reset();
    LogTrace(env, "<- ox.orvel.talvek.wia.WIAUtils.Dump()");
}

PropertyTable DeviceDump(JNIEnv* env, IWiaPropertyStorage* storage) {
    LogVerbose(env, "-> ox.orvel.talvek.wia.WIADevice.Dump()");
    PropertyTable table;
    ULONG count = 0;
    HRESULT hr = storage->GetCount(&count);
    if (hr != S_OK) {
        LogWarning("Property count not retrieved HRESULT: %x", hr);
        table.capacity = 1024;
    } else {
        table.capacity = count;
    }
    // Reserve at most what a sane storage has; a lying count costs nothing.
    table.entries.reserve(table.capacity < 1024 ? table.capacity : 1024);

    ComPtr<IEnumSTATPROPSTG> properties;
    hr = storage->Enum(properties.Put());
    if (hr == S_OK && properties) {
        while (table.entries.size() < table.capacity) {
            EnumeratedProperty p;
            if (properties->Next(1, p.Get(), nullptr) != S_OK) break;
            PropertyTable::Entry entry;
            entry.id = p.Id();
            if (p.Name() != nullptr) entry.name = p.Name();
            PropVariantOwner value;
            HRESULT read = ReadOne(storage, p.Id(), value.Get());
            DumpLine(env, p.Id(), p.Name(), read, *value.Get());
            if (read == S_OK && value->vt == VT_I4) {
                entry.isLong = true;
                entry.longValue = value->lVal;
            }
            table.entries.push_back(std::move(entry));
        }
    } else {
        LogWarning("Property enumeration failed [%x]", hr);
    }
    LogVerbose(env, "<- ox.orvel.talvek.wia.WIADevice.Dump() propCount=%d ix=%d", table.capacity,
               static_cast<ULONG>(table.entries.size()));
    return table;
}

}  // namespace talvek
