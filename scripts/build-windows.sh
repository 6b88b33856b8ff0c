#!/usr/bin/env bash
# Cross-builds the four Windows DLLs of the library with mingw-w64:
#   build-win/x86_64/talvek64W2_25.dll  build-win/x86_64/talvek64W1_25.dll
#   build-win/i686/talvek32W2_25.dll    build-win/i686/talvek32W1_25.dll
# Each architecture is configured in build-win/<arch>/build; running the
# script again rebuilds only what changed. Compiler and linker warnings fail
# the build.
#
# Environment: TALVEK_JNI_INCLUDE, the directory of the JDK's jni.h (default:
# that of JAVA_HOME, else of the javac on PATH); TALVEK_WIN_ARCHS, the
# architectures to build (default "x86_64 i686").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${TALVEK_WIN_BUILD_DIR:-$root/build-win}

find_jni_include() {
    local home
    for home in "${JAVA_HOME:-}" "$(dirname "$(dirname "$(readlink -f "$(command -v javac 2>/dev/null || echo /nonexistent)")")")"; do
        if [[ -n $home && -f $home/include/jni.h ]]; then
            echo "$home/include"
            return 0
        fi
    done
    return 1
}

jni_include=${TALVEK_JNI_INCLUDE:-$(find_jni_include || true)}
if [[ -z $jni_include || ! -f $jni_include/jni.h ]]; then
    echo "build-windows: no jni.h found; set TALVEK_JNI_INCLUDE or JAVA_HOME" >&2
    exit 1
fi

generator=()
if command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi

for arch in ${TALVEK_WIN_ARCHS:-x86_64 i686}; do
    case $arch in
        x86_64) bits=64 ;;
        i686) bits=32 ;;
        *) echo "build-windows: unknown architecture $arch" >&2; exit 1 ;;
    esac
    if ! command -v "$arch-w64-mingw32-g++" >/dev/null 2>&1; then
        echo "build-windows: $arch-w64-mingw32-g++ is missing (Debian package g++-mingw-w64-${arch//_/-})" >&2
        exit 1
    fi
    build=$out/$arch/build
    if [[ ! -f $build/CMakeCache.txt ]]; then
        cmake -S "$root" -B "$build" "${generator[@]}" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=Release \
            -DTALVEK_JNI_INCLUDE="$jni_include" \
            -DTALVEK_WERROR=ON
    fi
    cmake --build "$build" --parallel 2
    for flavour in W2 W1; do
        dll=talvek${bits}${flavour}_25.dll
        built=$(find "$build" -name "$dll" -type f -print -quit)
        if [[ -z $built ]]; then
            echo "build-windows: $dll was not built" >&2
            exit 1
        fi
        if ! cmp -s "$built" "$out/$arch/$dll"; then
            cp "$built" "$out/$arch/$dll"
        fi
        echo "built $out/$arch/$dll"
    done
done
