#include "profile.h"

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "catalog.h"
#include "text.h"

namespace wiasim::profile {

extern const char* const kDefaultProfileText;  // generated from default_profile.json

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& path, const std::string& why) {
    throw std::invalid_argument("device profile: " + path + ": " + why);
}

void checkKeys(const json& obj, const std::string& path, std::initializer_list<const char*> allowed) {
    if (!obj.is_object()) fail(path, "expected an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const std::string& key = it.key();
        if (key == "comment" || (!key.empty() && key[0] == '_')) continue;
        bool known = false;
        for (const char* a : allowed) known = known || key == a;
        if (!known) fail(path, "unknown key \"" + key + "\"");
    }
}

int64_t integerOf(const json& j, const std::string& path) {
    if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
    if (j.is_number_unsigned()) return static_cast<int64_t>(j.get<uint64_t>());
    if (j.is_number_integer()) return j.get<int64_t>();
    if (j.is_string()) {
        const std::string s = j.get<std::string>();
        try {
            size_t used = 0;
            const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
            const int64_t v = hex ? static_cast<int64_t>(std::stoull(s.substr(2), &used, 16)) : std::stoll(s, &used);
            if (used == (hex ? s.size() - 2 : s.size())) return v;
        } catch (const std::exception&) {
        }
    }
    fail(path, "expected an integer, got " + j.dump());
}

double realOf(const json& j, const std::string& path) {
    if (!j.is_number()) fail(path, "expected a number, got " + j.dump());
    return j.get<double>();
}

std::string stringOf(const json& j, const std::string& path) {
    if (!j.is_string()) fail(path, "expected a string, got " + j.dump());
    return j.get<std::string>();
}

bool boolOf(const json& j, const std::string& path) {
    if (!j.is_boolean()) fail(path, "expected true or false, got " + j.dump());
    return j.get<bool>();
}

GUID guidOf(const json& j, const std::string& path) {
    const std::string s = stringOf(j, path);
    if (auto g = categoryGuid(s)) return *g;
    fail(path, "not a GUID or a known GUID name: \"" + s + "\"");
}

VARTYPE vtOf(const json& j, const std::string& path) {
    if (j.is_number_integer()) return static_cast<VARTYPE>(j.get<int64_t>());
    const std::string s = stringOf(j, path);
    if (auto vt = parseVt(s)) return *vt;
    fail(path, "unknown variant type \"" + s + "\"");
}

Variant valueOf(VARTYPE vt, const json& v, const std::string& path) {
    const VARTYPE base = vt & ~VT_VECTOR;
    if (vt & VT_VECTOR) {
        if (!v.is_array()) fail(path, "expected an array for " + vtName(vt));
        if (isIntegerVt(base)) {
            std::vector<int64_t> xs;
            for (size_t i = 0; i < v.size(); ++i) xs.push_back(integerOf(v[i], path + "[" + std::to_string(i) + "]"));
            return Variant::integers(base, xs);
        }
        if (base == VT_R4 || base == VT_R8) {
            std::vector<double> xs;
            for (size_t i = 0; i < v.size(); ++i) xs.push_back(realOf(v[i], path + "[" + std::to_string(i) + "]"));
            return Variant::reals(base, xs);
        }
        if (base == VT_CLSID) {
            std::vector<GUID> xs;
            for (size_t i = 0; i < v.size(); ++i) xs.push_back(guidOf(v[i], path + "[" + std::to_string(i) + "]"));
            return Variant::guids(xs);
        }
        if (base == VT_BSTR || base == VT_LPWSTR) {
            std::vector<std::u16string> xs;
            for (size_t i = 0; i < v.size(); ++i)
                xs.push_back(utf8ToUtf16(stringOf(v[i], path + "[" + std::to_string(i) + "]")));
            return Variant::strings(base, xs);
        }
        fail(path, "vectors of " + vtName(base) + " are not supported in profiles");
    }
    if (vt == VT_BOOL) return Variant::integer(VT_BOOL, integerOf(v, path) ? -1 : 0);
    if (isIntegerVt(vt)) return Variant::integer(vt, integerOf(v, path));
    if (vt == VT_FILETIME) return Variant::integer(VT_FILETIME, integerOf(v, path));
    switch (vt) {
        case VT_EMPTY: return Variant();
        case VT_NULL: return Variant::null();
        case VT_R4:
        case VT_R8: return Variant::real(vt, realOf(v, path));
        case VT_BSTR:
            if (v.is_null()) return Variant::nullBstr();
            return Variant::string(VT_BSTR, utf8ToUtf16(stringOf(v, path)));
        case VT_LPWSTR: return Variant::string(VT_LPWSTR, utf8ToUtf16(stringOf(v, path)));
        case VT_LPSTR: return Variant::narrow(stringOf(v, path));
        case VT_CLSID: return Variant::clsid(guidOf(v, path));
        case VT_BLOB: {
            if (!v.is_array()) fail(path, "expected an array of bytes for VT_BLOB");
            std::vector<uint8_t> bytes;
            for (size_t i = 0; i < v.size(); ++i)
                bytes.push_back(static_cast<uint8_t>(integerOf(v[i], path + "[" + std::to_string(i) + "]")));
            return Variant::blob(bytes);
        }
        default: fail(path, "values of " + vtName(vt) + " are not supported in profiles");
    }
}

// The type a value has when the profile does not name one.
VARTYPE inferVt(const json* value, const json* nominal, const PropInfo* info) {
    const json* v = value ? value : nominal;
    if (!v) return info ? info->vt : VARTYPE(VT_I4);
    if (info && info->vt == VT_CLSID && v->is_string()) return VT_CLSID;
    if (v->is_boolean()) return VT_BOOL;
    if (v->is_number_integer()) return VT_I4;
    if (v->is_number()) return VT_R8;
    if (v->is_string() || v->is_null()) return VT_BSTR;
    if (v->is_array()) {
        if (!v->empty() && (*v)[0].is_string()) return VT_VECTOR | VT_BSTR;
        return VT_VECTOR | VT_I4;
    }
    return VT_I4;
}

ULONG accessOf(const json& j, const std::string& path, bool& raw) {
    raw = false;
    if (j.is_number_integer() || (j.is_string() && j.get<std::string>().rfind("0x", 0) == 0)) {
        raw = true;
        return static_cast<ULONG>(integerOf(j, path));
    }
    if (j.is_string()) {
        const std::string s = j.get<std::string>();
        if (s == "r") return wia::WIA_PROP_READ;
        if (s == "rw") return wia::WIA_PROP_READ | wia::WIA_PROP_WRITE;
        if (s == "w") return wia::WIA_PROP_WRITE;
        fail(path, "access is \"r\", \"rw\", \"w\", a list of flag names or a number");
    }
    if (!j.is_array()) fail(path, "access is \"r\", \"rw\", \"w\", a list of flag names or a number");
    static const std::pair<const char*, ULONG> kFlags[] = {
        {"read", wia::WIA_PROP_READ},   {"write", wia::WIA_PROP_WRITE}, {"sync_required", wia::WIA_PROP_SYNC_REQUIRED},
        {"none", wia::WIA_PROP_NONE},   {"range", wia::WIA_PROP_RANGE}, {"list", wia::WIA_PROP_LIST},
        {"flag", wia::WIA_PROP_FLAG},   {"cacheable", wia::WIA_PROP_CACHEABLE}};
    ULONG flags = 0;
    raw = true;
    for (size_t i = 0; i < j.size(); ++i) {
        const std::string s = stringOf(j[i], path + "[" + std::to_string(i) + "]");
        bool found = false;
        for (const auto& f : kFlags)
            if (s == f.first) {
                flags |= f.second;
                found = true;
            }
        if (!found) fail(path, "unknown access flag \"" + s + "\"");
    }
    return flags;
}

const std::pair<const char*, HRESULT> kResults[] = {
    {"S_OK", S_OK},
    {"S_FALSE", S_FALSE},
    {"E_FAIL", E_FAIL},
    {"E_INVALIDARG", E_INVALIDARG},
    {"E_OUTOFMEMORY", E_OUTOFMEMORY},
    {"E_NOTIMPL", E_NOTIMPL},
    {"E_ACCESSDENIED", E_ACCESSDENIED},
    {"E_UNEXPECTED", E_UNEXPECTED},
    {"WIA_ERROR_GENERAL_ERROR", wia::WIA_ERROR_GENERAL_ERROR},
    {"WIA_ERROR_PAPER_JAM", wia::WIA_ERROR_PAPER_JAM},
    {"WIA_ERROR_PAPER_EMPTY", wia::WIA_ERROR_PAPER_EMPTY},
    {"WIA_ERROR_PAPER_PROBLEM", wia::WIA_ERROR_PAPER_PROBLEM},
    {"WIA_ERROR_OFFLINE", wia::WIA_ERROR_OFFLINE},
    {"WIA_ERROR_BUSY", wia::WIA_ERROR_BUSY},
    {"WIA_ERROR_WARMING_UP", wia::WIA_ERROR_WARMING_UP},
    {"WIA_ERROR_USER_INTERVENTION", wia::WIA_ERROR_USER_INTERVENTION},
    {"WIA_ERROR_ITEM_DELETED", wia::WIA_ERROR_ITEM_DELETED},
    {"WIA_ERROR_DEVICE_COMMUNICATION", wia::WIA_ERROR_DEVICE_COMMUNICATION},
    {"WIA_ERROR_INVALID_COMMAND", wia::WIA_ERROR_INVALID_COMMAND},
    {"WIA_ERROR_INCORRECT_HARDWARE_SETTING", wia::WIA_ERROR_INCORRECT_HARDWARE_SETTING},
    {"WIA_ERROR_DEVICE_LOCKED", wia::WIA_ERROR_DEVICE_LOCKED},
    {"WIA_ERROR_EXCEPTION_IN_DRIVER", wia::WIA_ERROR_EXCEPTION_IN_DRIVER},
    {"WIA_ERROR_INVALID_DRIVER_RESPONSE", wia::WIA_ERROR_INVALID_DRIVER_RESPONSE},
};

HRESULT resultOf(const json& j, const std::string& path) {
    if (j.is_string()) {
        if (auto hr = resultByName(j.get<std::string>())) return *hr;
        fail(path, "not a result: " + j.dump());
    }
    return static_cast<HRESULT>(static_cast<uint32_t>(integerOf(j, path)));
}

int positiveOf(const json& j, const std::string& path, int64_t min) {
    const int64_t v = integerOf(j, path);
    if (v < min || v > 1000000000) fail(path, "expected an integer of at least " + std::to_string(min));
    return static_cast<int>(v);
}

TransferDef parseTransfer(const json& j, const std::string& path) {
    checkKeys(j, path, {"pages", "end", "jamAt", "failAt", "emptyStream", "progress", "bands", "bandBytes",
                        "bandDelayMs", "itemName", "newPage", "noStream", "dataOffset", "answer", "picture"});
    TransferDef t;
    if (j.contains("pages")) t.sheets = positiveOf(j["pages"], path + ".pages", 0);
    if (j.contains("end")) {
        const json& e = j["end"];
        if (e.is_string() && e.get<std::string>() == "ok") t.end = S_OK;
        else if (e.is_string() && e.get<std::string>() == "paper_empty") t.end = wia::WIA_ERROR_PAPER_EMPTY;
        else t.end = resultOf(e, path + ".end");
    }
    if (j.contains("jamAt")) t.jamAt = positiveOf(j["jamAt"], path + ".jamAt", 1);
    if (j.contains("failAt")) {
        const json& f = j["failAt"];
        const std::string fpath = path + ".failAt";
        checkKeys(f, fpath, {"file", "band", "result"});
        t.failFile = f.contains("file") ? positiveOf(f["file"], fpath + ".file", 1) : 1;
        if (f.contains("band")) t.failBand = positiveOf(f["band"], fpath + ".band", 0);
        if (f.contains("result")) t.failResult = resultOf(f["result"], fpath + ".result");
    }
    if (j.contains("emptyStream")) {
        const json& e = j["emptyStream"];
        if (e.is_boolean()) {
            t.emptyAll = e.get<bool>();
        } else if (e.is_array()) {
            for (size_t i = 0; i < e.size(); ++i)
                t.emptyFiles.push_back(positiveOf(e[i], path + ".emptyStream[" + std::to_string(i) + "]", 1));
        } else {
            fail(path + ".emptyStream", "expected true, false or a list of file numbers");
        }
    }
    if (j.contains("progress")) {
        const std::string p = stringOf(j["progress"], path + ".progress");
        if (p == "bands") t.progress = TransferDef::Progress::Bands;
        else if (p == "jumps") t.progress = TransferDef::Progress::Jumps;
        else if (p == "none") t.progress = TransferDef::Progress::None;
        else fail(path + ".progress", "progress is \"bands\", \"jumps\" or \"none\"");
    }
    if (j.contains("bands")) t.bands = positiveOf(j["bands"], path + ".bands", 1);
    if (j.contains("bandBytes")) t.bandBytes = positiveOf(j["bandBytes"], path + ".bandBytes", 1);
    if (j.contains("bandDelayMs")) t.bandDelayMs = positiveOf(j["bandDelayMs"], path + ".bandDelayMs", 0);
    if (j.contains("itemName")) {
        if (!j["itemName"].is_null()) fail(path + ".itemName", "only null is allowed: a null item name");
        t.nullItemName = true;
    }
    if (j.contains("newPage")) t.newPage = boolOf(j["newPage"], path + ".newPage");
    if (j.contains("noStream")) t.noStream = boolOf(j["noStream"], path + ".noStream");
    if (j.contains("dataOffset")) {
        const int64_t v = integerOf(j["dataOffset"], path + ".dataOffset");
        if (v < INT32_MIN || v > INT32_MAX) fail(path + ".dataOffset", "expected a signed 32-bit integer");
        t.dataOffset = static_cast<LONG>(v);
    }
    if (j.contains("answer")) t.answer = resultOf(j["answer"], path + ".answer");
    if (j.contains("picture")) {
        const json& p = j["picture"];
        const std::string ppath = path + ".picture";
        checkKeys(p, ppath, {"width", "height", "caption", "file"});
        Picture pic;
        if (p.contains("width")) pic.width = positiveOf(p["width"], ppath + ".width", 1);
        if (p.contains("height")) pic.height = positiveOf(p["height"], ppath + ".height", 1);
        if (p.contains("caption")) pic.caption = stringOf(p["caption"], ppath + ".caption");
        if (p.contains("file")) pic.file = stringOf(p["file"], ppath + ".file");
        if (pic.file.empty() && (pic.width == 0) != (pic.height == 0))
            fail(ppath, "a picture has both \"width\" and \"height\", or neither");
        t.picture = pic;
    }
    return t;
}

DialogStep parseDialogStep(const json& j, const std::string& path) {
    checkKeys(j, path, {"answer", "files", "source", "select", "format"});
    DialogStep d;
    if (j.contains("answer")) {
        const json& a = j["answer"];
        if (a.is_string() && a.get<std::string>() == "ok") d.answer = S_OK;
        else if (a.is_string() && a.get<std::string>() == "cancel") d.answer = S_FALSE;
        else d.answer = resultOf(a, path + ".answer");
    }
    if (j.contains("files")) d.files = positiveOf(j["files"], path + ".files", 0);
    if (j.contains("source")) d.source = stringOf(j["source"], path + ".source");
    if (j.contains("select")) {
        const json& s = j["select"];
        if (!s.is_array()) fail(path + ".select", "expected a list of item names");
        for (size_t i = 0; i < s.size(); ++i) d.select.push_back(stringOf(s[i], path + ".select[" + std::to_string(i) + "]"));
    }
    if (j.contains("format")) {
        d.format = stringOf(j["format"], path + ".format");
        if (d.format != "bmp" && d.format != "jpeg" && d.format != "png")
            fail(path + ".format", "format is \"bmp\", \"jpeg\" or \"png\"");
    }
    return d;
}

std::vector<DialogStep> parseDialog(const json& j, const std::string& path) {
    std::vector<DialogStep> steps;
    if (j.is_array()) {
        for (size_t i = 0; i < j.size(); ++i) steps.push_back(parseDialogStep(j[i], path + "[" + std::to_string(i) + "]"));
        if (steps.empty()) fail(path, "a dialog script needs at least one step");
    } else {
        steps.push_back(parseDialogStep(j, path));
    }
    return steps;
}

struct ParsedProperty {
    Property prop;
    bool absent = false;
};

ParsedProperty parseProperty(const json& j, const std::string& path) {
    checkKeys(j, path, {"id", "name", "type", "value", "access", "range", "list", "flags", "validType", "absent"});
    if (!j.contains("id")) fail(path, "a property needs an \"id\"");
    ParsedProperty out;
    Property& p = out.prop;
    const json& id = j["id"];
    const PropInfo* info = nullptr;
    if (id.is_string() && id.get<std::string>().rfind("WIA_", 0) == 0) {
        info = findProperty(id.get<std::string>());
        if (!info) fail(path + ".id", "unknown property name " + id.dump());
        p.id = info->id;
    } else {
        p.id = static_cast<PROPID>(integerOf(id, path + ".id"));
        info = findProperty(p.id);
    }
    if (j.contains("absent")) {
        out.absent = boolOf(j["absent"], path + ".absent");
        if (out.absent) return out;
    }
    if (!j.contains("name")) {
        if (info) p.name = utf8ToUtf16(info->display);
    } else if (!j["name"].is_null()) {
        p.name = utf8ToUtf16(stringOf(j["name"], path + ".name"));
    }

    int kinds = 0;
    const json* valid = nullptr;
    const char* kind = nullptr;
    for (const char* k : {"range", "list", "flags"}) {
        if (j.contains(k)) {
            ++kinds;
            valid = &j[k];
            kind = k;
        }
    }
    if (kinds > 1) fail(path, "a property has at most one of \"range\", \"list\" and \"flags\"");
    const json* nominal = nullptr;
    if (valid) {
        checkKeys(*valid, path + "." + kind, {"min", "nom", "max", "step", "values", "mask"});
        if (valid->contains("nom")) nominal = &(*valid)["nom"];
        else if (valid->contains("values") && (*valid)["values"].is_array() && !(*valid)["values"].empty())
            nominal = &(*valid)["values"][0];
    }

    const json* value = j.contains("value") ? &j["value"] : nullptr;
    const VARTYPE vt = j.contains("type") ? vtOf(j["type"], path + ".type") : inferVt(value, nominal, info);
    if (value) {
        p.value = valueOf(vt, *value, path + ".value");
    } else if (nominal) {
        p.value = valueOf(vt, *nominal, path + ".value");
    } else if (vt == VT_EMPTY || vt == VT_NULL) {
        p.value = valueOf(vt, json(), path + ".value");
    } else {
        fail(path, "a property needs a \"value\"");
    }

    ULONG validBit = wia::WIA_PROP_NONE;
    if (valid) {
        VARTYPE elem = (vt == VT_UI4 || vt == VT_CLSID) ? vt : VARTYPE(VT_I4);
        if (j.contains("validType")) elem = vtOf(j["validType"], path + ".validType");
        const std::string vpath = path + "." + kind;
        const bool guids = elem == VT_CLSID;
        if (!guids && !isIntegerVt(elem)) fail(vpath, "valid values are integers or GUIDs");
        if (std::string(kind) == "range") {
            if (guids) fail(vpath, "a range of GUIDs makes no sense");
            if (valid->contains("values")) {
                // A device reporting garbage: the range vector as given, of any length.
                const json& values = (*valid)["values"];
                if (!values.is_array() || valid->size() != 1)
                    fail(vpath, "a raw range is {\"values\": [...]} alone");
                std::vector<int64_t> xs;
                for (size_t i = 0; i < values.size(); ++i)
                    xs.push_back(integerOf(values[i], vpath + ".values[" + std::to_string(i) + "]"));
                p.valid = Variant::integers(elem, xs);
                validBit = wia::WIA_PROP_RANGE;
            } else {
                for (const char* k : {"min", "max"})
                    if (!valid->contains(k)) fail(vpath, std::string("a range needs \"") + k + "\"");
                const int64_t mn = integerOf((*valid)["min"], vpath + ".min");
                const int64_t mx = integerOf((*valid)["max"], vpath + ".max");
                const int64_t nom = nominal ? integerOf(*nominal, vpath + ".nom") : mn;
                const int64_t step = valid->contains("step") ? integerOf((*valid)["step"], vpath + ".step") : 1;
                p.valid = Variant::integers(elem, {mn, nom, mx, step});
                validBit = wia::WIA_PROP_RANGE;
            }
        } else if (std::string(kind) == "list") {
            if (!valid->contains("values") || !(*valid)["values"].is_array())
                fail(vpath, "a list needs an array \"values\"");
            const json& values = (*valid)["values"];
            if (guids) {
                std::vector<GUID> xs(2, GUID_NULL);
                xs[0].Data1 = static_cast<uint32_t>(values.size());
                xs[1] = nominal ? guidOf(*nominal, vpath + ".nom") : GUID_NULL;
                for (size_t i = 0; i < values.size(); ++i)
                    xs.push_back(guidOf(values[i], vpath + ".values[" + std::to_string(i) + "]"));
                p.valid = Variant::guids(xs);
            } else {
                std::vector<int64_t> xs{static_cast<int64_t>(values.size()),
                                        nominal ? integerOf(*nominal, vpath + ".nom") : 0};
                for (size_t i = 0; i < values.size(); ++i)
                    xs.push_back(integerOf(values[i], vpath + ".values[" + std::to_string(i) + "]"));
                p.valid = Variant::integers(elem, xs);
            }
            validBit = wia::WIA_PROP_LIST;
        } else {
            if (guids) fail(vpath, "a flag set of GUIDs makes no sense");
            if (!valid->contains("mask")) fail(vpath, "a flag set needs \"mask\"");
            const int64_t nom = nominal ? integerOf(*nominal, vpath + ".nom") : 0;
            p.valid = Variant::integers(elem, {nom, integerOf((*valid)["mask"], vpath + ".mask")});
            validBit = wia::WIA_PROP_FLAG;
        }
    }
    bool raw = false;
    ULONG access = wia::WIA_PROP_READ;
    if (j.contains("access")) access = accessOf(j["access"], path + ".access", raw);
    p.access = raw ? access : access | validBit;
    return out;
}

Property simple(PROPID id, Variant value) {
    Property p;
    p.id = id;
    if (const PropInfo* info = findProperty(id)) p.name = utf8ToUtf16(info->display);
    p.value = std::move(value);
    return p;
}

Variant bstr(const std::string& s) { return Variant::string(VT_BSTR, utf8ToUtf16(s)); }

// Applies a list of property entries over a set of automatic ones.
std::vector<Property> merge(std::map<PROPID, Property> base, const json* list, const std::string& path) {
    if (list) {
        if (!list->is_array()) fail(path, "expected an array of properties");
        std::set<PROPID> seen;
        for (size_t i = 0; i < list->size(); ++i) {
            const std::string ppath = path + "[" + std::to_string(i) + "]";
            ParsedProperty pp = parseProperty((*list)[i], ppath);
            if (!seen.insert(pp.prop.id).second) fail(ppath, "property " + std::to_string(pp.prop.id) + " given twice");
            if (pp.absent)
                base.erase(pp.prop.id);
            else
                base[pp.prop.id] = std::move(pp.prop);
        }
    }
    std::vector<Property> out;
    for (auto& entry : base) out.push_back(std::move(entry.second));
    return out;
}

std::pair<bool, bool> versionsOf(const json& j, const std::string& path) {
    if (!j.is_array()) fail(path, "expected a list of WIA versions such as [1, 2]");
    bool v1 = false, v2 = false;
    for (size_t i = 0; i < j.size(); ++i) {
        const int64_t v = integerOf(j[i], path + "[" + std::to_string(i) + "]");
        if (v == 1) v1 = true;
        else if (v == 2) v2 = true;
        else fail(path, "WIA versions are 1 and 2");
    }
    return {v1, v2};
}

LONG itemTypeOf(const json& j, const std::string& path) {
    if (!j.is_array()) return static_cast<LONG>(integerOf(j, path));
    LONG bits = 0;
    for (size_t i = 0; i < j.size(); ++i) {
        const std::string s = stringOf(j[i], path + "[" + std::to_string(i) + "]");
        auto bit = itemTypeBit(s);
        if (!bit) fail(path, "unknown item type \"" + s + "\"");
        bits |= *bit;
    }
    return bits;
}

Item parseItem(const json& j, const std::string& path, const std::string& parentFullName, const Device* deviceOfRoot) {
    checkKeys(j, path, {"name", "category", "itemType", "properties", "reportedCount", "wia", "children", "transfer"});
    const bool root = deviceOfRoot != nullptr;
    Item item;
    if (j.contains("name"))
        item.name = stringOf(j["name"], path + ".name");
    else if (root)
        item.name = "Root";
    else
        fail(path, "an item needs a \"name\"");
    item.fullName = parentFullName + "\\" + item.name;
    if (j.contains("category")) {
        if (!j["category"].is_null()) item.category = guidOf(j["category"], path + ".category");
    } else if (root) {
        item.category = wia::WIA_CATEGORY_ROOT;
    }
    if (j.contains("itemType"))
        item.itemType = itemTypeOf(j["itemType"], path + ".itemType");
    else
        item.itemType = root ? (wia::WiaItemTypeRoot | wia::WiaItemTypeFolder | wia::WiaItemTypeDevice)
                             : (wia::WiaItemTypeImage | wia::WiaItemTypeTransfer);
    if (j.contains("wia")) std::tie(item.wia1, item.wia2) = versionsOf(j["wia"], path + ".wia");
    if (j.contains("reportedCount"))
        item.reportedCount = static_cast<ULONG>(integerOf(j["reportedCount"], path + ".reportedCount"));
    if (j.contains("transfer")) item.transfer = parseTransfer(j["transfer"], path + ".transfer");

    std::map<PROPID, Property> automatic;
    if (root)
        for (const Property& p : deviceOfRoot->record) automatic[p.id] = p;
    automatic[wia::WIA_IPA_ITEM_NAME] = simple(wia::WIA_IPA_ITEM_NAME, bstr(item.name));
    automatic[wia::WIA_IPA_FULL_ITEM_NAME] = simple(wia::WIA_IPA_FULL_ITEM_NAME, bstr(item.fullName));
    automatic[4101] = simple(4101, Variant::integer(VT_I4, item.itemType));
    if (item.category)
        automatic[wia::WIA_IPA_ITEM_CATEGORY] = simple(wia::WIA_IPA_ITEM_CATEGORY, Variant::clsid(*item.category));
    item.properties = merge(std::move(automatic), j.contains("properties") ? &j["properties"] : nullptr,
                            path + ".properties");

    if (j.contains("children")) {
        const json& kids = j["children"];
        if (!kids.is_array()) fail(path + ".children", "expected an array of items");
        for (size_t i = 0; i < kids.size(); ++i)
            item.children.push_back(
                parseItem(kids[i], path + ".children[" + std::to_string(i) + "]", item.fullName, nullptr));
    }
    return item;
}

std::shared_ptr<Device> parseDevice(const json& j, const std::string& path) {
    checkKeys(j, path, {"id", "name", "type", "subtype", "description", "vendor", "port", "server", "local", "wia",
                        "plugged", "record", "root", "dialog"});
    auto d = std::make_shared<Device>();
    if (!j.contains("id")) fail(path, "a device needs an \"id\"");
    d->id = stringOf(j["id"], path + ".id");
    d->id16 = utf8ToUtf16(d->id);
    // A null name is a device without a friendly name: its record holds a null BSTR.
    const bool nullName = j.contains("name") && j["name"].is_null();
    d->name = j.contains("name") && !nullName ? stringOf(j["name"], path + ".name") : d->id;
    if (j.contains("type")) {
        const json& t = j["type"];
        if (t.is_string()) {
            auto sti = stiTypeByName(t.get<std::string>());
            if (!sti) fail(path + ".type", "type is \"scanner\", \"camera\", \"video\", \"default\" or a number");
            d->stiType = *sti;
        } else {
            d->stiType = static_cast<LONG>(integerOf(t, path + ".type"));
        }
    }
    if (j.contains("subtype")) d->subtype = static_cast<LONG>(integerOf(j["subtype"], path + ".subtype"));
    d->description = j.contains("description") ? stringOf(j["description"], path + ".description") : d->name;
    d->vendor = j.contains("vendor") ? stringOf(j["vendor"], path + ".vendor") : "Talvek";
    d->port = j.contains("port") ? stringOf(j["port"], path + ".port") : "\\\\.\\Usbscan0";
    d->server = j.contains("server") ? stringOf(j["server"], path + ".server") : "local";
    if (j.contains("local")) d->local = boolOf(j["local"], path + ".local");
    if (j.contains("plugged")) d->plugged = boolOf(j["plugged"], path + ".plugged");
    if (j.contains("wia")) std::tie(d->wia1, d->wia2) = versionsOf(j["wia"], path + ".wia");
    if (j.contains("dialog")) d->dialog = parseDialog(j["dialog"], path + ".dialog");

    std::map<PROPID, Property> record;
    record[wia::WIA_DIP_DEV_ID] = simple(wia::WIA_DIP_DEV_ID, bstr(d->id));
    record[wia::WIA_DIP_VEND_DESC] = simple(wia::WIA_DIP_VEND_DESC, bstr(d->vendor));
    record[wia::WIA_DIP_DEV_DESC] = simple(wia::WIA_DIP_DEV_DESC, bstr(d->description));
    record[wia::WIA_DIP_DEV_TYPE] = simple(wia::WIA_DIP_DEV_TYPE, Variant::integer(VT_I4, d->devType()));
    record[wia::WIA_DIP_PORT_NAME] = simple(wia::WIA_DIP_PORT_NAME, bstr(d->port));
    record[wia::WIA_DIP_DEV_NAME] = simple(wia::WIA_DIP_DEV_NAME, nullName ? Variant::nullBstr() : bstr(d->name));
    record[wia::WIA_DIP_SERVER_NAME] = simple(wia::WIA_DIP_SERVER_NAME, bstr(d->server));
    record[14] = simple(14, bstr("2.0"));
    record[15] = simple(15, bstr("25.0.0.0"));
    d->record = merge(std::move(record), j.contains("record") ? &j["record"] : nullptr, path + ".record");

    const size_t slash = d->id.rfind('\\');
    const std::string prefix = slash == std::string::npos ? d->id : d->id.substr(slash + 1);
    d->root = parseItem(j.contains("root") ? j["root"] : json::object(), path + ".root", prefix, d.get());
    return d;
}

}  // namespace

std::shared_ptr<const Profile> parse(const std::string& text) {
    json j;
    try {
        j = json::parse(text, nullptr, true, true);
    } catch (const json::exception& e) {
        throw std::invalid_argument(std::string("device profile: not valid JSON: ") + e.what());
    }
    checkKeys(j, "profile", {"devices", "service"});
    auto p = std::make_shared<Profile>();
    if (j.contains("service")) {
        const json& s = j["service"];
        checkKeys(s, "service", {"wia1", "wia2"});
        if (s.contains("wia1")) p->wia1Registered = boolOf(s["wia1"], "service.wia1");
        if (s.contains("wia2")) p->wia2Registered = boolOf(s["wia2"], "service.wia2");
    }
    if (j.contains("devices")) {
        const json& devs = j["devices"];
        if (!devs.is_array()) fail("devices", "expected an array of devices");
        std::set<std::string> ids;
        for (size_t i = 0; i < devs.size(); ++i) {
            const std::string path = "devices[" + std::to_string(i) + "]";
            auto d = parseDevice(devs[i], path);
            if (!ids.insert(d->id).second) fail(path + ".id", "device ID \"" + d->id + "\" given twice");
            p->devices.push_back(std::move(d));
        }
    }
    return p;
}

std::optional<HRESULT> resultByName(const std::string& name) {
    for (const auto& r : kResults)
        if (name == r.first) return r.second;
    try {
        size_t used = 0;
        const bool hex = name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X');
        const long long v = hex ? static_cast<long long>(std::stoull(name.substr(2), &used, 16)) : std::stoll(name, &used);
        if (used == (hex ? name.size() - 2 : name.size())) return static_cast<HRESULT>(static_cast<uint32_t>(v));
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

const std::string& defaultJson() {
    static const std::string* text = new std::string(kDefaultProfileText);
    return *text;
}

}  // namespace wiasim::profile
