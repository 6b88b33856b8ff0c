// Accounting of the memory the service hands out: BSTRs, CoTaskMem blocks and
// FormatMessageA buffers. Every block handed out is remembered; a free of a
// pointer that is not remembered counts as a bad free and touches nothing.
#pragma once

#include <cstdint>

#include "wia_platform.h"

namespace wiasim {

enum class Block { Bstr, TaskMem, Local };

// Blocks are known by their address only (never read through).
void trackBlock(Block kind, uintptr_t address);
// Forgets a block; false (and a bad free counted) when it was not handed out.
bool untrackBlock(Block kind, uintptr_t address);
bool isTracked(Block kind, uintptr_t address);
template <class T>
inline uintptr_t addressOf(T* p) {
    return reinterpret_cast<uintptr_t>(p);
}
void countBadFree();

struct BlockCounts {
    int64_t bstrs, taskMem, local, badFrees;
};
BlockCounts blockCounts();

// BSTR layout without accounting: 32-bit byte length, the units, a NUL unit.
BSTR rawBstrAlloc(const OLECHAR* src, uint32_t units);
void rawBstrFree(BSTR s);

}  // namespace wiasim
