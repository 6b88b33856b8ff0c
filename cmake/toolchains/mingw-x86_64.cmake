# Cross-build for 64-bit x86 Windows with the mingw-w64 toolchain of the
# distribution (x86_64-w64-mingw32-* / i686-w64-mingw32-*). Use with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake -DTALVEK_JNI_INCLUDE=<dir of jni.h>
# or simply scripts/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALVEK_MINGW_TRIPLE x86_64-w64-mingw32)
set(TALVEK_ARCH_BITS 64)

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
