// The one header through which the library reaches Windows, COM, WIA and JNI.
//
// On Windows it pulls in the SDK that the toolchain has; elsewhere it pulls in
// the project's stand-in declarations, whose implementation is the simulated
// WIA service. The WIA interfaces are the project's own on both.
#pragma once

#ifdef _WIN32
// The same standard headers as the host declarations bring in.
#include <cstddef>
#include <cstdint>
#include <cstring>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <shlwapi.h>
#else
#include "host/com_types.h"
#endif

#include <jni.h>

#include "wia_interfaces.h"

#include "sync.h"

static_assert(sizeof(OLECHAR) == 2, "OLECHAR must be a 16-bit unit");
static_assert(sizeof(jchar) == sizeof(OLECHAR), "jchar and OLECHAR must have the same size");
