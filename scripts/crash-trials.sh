#!/usr/bin/env bash
# Kills the real program at random moments while it captures, and checks every recorded shot
# is replayed at the next start.   scripts/crash-trials.sh [TRIALS] [SHOTS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target crash-trials velmora velmora-chrono-sim
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
cd "$work"
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" VELMORA_BIN="$OLDPWD/build/bin" \
    "$OLDPWD/build/bin/crash-trials" "$@"
