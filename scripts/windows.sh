#!/bin/sh
# Cross-builds qndislib.dll for x86_64 and i686 Windows with mingw-w64 and
# runs the x86_64 tests under Wine (no 32-bit Wine here: the i686 build only
# compiles and links).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
for preset in windows-x64 windows-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
done
ctest --preset windows-x64
