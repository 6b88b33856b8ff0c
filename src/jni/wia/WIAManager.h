// The process-wide manager state, written only by WIAManager._initialize and
// WIAManager._release and read by the rest of the library.
#pragma once

#include "wia_platform.h"

namespace talvek {

class EventCallback;

struct ManagerState {
    IGlobalInterfaceTable* git = nullptr;  // the process's interface table
    DWORD managerHandle = 0;               // cookie of the registered device manager
    int32_t apartmentMode = 0;
    int32_t verbose = 0;
    BSTR outputFolder = nullptr;   // WIA 2.0: Configuration.IMAGE_DIR
    BSTR nameTemplate = nullptr;   // WIA 2.0: Configuration.FILE_NAME
    int32_t eventsFlag = 0;        // 1 when the connected subscription succeeded
    EventCallback* eventCallback = nullptr;
    IUnknown* connectedRegistration = nullptr;
    IUnknown* disconnectedRegistration = nullptr;
};

ManagerState& Manager();

// The interface table; raises when no manager is initialised.
IGlobalInterfaceTable* Git();

inline bool Verbose() { return Manager().verbose != 0; }

// WIA 1.0 with bit 0 of the apartment mode set: each entering Java thread
// makes itself a single-threaded apartment. Nothing in the WIA 2.0 flavour.
void EnterApartment();

// Low 32 bits of a handle received from Java.
inline DWORD HandleCookie(jlong handle) { return static_cast<DWORD>(static_cast<uint64_t>(handle) & 0xFFFFFFFFu); }
// A cookie handed to Java, zero-extended.
inline jlong CookieToHandle(DWORD cookie) { return static_cast<jlong>(static_cast<uint64_t>(cookie)); }

}  // namespace talvek
