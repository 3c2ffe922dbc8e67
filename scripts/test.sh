#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test suite: first the normal
# build (g++), then the AddressSanitizer + UndefinedBehaviorSanitizer build (clang), whose
# suite also runs each libFuzzer target for FUZZ_SECONDS (20) over its seed corpus, then the
# relay service and its tests under ThreadSanitizer (the relay alone: its threads are the
# program's only shared state served from several threads at once).
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

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON
cmake --build build-tsan --target velmora-relay tst_relay
# A reported race ends the relay with a failure, so the suite fails with it.
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --output-on-failure -R relay)
