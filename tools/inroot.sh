#!/usr/bin/env bash
# Runs tools/setup.sh inside a fresh Debian root, made with debootstrap from the Debian archive
# this machine's apt already uses, to prove the program on another release:
#   tools/inroot.sh SUITE [setup.sh arguments]     e.g. tools/inroot.sh trixie test
# The root is made anew in $VEKEDIT_ROOTS (default /var/tmp) and removed afterwards. Needs root.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
suite=${1:?usage: $0 SUITE [setup.sh arguments]}
shift
root=${VEKEDIT_ROOTS:-/var/tmp}/vekedit-root-$suite

# The first Debian archive in the apt sources, deb822 or one-line style; not the security one.
archive() {
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -E '^URIs:' |
            awk '{for (i = 2; i <= NF; i++) print $i}'
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | grep -E '^deb ' |
            sed -E 's/\[[^]]*\]//' | awk '{print $2}'
    } | grep -E '/debian/?$' | grep -v security | head -n 1 || true
}

# Whatever is mounted inside the root goes before the root itself: removing a root with /dev or
# /sys bound inside it would delete the machine's own.
unmount_all() {
    local m
    for m in $(findmnt -rn -o TARGET | grep -E "^$root/" | sort -r); do
        umount -R "$m" 2>/dev/null || umount -l "$m"
    done
    ! findmnt -rn -o TARGET | grep -qE "^$root/"
}

cleanup() {
    if unmount_all; then
        rm -rf "$root"
    else
        echo "inroot: $root still has mounts; left in place" >&2
    fi
}

mirror=$(archive)
[ -n "$mirror" ] || { echo "inroot: no Debian archive in the apt sources" >&2; exit 1; }
command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
cleanup
trap cleanup EXIT
echo "== $suite from $mirror"
debootstrap --variant=minbase --components=main,contrib "$suite" "$root" "$mirror" >/dev/null
# An archive snapshot's Release files may be past their Valid-Until: accepted in this root only.
echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99vekedit-snapshot"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"
mount -t tmpfs tmpfs "$root/tmp"
# The project as it is here, committed or not, without its build folders.
mkdir -p "$root/root/vekedit"
(cd "$here" && git ls-files -z -co --exclude-standard | tar --null -T - -cf -) |
    tar -xf - -C "$root/root/vekedit"
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    ${CI:+CI=$CI} bash -c 'cd /root/vekedit && tools/setup.sh "$@"' setup "$@"
