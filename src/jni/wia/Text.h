// Text handling of the library: its own printf-style formatter and the
// conversions that make every text handed to Java valid modified UTF-8.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace talvek {

// Size of every log buffer: at most 1023 bytes of text and the terminating NUL.
constexpr size_t kLogBufferSize = 1024;

// Formats `fmt` into `out` (capacity `cap`, NUL-terminated, never overrun).
// Conversions: %d %i %u %x %X %o %c %s %p %%, with flags "-0+ #", width and
// precision (also as *), and the length modifiers h, hh, l (32-bit, as the
// Windows LONG), ll / I64 (64-bit), z; %ws (and %ls, %S) take a
// NUL-terminated 16-bit string. A null string prints "(null)". The result is
// valid modified UTF-8: wide strings are encoded unit by unit, narrow strings
// are read as UTF-8 and anything invalid in them becomes '?'. A result longer
// than cap - 1 bytes is cut at the last whole character that fits. Returns the
// number of bytes written.
size_t FormatV(char* out, size_t cap, const char* fmt, va_list ap);
size_t Format(char* out, size_t cap, const char* fmt, ...);

// Narrow text (UTF-8, possibly invalid) made valid modified UTF-8.
std::string ToModifiedUtf8(const char* text);
// A 16-bit string of `len` units made modified UTF-8.
std::string Utf16ToModifiedUtf8(const char16_t* text, size_t len);
// A 16-bit string made standard UTF-8 (a lone surrogate becomes '?'): the
// narrow code page of POSIX file names.
std::string Utf16ToUtf8(const char16_t* text, size_t len);
// True when `text` is valid modified UTF-8 (no NUL bytes, no 4-byte forms).
bool IsModifiedUtf8(const char* text);

}  // namespace talvek
