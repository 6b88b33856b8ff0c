#include "object.h"

#include <map>
#include <mutex>

#include "text.h"

namespace wiasim {

namespace {

struct Registry {
    std::mutex mu;
    std::map<uint64_t, const ComObject*> live;
    uint64_t nextSeq = 1;
    std::map<std::string, int> serials;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

}  // namespace

ComObject::ComObject(const char* kind, bool counted) : counted_(counted) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    tag_ = std::string(kind) + "#" + std::to_string(++r.serials[kind]);
    seq_ = r.nextSeq++;
    if (counted_) r.live.emplace(seq_, this);
}

ComObject::~ComObject() {
    if (!counted_) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    r.live.erase(seq_);
}

void ComObject::setLabel(const std::string& label) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    label_ = label;
}

HRESULT ComObject::comQueryInterface(const char* iface, REFIID riid, void** ppv) {
    Call call(tag_, needsApartment_, iface, "QueryInterface", [&] { return guidName(riid); }, &label_);
    return call.run(
        [&] { if (ppv) *ppv = nullptr; },
        [&]() -> HRESULT {
            if (!ppv) return E_POINTER;
            void* p = findInterface(riid);
            *ppv = p;
            if (!p) return E_NOINTERFACE;
            ++refs_;
            return S_OK;
        });
}

ULONG ComObject::comAddRef(const char* iface) {
    const ULONG n = ++refs_;
    Call call(tag_, false, iface, "AddRef", [] { return std::string(); }, &label_);
    return call.count(n);
}

ULONG ComObject::comRelease(const char* iface) {
    ULONG n;
    if (!counted_) {
        // The interface table is never destroyed; its count never drops below 1.
        ULONG cur = refs_.load();
        while (cur > 1 && !refs_.compare_exchange_weak(cur, cur - 1)) {
        }
        n = cur > 1 ? cur - 1 : 1;
    } else {
        n = --refs_;
    }
    Call call(tag_, false, iface, "Release", [] { return std::string(); }, &label_);
    const ULONG answer = call.count(n);
    if (n == 0 && counted_) delete this;
    return answer;
}

int64_t liveObjectCount() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    return static_cast<int64_t>(r.live.size());
}

std::vector<std::string> liveObjectLines() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    std::vector<std::string> lines;
    for (const auto& entry : r.live) {
        const ComObject* o = entry.second;
        lines.push_back(o->tag_ + " " + (o->label_.empty() ? "-" : o->label_) + " refs=" + std::to_string(o->refs()));
    }
    return lines;
}

void resetSerials() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    r.serials.clear();
}

std::string countArg(ULONG n) { return std::to_string(n); }

}  // namespace wiasim
