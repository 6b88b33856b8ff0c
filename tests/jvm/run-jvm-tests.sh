#!/usr/bin/env bash
# Runs the JVM integration tests against one flavour of the library, in a JVM
# started with -Xcheck:jni.
#
#   run-jvm-tests.sh W2|W1 BUILD_DIR
#
# The jars come from BUILD_DIR/java, the shared objects from BUILD_DIR/lib. The
# output is also written to BUILD_DIR/jvm-<flavour>.log and the XML reports to
# BUILD_DIR/jvm-reports-<flavour>. The run fails when the launcher fails or when
# the JVM reports any JNI misuse. The environment is passed on unchanged
# (LD_PRELOAD and ASAN_OPTIONS for a sanitizer build, for instance).
#
# Environment: JAVA (the java command; else JAVA_HOME/bin/java; else java),
# TALVEK_JUNIT_CONSOLE (the JUnit console launcher jar), TALVEK_JVM_TIMEOUT
# (seconds, default 1200), TALVEK_JVM_SELECT (launcher selection options in
# place of scanning the test jar, e.g. "--select-class ox.orvel.talvek.wia.PollTest").
set -u -o pipefail

usage() {
    echo "usage: $0 W2|W1 BUILD_DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
flavour=$1
case "$flavour" in W2|W1) ;; *) usage ;; esac
[ -d "$2" ] || { echo "$0: no build directory $2" >&2; exit 2; }
build=$(cd "$2" && pwd)

if [ -n "${JAVA:-}" ]; then
    java=$JAVA
elif [ -n "${JAVA_HOME:-}" ] && [ -x "$JAVA_HOME/bin/java" ]; then
    java=$JAVA_HOME/bin/java
else
    java=java
fi
launcher=${TALVEK_JUNIT_CONSOLE:-/usr/share/java/junit-platform-console-standalone.jar}
timeout_s=${TALVEK_JVM_TIMEOUT:-1200}
log=$build/jvm-$flavour.log
reports=$build/jvm-reports-$flavour

for f in "$launcher" "$build/java/talvek.jar" "$build/java/talvek-test-support.jar" "$build/java/talvek-tests.jar" \
         "$build/lib/libtalvek64${flavour}_25.so" "$build/lib/libwiasim.so"; do
    if [ ! -f "$f" ]; then
        echo "$0: missing $f" >&2
        echo "0 passed, 1 failed"
        exit 1
    fi
done

classpath=$build/java/talvek.jar:$build/java/talvek-test-support.jar:$build/java/talvek-tests.jar
if [ -n "${TALVEK_JVM_SELECT:-}" ]; then
    # shellcheck disable=SC2206
    selection=(${TALVEK_JVM_SELECT})
else
    selection=(--scan-class-path "$build/java/talvek-tests.jar")
fi

rm -rf "$reports"
timeout --kill-after=30 "$timeout_s" \
    "$java" -Xcheck:jni \
        -Djava.library.path="$build/lib" \
        -Dtalvek.flavour="$flavour" \
        -jar "$launcher" \
        --class-path "$classpath" \
        "${selection[@]}" \
        --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests \
        --reports-dir="$reports" \
    2>&1 | tee "$log"
status=${PIPESTATUS[0]}

# What -Xcheck:jni (and a sanitizer runtime) print when native code misuses JNI or memory.
complaints=$(grep -c -E 'WARNING in native method|FATAL ERROR in native method|JNI local refs|^Warning: |ERROR: AddressSanitizer|: runtime error: ' "$log")

summary() {
    # "[        12 tests successful      ]" -> 12
    sed -n -E "s/^\[ *([0-9]+) $1 *\]$/\1/p" "$log" | tail -n 1
}
passed=$(summary 'tests successful')
failed=$(summary 'tests failed')
skipped_tests=$(summary 'tests skipped')
aborted_tests=$(summary 'tests aborted')
skipped=$(( ${skipped_tests:-0} + ${aborted_tests:-0} ))
containers_failed=$(summary 'containers failed')

echo
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "jvm-$flavour: the test JVM did not finish within ${timeout_s} s"
fi
if [ -z "$passed" ] || [ -z "$failed" ]; then
    echo "jvm-$flavour: the launcher printed no summary (status $status)"
    passed=${passed:-0}
    failed=$(( ${failed:-0} + 1 ))
fi
failed=$(( failed + ${containers_failed:-0} ))
if [ "$complaints" -gt 0 ]; then
    echo "jvm-$flavour: $complaints JNI or sanitizer complaint(s) in $log:"
    grep -n -E 'WARNING in native method|FATAL ERROR in native method|JNI local refs|^Warning: |ERROR: AddressSanitizer|: runtime error: ' "$log" | head -n 20
    failed=$(( failed + 1 ))
fi
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
fi
echo "$passed passed, $failed failed, $skipped skipped"
if [ "$status" -ne 0 ] || [ "$complaints" -gt 0 ]; then
    exit 1
fi
exit 0
