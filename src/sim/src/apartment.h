// Apartments as the service sees them: per-thread COM state, the process's
// multithreaded apartment, and the service's own threads.
#pragma once

#include <string>

#include "wia_platform.h"

namespace wiasim {

enum class Apartment { None, Sta, Mta };

uint32_t threadId();
// The apartment of the calling thread: its own initialisation, else the
// process MTA when one exists (implicit member), else none.
Apartment currentApartmentOf();
const char* apartmentName(Apartment a);
// S_OK when the calling thread may call into service objects, else CO_E_NOTINITIALIZED.
HRESULT apartmentCheck();
// Marks the calling thread as a thread of the service (always an MTA member).
void markServiceThread();
bool isServiceThread();

}  // namespace wiasim
