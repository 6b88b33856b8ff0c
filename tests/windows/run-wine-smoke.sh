#!/usr/bin/env bash
# The Windows smoke test: builds the four DLLs (scripts/build-windows.sh) and
# the test host, checks each DLL's export and import tables
# (check-exports.sh), and runs the host under Wine on each 64-bit DLL, and on
# each 32-bit one where 32-bit Windows programs run (wine32). Exits non-zero
# on any failure. See tests/windows/README.md for what Wine answers.
#
# Environment: TALVEK_WIN_BUILD_DIR (default build-win), TALVEK_JNI_INCLUDE
# (see build-windows.sh), TALVEK_REQUIRE_WINE32=1 to fail rather than skip
# when 32-bit programs do not run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${TALVEK_WIN_BUILD_DIR:-$root/build-win}
export TALVEK_WIN_BUILD_DIR=$out

passed=0
failed=0
skipped=0
count() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }

"$root/scripts/build-windows.sh"

jni_include=$(sed -n 's/^TALVEK_JNI_INCLUDE:[A-Z]*=//p' "$out/x86_64/build/CMakeCache.txt")
generator=()
if command -v ninja >/dev/null 2>&1; then
    generator=(-G Ninja)
fi
for arch in x86_64 i686; do
    if [[ ! -f $out/$arch/host/CMakeCache.txt ]]; then
        cmake -S "$here" -B "$out/$arch/host" "${generator[@]}" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$arch.cmake" \
            -DTALVEK_JNI_INCLUDE="$jni_include" >/dev/null
    fi
    cmake --build "$out/$arch/host" --parallel 2
done

dlls64=(talvek64W2_25.dll talvek64W1_25.dll)
dlls32=(talvek32W2_25.dll talvek32W1_25.dll)

echo "== export and import tables"
for dll in "${dlls64[@]/#/$out/x86_64/}" "${dlls32[@]/#/$out/i686/}"; do
    count "$here/check-exports.sh" "$dll"
done

# Wine, headless, in a prefix of its own under the build directory.
wine64=$(command -v wine64 || true)
if [[ -z $wine64 && -x /usr/lib/wine/wine64 ]]; then
    wine64=/usr/lib/wine/wine64
fi
if [[ -z $wine64 ]]; then
    echo "run-wine-smoke: wine64 is missing (Debian package wine64)" >&2
    exit 1
fi
# The 32-bit loader runs 64-bit programs too; it is used only where it runs
# at all (it needs a kernel that runs 32-bit programs).
if [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    wine=/usr/lib/wine/wine
else
    wine=$wine64
    export WINELOADER=$wine64
fi
export WINEPREFIX=$out/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
stop_wine() { WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    timeout 600 "$wine" wineboot -i >/dev/null 2>&1 || true
    # The registry reaches the disk when the server of the prefix ends.
    timeout 120 wineserver -w >/dev/null 2>&1 || true
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "run-wine-smoke: wineboot did not create $WINEPREFIX" >&2
        exit 1
    fi
fi

windows_path() { echo "Z:${1//\//\\}"; }

run_host() {  # arch dll
    local arch=$1 dll=$2
    timeout 300 "$wine" "$out/$arch/host/talvek-wine-host.exe" "$(windows_path "$out/$arch")" "$dll" 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

echo "== 64-bit DLLs under Wine ($("$wine" --version))"
for dll in "${dlls64[@]}"; do
    count run_host x86_64 "$dll"
done

echo "== 32-bit DLLs under Wine"
if timeout 60 "$wine" "$out/i686/host/talvek-wine-host.exe" --probe 2>/dev/null | grep -q "probe ok 32"; then
    for dll in "${dlls32[@]}"; do
        count run_host i686 "$dll"
    done
elif [[ ${TALVEK_REQUIRE_WINE32:-0} == 1 ]]; then
    echo "FAIL 32-bit Windows programs do not run here (wine32)"
    failed=$((failed + 1))
else
    echo "skipped: 32-bit Windows programs do not run here (wine32 missing, or a kernel without 32-bit support)"
    skipped=$((skipped + ${#dlls32[@]}))
fi

echo "wine-smoke: $passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
