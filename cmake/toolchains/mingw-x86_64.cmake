# Cross-build for 64-bit x86 Windows with the mingw-w64 toolchain of the
# distribution (x86_64-w64-mingw32-* / i686-w64-mingw32-*). Use with
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake -DTALVEK_JNI_INCLUDE=<dir of jni.h>
# or simply scripts/build-windows.sh.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALVEK_MINGW_TRIPLE x86_64-w64-mingw32)
set(TALVEK_ARCH_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
