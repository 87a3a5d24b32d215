#!/bin/sh
# Builds the libFuzzer targets with clang, ASan and UBSan, refreshes the seed
# corpus from the library's own Pack, and fuzzes the filter stream reader for
# SECONDS (default 60). Any crash, leak, round-trip mismatch, slow input or
# allocation beyond what an input of at most 4096 bytes can justify fails
# the run; the failing input is kept in the build folder.
set -e
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${QNDIS_FUZZ_BUILD:-build/fuzz}"
cmake --preset fuzz -B "$build"
cmake --build "$build" -j2 --target fuzz_unpack_filter fuzz_make_corpus
corpus=fuzz/corpus/unpack
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"
"$build"/bin/fuzz_make_corpus "$corpus"
# New inputs go to a scratch folder so the committed seeds stay small.
"$build"/bin/fuzz_unpack_filter -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 \
  -artifact_prefix="$build/" -print_final_stats=1 "$work" "$corpus"
