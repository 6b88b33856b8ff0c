# Cross-build for 32-bit x86 Windows with the mingw-w64 toolchain of the
# distribution (x86_64-w64-mingw32-* / i686-w64-mingw32-*). Use with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake -DTALVEK_JNI_INCLUDE=<dir of jni.h>
# or simply scripts/build-windows.sh.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TALVEK_MINGW_TRIPLE i686-w64-mingw32)
set(TALVEK_ARCH_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
