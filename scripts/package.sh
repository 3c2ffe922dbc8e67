#!/usr/bin/env bash
# Builds the Debian package velmora_<version>_<arch>.deb for /usr in build-deb/, with its
# dependencies computed by dpkg-shlibdeps, and prints its size and dependency line.
#   scripts/package.sh        then: sudo apt install ./build-deb/velmora_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Only what is installed is built: the tests and benchmarks stay out of this tree.
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
cmake --build build-deb --target velmora velmora-chrono-sim velmora-relay devlink devcore devcore_sim shot_sound
rm -f build-deb/velmora_*.deb
(cd build-deb && cpack -G DEB)
deb=$(ls build-deb/velmora_*.deb)
echo "$deb: $(du -k "$deb" | cut -f1) KiB"
dpkg-deb -f "$deb" Depends
