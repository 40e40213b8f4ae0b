#!/bin/sh
# Remakes the seed inputs of the WIC fuzz harness in corpus/wic with the test encoder.
# Usage: fuzz/make_wic_corpus.sh <build folder>   (for example build/release)
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?build folder}"
cmake --build "$build" --target wic_seed_writer
mkdir -p "$here/corpus/wic"
"$build/fuzz/wic_seed_writer" "$here/corpus/wic"
