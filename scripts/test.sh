#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test suite: first the normal
# build (g++), then the AddressSanitizer + UndefinedBehaviorSanitizer build (clang), whose
# suite also runs each libFuzzer target for FUZZ_SECONDS (20) over its seed corpus.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   the normal build only
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure -j2)
[ "${1:-}" = --quick ] && exit 0

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS=-O1 -DCMAKE_CXX_FLAGS=-O1 -DVELMORA_SANITIZE=ON -DVELMORA_FUZZ=ON \
    -DFUZZ_SECONDS="${FUZZ_SECONDS:-20}"
cmake --build build-asan
(cd build-asan && ctest --output-on-failure -j2)
