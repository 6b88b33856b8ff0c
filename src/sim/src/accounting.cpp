#include "accounting.h"

#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace wiasim {

namespace {

struct Ledger {
    std::mutex mu;
    std::unordered_set<uintptr_t> sets[3];
    int64_t badFrees = 0;
};

// Never destroyed: frees may come from static destructors of the host.
Ledger& ledger() {
    static Ledger* l = new Ledger;
    return *l;
}

}  // namespace

void trackBlock(Block kind, uintptr_t p) {
    if (!p) return;
    Ledger& l = ledger();
    std::lock_guard<std::mutex> lock(l.mu);
    l.sets[static_cast<int>(kind)].insert(p);
}

bool untrackBlock(Block kind, uintptr_t p) {
    Ledger& l = ledger();
    std::lock_guard<std::mutex> lock(l.mu);
    if (l.sets[static_cast<int>(kind)].erase(p) == 1) return true;
    ++l.badFrees;
    return false;
}

bool isTracked(Block kind, uintptr_t p) {
    Ledger& l = ledger();
    std::lock_guard<std::mutex> lock(l.mu);
    return l.sets[static_cast<int>(kind)].count(p) == 1;
}

void countBadFree() {
    Ledger& l = ledger();
    std::lock_guard<std::mutex> lock(l.mu);
    ++l.badFrees;
}

BlockCounts blockCounts() {
    Ledger& l = ledger();
    std::lock_guard<std::mutex> lock(l.mu);
    return {static_cast<int64_t>(l.sets[0].size()), static_cast<int64_t>(l.sets[1].size()),
            static_cast<int64_t>(l.sets[2].size()), l.badFrees};
}

BSTR rawBstrAlloc(const OLECHAR* src, uint32_t units) {
    const size_t bytes = size_t(units) * sizeof(OLECHAR);
    auto* base = static_cast<uint8_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (!base) return nullptr;
    const uint32_t prefix = static_cast<uint32_t>(bytes);
    std::memcpy(base, &prefix, sizeof prefix);
    auto* s = reinterpret_cast<OLECHAR*>(base + sizeof(uint32_t));
    if (src)
        std::memcpy(s, src, bytes);
    else
        std::memset(s, 0, bytes);
    s[units] = 0;
    return s;
}

void rawBstrFree(BSTR s) {
    if (s) std::free(reinterpret_cast<uint8_t*>(s) - sizeof(uint32_t));
}

}  // namespace wiasim

// The string and task-memory functions of oleaut32 and ole32.
extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    uint32_t n = 0;
    while (psz[n]) ++n;
    BSTR s = wiasim::rawBstrAlloc(psz, n);
    wiasim::trackBlock(wiasim::Block::Bstr, wiasim::addressOf(s));
    return s;
}

BSTR SysAllocStringLen(const OLECHAR* strIn, uint32_t ui) {
    BSTR s = wiasim::rawBstrAlloc(strIn, ui);
    wiasim::trackBlock(wiasim::Block::Bstr, wiasim::addressOf(s));
    return s;
}

uint32_t SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const uint8_t*>(bstr) - sizeof(uint32_t), sizeof prefix);
    return prefix;
}

uint32_t SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void SysFreeString(BSTR bstrString) {
    if (!bstrString) return;
    if (wiasim::untrackBlock(wiasim::Block::Bstr, wiasim::addressOf(bstrString))) wiasim::rawBstrFree(bstrString);
}

LPVOID CoTaskMemAlloc(size_t cb) {
    void* p = std::malloc(cb ? cb : 1);
    wiasim::trackBlock(wiasim::Block::TaskMem, wiasim::addressOf(p));
    return p;
}

LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb) {
    if (!pv) return CoTaskMemAlloc(cb);
    if (!wiasim::isTracked(wiasim::Block::TaskMem, wiasim::addressOf(pv))) {
        wiasim::countBadFree();
        return nullptr;
    }
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    wiasim::untrackBlock(wiasim::Block::TaskMem, wiasim::addressOf(pv));
    void* q = std::realloc(pv, cb);
    wiasim::trackBlock(wiasim::Block::TaskMem, wiasim::addressOf(q ? q : pv));
    return q;
}

void CoTaskMemFree(LPVOID pv) {
    if (!pv) return;
    if (wiasim::untrackBlock(wiasim::Block::TaskMem, wiasim::addressOf(pv))) std::free(pv);
}

}  // extern "C"
