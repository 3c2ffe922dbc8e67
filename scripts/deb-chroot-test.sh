#!/usr/bin/env bash
# Tries the Debian package on a clean Debian 12: a minimal bookworm system made by debootstrap
# from this machine's own Debian mirror, "apt install ./velmora_*.deb" there without recommended
# packages (so the Depends line alone must do), then, as an ordinary user and headless, Velmora
# started by its menu entry's command in the home folder and by "velmora" from a shell in another
# folder, the relay and the simulator; then removal and purge. Slow (a base system is downloaded
# once and kept in build-chroot/base): not part of the test suite.
#   scripts/deb-chroot-test.sh [PACKAGE.deb]      as root, after scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "debootstrap and chroot need root" >&2; exit 1; }
deb=${1:-$(ls -t build-deb/velmora_*.deb 2>/dev/null | head -1)}
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
deb=$(realpath "$deb")
base=$PWD/build-chroot/base
root=$PWD/build-chroot/run

sources=/etc/apt/sources.list.d/debian.sources
mirror=${MIRROR:-}
[ -n "$mirror" ] || mirror=$(awk '/^URIs:/ {print $2; exit}' "$sources" 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list)
if [ ! -x "$base/usr/bin/apt-get" ]; then
    command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    rm -rf "$base.tmp"
    debootstrap --variant=minbase bookworm "$base.tmp" "$mirror"
    mv "$base.tmp" "$base"
fi

# A fresh copy of the base system for every run, with this machine's sources (security updates
# included) when they are bookworm's, and its name server.
rm -rf "$root"
cp -a "$base" "$root"
if grep -qs 'bookworm' "$sources"; then
    cp "$sources" "$root/etc/apt/sources.list.d/"
    rm -f "$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"

cat > "$root/tmp/inside.sh" <<'INSIDE'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd /tmp
apt-get update -qq
apt-get install -y -q --no-install-recommends ./velmora_*.deb > apt.log
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' apt.log
echo "Depends: $(dpkg-query -W -f='${Depends}' velmora)"
echo "Installed-Size: $(dpkg-query -W -f='${Installed-Size}' velmora) KiB"

useradd --create-home shooter
runtime=/tmp/runtime-shooter
install -d -m 700 -o shooter -g shooter "$runtime"
home=/home/shooter
# The CED M2 chosen: start-up loads Devlink and Devcore and opens no serial port.
install -d -o shooter -g shooter "$home/.config" "$home/.config/Velmora" "$home/range"
printf '[Settings]\nchronoType=3\n' > "$home/.config/Velmora/Velmora.conf"
chown shooter:shooter "$home/.config/Velmora/Velmora.conf"

# Starts a command as the user, headless, in a folder; waits for the main window, shows which
# Devlink and Devcore it loaded, ends it.
start_as_user() {
    local folder=$1
    shift
    (cd "$folder" && exec setpriv --reuid=shooter --regid=shooter --init-groups env -i HOME="$home" \
        PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen VELMORA_REPORT_SHOWN=1 "$@") \
        > /tmp/velmora.out 2>&1 &
    local pid=$! shown=""
    for _ in $(seq 300); do
        if grep -q 'main window shown' /tmp/velmora.out; then shown=yes; break; fi
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$shown" ] && grep -oE '/[^ ]*lib(devlink|devcore)\.so' /proc/$pid/maps | sort -u | sed 's/^/  loaded /'
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    grep 'main window shown' /tmp/velmora.out || { cat /tmp/velmora.out; return 1; }
}

exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/velmora.desktop)
echo "menu entry (Exec=$exec_line, in the home folder):"
start_as_user "$home" $exec_line
test -f "$home/.local/share/Velmora/Velmora/pellet.store" && ! test -e "$home/pellet.store"
echo "  pellet.store in ~/.local/share/Velmora/Velmora"
echo "shell (velmora in ~/range):"
start_as_user "$home/range" velmora
test -f "$home/range/pellet.store"
echo "  pellet.store in ~/range"

echo "velmora-chrono-sim: $(setpriv --reuid=shooter --regid=shooter --init-groups timeout 2 velmora-chrono-sim \
    | head -1 || true)"
echo "velmora-relay: $(setpriv --reuid=shooter --regid=shooter --init-groups timeout 2 velmora-relay \
    --db /tmp/relay.db serve --port 0 --seed /usr/share/velmora/seed | head -1 || true)"
test -f /usr/lib/udev/rules.d/70-velmora-ced-m2.rules
test -f /usr/lib/systemd/system/velmora-relay.service
! test -e /etc/systemd/system/multi-user.target.wants/velmora-relay.service
echo "udev rule and relay unit installed; the unit is not enabled"
apt-get purge -y -q velmora > /dev/null
! test -e /usr/bin/velmora
echo "purged"
INSIDE

# /proc and the pseudo-terminals for the programs, in a mount namespace of its own that goes
# when this ends.
unshare --mount --fork bash -c "mount -t proc proc '$root/proc' && mount --bind /dev/pts '$root/dev/pts' &&
    chroot '$root' bash /tmp/inside.sh"
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB; clean Debian 12 install: passed"
