#!/usr/bin/env bash
# Checks the export and import tables of library DLLs:
#   tests/windows/check-exports.sh <dll>...
# - the named exports are exactly those of tests/windows/exports.txt: plain
#   names in a 64-bit DLL, standard-call decorated ones (_name@bytes) in a
#   32-bit DLL;
# - the DLL imports only system DLLs, so that nothing of the compiler's
#   runtime (libstdc++, libgcc, libwinpthread) must be shipped beside it.
# Exits non-zero when a DLL fails; says what differs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
list=${TALVEK_EXPORTS_LIST:-$here/exports.txt}

# System DLLs a library DLL may import (compared case-insensitively), and the
# C runtime's API sets.
allowed_imports='^(kernel32|ole32|oleaut32|shlwapi|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

expected_exports() {  # bits
    awk -v bits="$1" '
        /^[ \t]*(#|$)/ { next }
        NF < 2 || $2 !~ /^[0-9]+$/ { printf "bad line in exports list: %s\n", $0 > "/dev/stderr"; exit 1 }
        { print (bits == 32 ? "_" $1 "@" $2 : $1) }' "$list" | LC_ALL=C sort
}

check_one() {  # dll
    local dll=$1 dump format bits objdump ok=1
    dump=$(x86_64-w64-mingw32-objdump -p "$dll")
    format=$(sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p' <<<"$dump" | head -1)
    case $format in
        pei-x86-64) bits=64; objdump=x86_64-w64-mingw32-objdump ;;
        pei-i386) bits=32; objdump=i686-w64-mingw32-objdump; dump=$($objdump -p "$dll") ;;
        *) echo "FAIL $dll: not a Windows x86 DLL (${format:-unknown format})"; return 1 ;;
    esac

    # The named exports: the lines "[   0] name" of the name pointer table.
    local actual expected
    actual=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort)
    expected=$(expected_exports "$bits")
    if [[ $actual != "$expected" ]]; then
        ok=0
        echo "FAIL $dll: exports differ from $list (- expected, + exported):"
        diff <(echo "$expected") <(echo "$actual") | sed -n 's/^</  -/p; s/^>/  +/p'
    fi

    local imports bad
    imports=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")
    bad=$(tr '[:upper:]' '[:lower:]' <<<"$imports" | grep -Ev "$allowed_imports" || true)
    if [[ -z $imports ]]; then
        ok=0
        echo "FAIL $dll: no import table"
    elif [[ -n $bad ]]; then
        ok=0
        echo "FAIL $dll: imports DLLs that are not part of Windows: $(echo $bad)"
    fi

    if [[ $ok == 1 ]]; then
        echo "ok   $dll: $bits-bit, $(wc -l <<<"$actual") exports as listed; imports $(echo $imports)"
    fi
    [[ $ok == 1 ]]
}

if [[ $# -eq 0 ]]; then
    echo "usage: $0 <dll>..." >&2
    exit 2
fi
status=0
for dll in "$@"; do
    check_one "$dll" || status=1
done
exit $status
