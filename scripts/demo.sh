#!/usr/bin/env bash
# The main job on the devices of the simulated service's default profile (or
# the profile TALVEK_SIM_PROFILE names), through the Java front end.
set -euo pipefail
build="${1:-build}"
flavour="${TALVEK_FLAVOUR:-W2}"
cp="$build/java/talvek.jar"
run() {
  java -Xcheck:jni -Djava.library.path="$build/lib" -cp "$cp" ox.orvel.talvek.tool.Talvek --flavour "$flavour" "$@"
}
echo "Devices (WIA ${flavour#W}.0 library):"
run list
