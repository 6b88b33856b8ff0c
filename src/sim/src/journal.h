// The one entry path of every journalled call: the apartment check, fault
// injection and the journal line. Calls the service makes on its own (from the
// interface table, the event thread or while building objects) run inside an
// InternalScope and are neither checked, faulted nor journalled.
#pragma once

#include <new>
#include <string>
#include <vector>

#include "wia_platform.h"

namespace wiasim {

class InternalScope {
public:
    InternalScope();
    ~InternalScope();
    InternalScope(const InternalScope&) = delete;
    InternalScope& operator=(const InternalScope&) = delete;
    static bool active();
};

struct FaultHit {
    bool fire = false;
    HRESULT hr = S_OK;
    bool afterCall = false;
};

class Call {
public:
    // A journalled function ("CoCreateInstance").
    template <class Args>
    Call(const char* function, Args&& args, bool checkApartment = false)
        : active_(!InternalScope::active()), checkApartment_(checkApartment) {
        if (active_) {
            name_ = function;
            args_ = args();
        }
    }
    // A method of a service object ("IWiaDevMgr2" "EnumDeviceInfo"), tagged "WiaDevMgr2#1";
    // label is what liveObjects() says of the object (an item's full name).
    template <class Args>
    Call(const std::string& tag, bool checkApartment, const char* iface, const char* method, Args&& args,
         const std::string* label = nullptr)
        : active_(!InternalScope::active()), checkApartment_(checkApartment), label_(label) {
        if (active_) {
            name_ = std::string(iface) + "." + method;
            args_ = args();
            tag_ = tag;
        }
    }

    // Runs body unless the apartment check or a fault pre-empts it; clear()
    // empties the outputs of a pre-empted call.
    template <class Clear, class Body>
    HRESULT run(Clear&& clear, Body&& body) {
        if (!active_) {
            ranBody_ = true;
            return guarded(body);
        }
        if (checkApartment_) {
            const HRESULT a = apartmentResult();
            if (FAILED(a)) {
                clear();
                return finish(a);
            }
        }
        hit_ = matchFault(name_, args_, tag_, label_);
        if (hit_.fire && !hit_.afterCall) {
            clear();
            return finish(hit_.hr);
        }
        ranBody_ = true;
        HRESULT hr = guarded(body);
        if (hit_.fire) hr = hit_.hr;
        return finish(hr);
    }

    // AddRef / Release: the count is always changed; a fault only changes the answer.
    ULONG count(ULONG n) {
        if (!active_) return n;
        hit_ = matchFault(name_, args_, tag_, label_);
        return static_cast<ULONG>(finish(hit_.fire ? hit_.hr : static_cast<HRESULT>(n)));
    }

    bool faulted() const { return hit_.fire; }
    bool ranBody() const { return ranBody_; }

private:
    template <class Body>
    static HRESULT guarded(Body& body) {
        try {
            return body();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    static HRESULT apartmentResult();
    static FaultHit matchFault(const std::string& name, const std::string& args, const std::string& tag,
                               const std::string* label);
    HRESULT finish(HRESULT hr);

    bool active_;
    bool checkApartment_;
    const std::string* label_ = nullptr;
    std::string name_, args_, tag_;
    FaultHit hit_;
    bool ranBody_ = false;
};

void journalClear();
std::vector<std::string> journalLines();
void faultAdd(const std::string& method, const std::string& argFilter, int32_t hr, int nth, int times, bool afterCall);
void faultsClear();

}  // namespace wiasim
