#!/usr/bin/env bash
# Proves the README's two commands on a freshly installed Debian: makes a minimal Debian RELEASE
# (12, 13, or testing: a look at what the next release brings) with debootstrap in build/, from the
# mirror this machine's apt uses, puts a clean clone of the committed tree in, runs
# `bash scripts/run.sh` and `bash scripts/test.sh` there as root without a display, prints each
# command's result and time, and removes what it made. Any step that fails says so in one line.
#   bash scripts/fresh-machine.sh RELEASE
set -euo pipefail
cd "$(dirname "$0")/.."
trap 'echo "fresh-machine.sh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

case ${1:-} in
12) suite=bookworm ;;
13) suite=trixie ;;
14 | testing) suite=testing ;;
*) echo "usage: bash scripts/fresh-machine.sh 12|13|testing" >&2 && exit 2 ;;
esac
if [[ $(id -u) != 0 ]]; then
    exec sudo bash "$PWD/scripts/fresh-machine.sh" "$@" # debootstrap, chroot and mount need root
fi
scripts/install-deps.sh --fresh-machine

# The first Debian archive among this machine's package sources (not its security archive).
mirror=$({ sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources
    awk '$1 == "deb" { print $2 }' /etc/apt/sources.list /etc/apt/sources.list.d/*.list; } 2>/dev/null |
    tr ' ' '\n' | grep -E '/debian/?$' | head -n 1) || true
mirror=${mirror:-http://deb.debian.org/debian}
mkdir -p build
root=$PWD/build/fresh-debian-$1
log=$PWD/build/fresh-debian-$1.log

mounts_inside() { findmnt -rn -o TARGET | awk -v root="$root" '$0 == root || index($0, root "/") == 1'; }

# Ends whatever still runs inside, unmounts everything mounted there, deepest first, and removes the
# folder only when nothing is mounted beneath it any more; --one-file-system guards that once more.
remove_machine() {
    local process mount
    for process in /proc/[0-9]*; do
        if [[ $(readlink "$process/root" 2>/dev/null) == "$root" ]]; then
            kill -9 "${process#/proc/}" 2>/dev/null || true
        fi
    done
    while read -r mount; do
        umount "$mount" || umount -l "$mount"
    done < <(mounts_inside | sort -r)
    if [[ -n $(mounts_inside) ]]; then
        echo "Still mounted under $root; left in place." >&2
        return 1
    fi
    rm -rf --one-file-system "$root"
}
trap remove_machine EXIT
trap 'exit 1' INT TERM # the clean-up above runs on Ctrl-C too
[[ ! -e $root ]] || remove_machine

started=$SECONDS
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$log" 2>&1 ||
    { tail -n 20 "$log"; echo "debootstrap of Debian $1 ($suite) from $mirror failed" >&2; exit 1; }
# A mirror may be a snapshot, whose testing suite then reads as expired; apt is told to take it.
echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99snapshot"
mount -t proc proc "$root/proc"
# As on a booted machine: GNOME Shell asks its cgroup for its systemd unit before it starts Xwayland.
mount -t sysfs sysfs "$root/sys"
mount -t cgroup2 cgroup2 "$root/sys/fs/cgroup"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/"
git clone -q "$PWD" "$root/root/project"
echo "Debian $1 ($suite) made from $mirror in $((SECONDS - started)) s; the commands' output: $log"

# The README's commands, run inside as root with a bare environment: no display, no session.
status=0
for command in "bash scripts/run.sh" "bash scripts/test.sh"; do
    started=$SECONDS result=0
    echo "--- $command" >>"$log"
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 bash -c "cd /root/project && $command" </dev/null >>"$log" 2>&1 || result=$?
    echo "Debian $1: $command: exit $result after $((SECONDS - started)) s"
    if [[ $result != 0 ]]; then
        tail -n 40 "$log"
        status=1
    fi
done
exit "$status"
