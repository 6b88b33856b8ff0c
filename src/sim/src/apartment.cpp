#include "apartment.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "journal.h"
#include "text.h"

namespace wiasim {

namespace {

struct ThreadCom {
    Apartment mode = Apartment::None;
    int inits = 0;
    bool service = false;
};

thread_local ThreadCom tCom;
std::atomic<int> gMtaThreads{0};

HRESULT initialize(Apartment wanted) {
    if (tCom.mode == Apartment::None) {
        tCom.mode = wanted;
        tCom.inits = 1;
        if (wanted == Apartment::Mta) ++gMtaThreads;
        return S_OK;
    }
    if (tCom.mode != wanted) return RPC_E_CHANGED_MODE;
    ++tCom.inits;
    return S_FALSE;
}

}  // namespace

uint32_t threadId() {
    thread_local uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

Apartment currentApartmentOf() {
    if (tCom.mode != Apartment::None) return tCom.mode;
    if (tCom.service || gMtaThreads.load() > 0) return Apartment::Mta;
    return Apartment::None;
}

const char* apartmentName(Apartment a) {
    switch (a) {
        case Apartment::Sta: return "sta";
        case Apartment::Mta: return "mta";
        default: return "none";
    }
}

HRESULT apartmentCheck() { return currentApartmentOf() == Apartment::None ? CO_E_NOTINITIALIZED : S_OK; }

void markServiceThread() { tCom.service = true; }
bool isServiceThread() { return tCom.service; }

}  // namespace wiasim

namespace wiasim {
namespace {

void uninitialize() {
    if (tCom.inits > 0 && --tCom.inits == 0) {
        if (tCom.mode == Apartment::Mta) --gMtaThreads;
        tCom.mode = Apartment::None;
    }
}

}  // namespace
}  // namespace wiasim

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    wiasim::Call call("CoInitializeEx", [&] { return wiasim::coinitName(dwCoInit); });
    const auto mode = (dwCoInit & COINIT_APARTMENTTHREADED) ? wiasim::Apartment::Sta : wiasim::Apartment::Mta;
    return call.run([] {}, [&] { return wiasim::initialize(mode); });
}

HRESULT CoInitialize(LPVOID) {
    wiasim::Call call("CoInitialize", [] { return std::string(); });
    return call.run([] {}, [] { return wiasim::initialize(wiasim::Apartment::Sta); });
}

void CoUninitialize() {
    wiasim::Call call("CoUninitialize", [] { return std::string(); });
    call.run([] {}, [] {
        wiasim::uninitialize();
        return S_OK;
    });
}

DWORD GetCurrentThreadId() { return wiasim::threadId(); }

}  // extern "C"
