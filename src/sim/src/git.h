// The process's Global Interface Table.
#pragma once

#include "wia_platform.h"

namespace wiasim {

// The singleton, without a new reference.
IGlobalInterfaceTable* globalInterfaceTable();

}  // namespace wiasim
