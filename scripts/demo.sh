#!/usr/bin/env bash
# The main job on the devices of the simulated service's default profile (or
# the profile TALVEK_SIM_PROFILE names), through the Java front end: list the
# devices, describe the default scanner, scan a flatbed page and the feeder's
# sheets (duplex), download the camera's pictures.
#
#   scripts/demo.sh [BUILD_DIR] [--wia1|--wia2]
#
# The WIA 2.0 library by default; --wia1 (or TALVEK_FLAVOUR=W1) runs the WIA 1.0
# one. The files go to BUILD_DIR/demo-<flavour>/.
set -euo pipefail
build=build
flavour="${TALVEK_FLAVOUR:-W2}"
for a in "$@"; do
  case "$a" in
    --wia1) flavour=W1 ;;
    --wia2) flavour=W2 ;;
    -*) echo "usage: $0 [BUILD_DIR] [--wia1|--wia2]" >&2; exit 2 ;;
    *) build="$a" ;;
  esac
done
case "$flavour" in W1|W2) ;; *) echo "$0: TALVEK_FLAVOUR is W1 or W2, not $flavour" >&2; exit 2 ;; esac
cp="$build/java/talvek.jar"
out="$(cd "$build" && pwd)/demo-$flavour"
rm -rf "$out"
run() {
  java -Xcheck:jni -Djava.library.path="$build/lib" -cp "$cp" ox.orvel.talvek.tool.Talvek --flavour "$flavour" "$@"
}
echo "Devices (WIA ${flavour#W}.0 library):"
run list
echo
echo "The default scanner:"
run describe
echo
run scan --output "$out/scans"
echo
echo "The default camera:"
run camera --output "$out/pictures"
