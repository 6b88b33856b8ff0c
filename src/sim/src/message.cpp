#include "message.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "accounting.h"
#include "journal.h"
#include "text.h"

namespace wiasim {

namespace {

struct Text {
    uint32_t code;
    const char* text;
};

// The system's own texts, each ending with CR LF as the system's do. The WIA
// codes (0x8021xxxx) have none: the system does not know them.
const Text kBuiltIn[] = {
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004004, "Operation aborted\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80070005, "Access is denied.\r\n"},
    {0x80070006, "The handle is invalid.\r\n"},
    {0x8007000E, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070057, "The parameter is incorrect.\r\n"},
    {0x80040154, "Class not registered\r\n"},
    {0x80040110, "Class does not support aggregation (or class object is remote)\r\n"},
    {0x800401F0, "CoInitialize has not been called.\r\n"},
    {0x80010106, "Cannot change thread mode after it is set.\r\n"},
    {0x8001010E, "The application called an interface that was marshalled for a different thread.\r\n"},
    {0x800706F4, "A null reference pointer was passed to the stub.\r\n"},
};

struct Added {
    std::mutex mu;
    std::map<uint32_t, std::string> texts;
};

Added& added() {
    static Added* a = new Added;
    return *a;
}

std::optional<std::string> lookup(uint32_t code) {
    {
        Added& a = added();
        std::lock_guard<std::mutex> lock(a.mu);
        auto it = a.texts.find(code);
        if (it != a.texts.end()) return it->second;
    }
    for (const Text& t : kBuiltIn)
        if (t.code == code) return std::string(t.text);
    return std::nullopt;
}

}  // namespace

void addMessageText(uint32_t code, const std::string& bytes) {
    Added& a = added();
    std::lock_guard<std::mutex> lock(a.mu);
    a.texts[code] = bytes;
}

void clearMessageTexts() {
    Added& a = added();
    std::lock_guard<std::mutex> lock(a.mu);
    a.texts.clear();
}

}  // namespace wiasim

extern "C" {

DWORD FormatMessageA(DWORD dwFlags, const void*, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                     void*) {
    using namespace wiasim;
    const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    Call call("FormatMessageA",
              [&] { return hexShort(dwFlags) + ", " + hex8(dwMessageId) + ", " + hexShort(dwLanguageId); });
    DWORD length = 0;
    call.run(
        [&] {
            if (allocate && lpBuffer) *reinterpret_cast<char**>(lpBuffer) = nullptr;
        },
        [&]() -> HRESULT {
            if (!lpBuffer) return 0;
            if (allocate) *reinterpret_cast<char**>(lpBuffer) = nullptr;
            if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)))
                return 0;
            const auto text = lookup(dwMessageId);
            if (!text) return 0;
            if (allocate) {
                auto* buf = static_cast<char*>(std::malloc(text->size() + 1));
                if (!buf) return 0;
                std::memcpy(buf, text->c_str(), text->size() + 1);
                trackBlock(Block::Local, addressOf(buf));
                *reinterpret_cast<char**>(lpBuffer) = buf;
            } else {
                if (nSize < text->size() + 1) return 0;
                std::memcpy(lpBuffer, text->c_str(), text->size() + 1);
            }
            length = static_cast<DWORD>(text->size());
            return static_cast<HRESULT>(length);
        });
    // A fault before the call makes it fail as it can: no text, no buffer. After
    // the call the text stays with the caller.
    if (call.faulted() && !call.ranBody()) return 0;
    return length;
}

HLOCAL LocalFree(HLOCAL hMem) {
    if (!hMem) return nullptr;
    if (!wiasim::untrackBlock(wiasim::Block::Local, wiasim::addressOf(hMem))) return hMem;
    std::free(hMem);
    return nullptr;
}

}  // extern "C"
