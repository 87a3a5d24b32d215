#!/bin/sh
# Builds the libFuzzer targets with clang, ASan and UBSan, refreshes the seed
# corpus from the library's own Pack, and fuzzes the filter stream reader for
# SECONDS (default 60). Any crash, leak or round-trip mismatch fails the run.
set -e
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz
cmake --build --preset fuzz
corpus=fuzz/corpus/unpack
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"
build/fuzz/bin/fuzz_make_corpus "$corpus"
# New inputs go to a scratch folder so the committed seeds stay small.
build/fuzz/bin/fuzz_unpack_filter -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work" "$corpus"
