# What the mingw-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR,
# TALVEK_MINGW_TRIPLE and TALVEK_ARCH_BITS first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TALVEK_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TALVEK_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${TALVEK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALVEK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes of the compiler are linked in, so that a DLL or a
# program needs nothing beside the system's own DLLs. A linker warning fails
# the build like a compiler warning.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--fatal-warnings")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--fatal-warnings")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--fatal-warnings")

# The export table of the project's DLLs (src/platform/win/windows.cmake),
# read in at the end of project(talvek).
set(CMAKE_PROJECT_talvek_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../../src/platform/win/windows.cmake)
