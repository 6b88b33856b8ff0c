// Owners for COM references, BSTRs and PROPVARIANTs: each releases what it
// holds when it goes out of scope, on the raise paths too.
#pragma once

#include <cstring>

#include "wia_platform.h"

namespace talvek {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes over a reference
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(o.Detach()) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = o.Detach();
        }
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Location for an output parameter; releases what was held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void Reset() {
        if (p_ != nullptr) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

class BstrOwner {
public:
    BstrOwner() = default;
    explicit BstrOwner(BSTR b) : b_(b) {}
    ~BstrOwner() { Reset(); }
    BstrOwner(const BstrOwner&) = delete;
    BstrOwner& operator=(const BstrOwner&) = delete;

    BSTR Get() const { return b_; }
    BSTR* Put() {
        Reset();
        return &b_;
    }
    BSTR Detach() {
        BSTR b = b_;
        b_ = nullptr;
        return b;
    }
    void Reset() {
        SysFreeString(b_);
        b_ = nullptr;
    }

private:
    BSTR b_ = nullptr;
};

// One PROPVARIANT, empty at construction and cleared at destruction.
class PropVariantOwner {
public:
    PropVariantOwner() { PropVariantInit(&v_); }
    ~PropVariantOwner() { PropVariantClear(&v_); }
    PropVariantOwner(const PropVariantOwner&) = delete;
    PropVariantOwner& operator=(const PropVariantOwner&) = delete;

    PROPVARIANT* Get() { return &v_; }
    PROPVARIANT* operator->() { return &v_; }

private:
    PROPVARIANT v_;
};

// A run of PROPVARIANTs freed together with FreePropVariantArray.
template <ULONG N>
class PropVariantArray {
public:
    PropVariantArray() {
        for (auto& v : v_) PropVariantInit(&v);
    }
    ~PropVariantArray() { FreePropVariantArray(N, v_); }
    PropVariantArray(const PropVariantArray&) = delete;
    PropVariantArray& operator=(const PropVariantArray&) = delete;

    PROPVARIANT* Get() { return v_; }
    PROPVARIANT& operator[](ULONG i) { return v_[i]; }
    // Frees the values now; the owner stays usable.
    void Clear() {
        FreePropVariantArray(N, v_);
        for (auto& v : v_) PropVariantInit(&v);
    }

private:
    PROPVARIANT v_[N];
};

inline PROPSPEC PropSpecById(PROPID id) {
    PROPSPEC spec;
    std::memset(&spec, 0, sizeof(spec));
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = id;
    return spec;
}

}  // namespace talvek
