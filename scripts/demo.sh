#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it on a simulated chronograph.
# Everything lives in ./demo: its own settings folder and working directory, so the
# user's own settings and database are never touched.
#   scripts/demo.sh [chrony|combro|prochrono|ced]
set -euo pipefail
cd "$(dirname "$0")/.."
family=${1:-chrony}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target velmora velmora-chrono-sim shot_sound devlink devcore devcore_sim

demo=$PWD/demo
mkdir -p "$demo/config/Velmora" "$demo/work"
device="$demo/chronograph-tty"
case "$family" in
    chrony) chrono_type=1 ;;
    combro) chrono_type=2 ;;
    ced) chrono_type=3 ;;
    prochrono) chrono_type=4 ;;
    *) echo "usage: scripts/demo.sh [chrony|combro|prochrono|ced]" >&2; exit 2 ;;
esac
cat > "$demo/config/Velmora/Velmora.conf" <<CONF
[Ports]
1=$device

[Settings]
chronoType=$chrono_type
txtComm=1
txtWeight=8.44
txtMake=Weihrauch
txtModel=HW100
txtPelletMake=JSB Exact
txtCaliber=.22
optType=12
CONF

env=()
if [ "$family" = ced ]; then
    # The simulated CED M2 build of Devcore, found first on the library search path.
    {
        echo "string 781.2 779.6 783.4"
        for i in $(seq 1 200); do echo "at $((4000 + i * 2500)) shot $((760 + RANDOM % 40)).$((RANDOM % 10))"; done
    } > "$demo/ced-scenario.txt"
    env=(LD_LIBRARY_PATH="$PWD/build/devcore-sim" DEVCORE_SIM_SCENARIO="$demo/ced-scenario.txt")
else
    build/bin/velmora-chrono-sim --family "$family" --link "$device" --random 500 --seed "$RANDOM" \
        --min 760 --max 800 --pace-ms 2500 --start-delay-ms 3000 --strings "781.2,779.6,783.4;790.1,788.7" \
        > "$demo/sim.log" &
    sim=$!
    trap 'kill $sim 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$device" ] && break; sleep 0.1; done
fi

run=()
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    if command -v xvfb-run >/dev/null; then
        echo "No desktop session: running under xvfb-run (nothing will be visible)."
        run=(xvfb-run -a)
    else
        echo "No desktop session (DISPLAY is not set): start this from a desktop." >&2
        exit 1
    fi
fi
echo "Velmora is starting on a simulated $family; a shot arrives every 2.5 s."
cd "$demo/work"
env XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data" "${env[@]}" "${run[@]}" "$OLDPWD/build/bin/velmora"
