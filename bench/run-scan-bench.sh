#!/usr/bin/env bash
# What the library adds to a scan: a letter-size colour page at 300 dpi from the
# default scanner's flatbed. scan_direct: the simulated service alone in a
# process of its own; ScanBench: in one JVM, the service alone and the same scan
# through the library with progress off and on, in turns. Both with the
# flatbed's ordinary 64 KiB bands and with fine ones for the cost of a progress
# message.
#
#   bench/run-scan-bench.sh [BUILD_DIR]
#
# Environment: BENCH_ITERATIONS (default 15), BENCH_WARMUP (2),
# BENCH_FINE_BAND_BYTES (1024), BENCH_JAVA_OPTIONS (extra JVM options). Fails when a program fails, when a library file
# differs from the service's own, when the service's accounting is not clean,
# or when the JVM reports JNI misuse (with -Xcheck:jni in BENCH_JAVA_OPTIONS).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mktemp -d "${TMPDIR:-/tmp}/talvek-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT
args=(--iterations "${BENCH_ITERATIONS:-15}" --warmup "${BENCH_WARMUP:-2}"
      --fine-band-bytes "${BENCH_FINE_BAND_BYTES:-1024}" --output "$out")

echo "The service alone, in a process of its own:"
"$build/bin/scan_direct" "${args[@]}"
echo
# shellcheck disable=SC2086
java ${BENCH_JAVA_OPTIONS:-} -Djava.library.path="$build/lib" \
     -cp "$build/java/talvek.jar:$build/java/talvek-test-support.jar:$build/java/talvek-bench.jar" \
     ox.orvel.talvek.bench.ScanBench "${args[@]}" 2>&1 | tee "$out/jvm.log"
if grep -q "WARNING in native method" "$out/jvm.log"; then
  echo "run-scan-bench: the JVM reported JNI misuse" >&2
  exit 1
fi
