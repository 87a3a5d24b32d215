#!/bin/sh
# Builds everything and runs the analyser's self-contained demonstration.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default
cmake --build --preset default
exec build/default/bin/qndis demo "$@"
