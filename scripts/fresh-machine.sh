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
release=$1
if [[ $(id -u) != 0 ]]; then # debootstrap, chroot and mount need root
    command -v sudo >/dev/null || { echo "fresh-machine.sh needs root: run it as root." >&2 && exit 4; }
    exec sudo bash "$PWD/scripts/fresh-machine.sh" "$@"
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
# A newcomer: an ordinary user with a clone of their own, on a Debian without sudo.
chroot "$root" useradd -m newcomer
git clone -q "$PWD" "$root/home/newcomer/project"
chroot "$root" chown -R newcomer: /home/newcomer/project
echo "Debian $1 ($suite) made from $mirror in $((SECONDS - started)) s; the commands' output: $log"

# Runs command $2 inside, in the project's clone of user $1 (root or newcomer), with a bare
# environment: no display, no session, no terminal. Prints its exit code and time; a code other
# than $3 fails the machine, with the end of the log.
status=0
run_inside() {
    local started=$SECONDS result=0 home=/root as_user=()
    [[ $1 == root ]] || home=/home/$1 as_user=(setpriv --reuid="$1" --regid="$1" --init-groups)
    echo "--- $1: $2" >>"$log"
    chroot "$root" "${as_user[@]}" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME="$home" LANG=C.UTF-8 bash -c "cd ~/project && $2" </dev/null >>"$log" 2>&1 || result=$?
    echo "Debian $release, $1: $2: exit $result after $((SECONDS - started)) s"
    if [[ $result != "$3" ]]; then
        tail -n 40 "$log"
        status=1
    fi
}
# The README's commands. The newcomer is told the command to run as root, root runs it, and then
# the run command works for the newcomer; root runs the test command.
run_inside newcomer "bash scripts/run.sh" 4
run_inside root "$(grep -o "su -c '.*'" "$log" | tail -n 1)" 0
run_inside newcomer "bash scripts/run.sh" 0
run_inside root "bash scripts/test.sh" 0
exit "$status"
