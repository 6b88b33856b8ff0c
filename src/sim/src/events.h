// Device event registrations and their delivery on the service's event thread.
#pragma once

#include <string>

#include "wia_platform.h"

namespace wiasim {

// IWiaDevMgr(2)::RegisterEventCallbackInterface.
HRESULT registerEventCallback(LONG flags, BSTR deviceId, const GUID* event, IWiaEventCallback* callback,
                              IUnknown** registration);

// Queues the event for every matching registration; returns how many matched.
int queueDeviceEvent(const GUID& event, const std::u16string& deviceId, const std::u16string& description,
                     DWORD deviceType);
void waitEventsIdle();
void dropPendingEvents();
int liveSubscriptions();

}  // namespace wiasim
