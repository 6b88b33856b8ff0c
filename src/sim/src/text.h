// Text helpers of the simulated service: UTF-8 / UTF-16 conversion, GUID
// formatting and parsing, and the published names that journal lines use.
#pragma once

#include <optional>
#include <string>

#include "wia_platform.h"

namespace wiasim {

std::u16string utf8ToUtf16(const std::string& s);
std::string utf16ToUtf8(const char16_t* s, size_t n);
inline std::string utf16ToUtf8(const std::u16string& s) { return utf16ToUtf8(s.data(), s.size()); }

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string guidString(const GUID& g);
// Parses "{...}" (braces optional, any case) or a published name of the table.
std::optional<GUID> parseGuid(const std::string& text);
// The published name of a GUID when it is known, else guidString.
std::string guidName(const GUID& g);
// Published name of a GUID the service knows, or null.
const char* knownGuidName(const GUID& g);

std::string hex8(uint32_t v);         // "0x0000ABCD"
std::string hexShort(uint32_t v);     // "0xABCD"
// Journal forms of arguments.
std::string bstrArg(BSTR s);          // "\"text\"" or null
std::string wideArg(const OLECHAR* s);  // zero-terminated; "\"text\"" or null
std::string quoted(const std::string& utf8);
std::string contextName(DWORD ctx);   // CLSCTX_... or hex
std::string coinitName(DWORD flags);  // COINIT_... joined with '|'

// Short names of variant types ("VT_I4", "VT_VECTOR|VT_BSTR").
std::string vtName(VARTYPE vt);
std::optional<VARTYPE> parseVt(const std::string& name);

}  // namespace wiasim
