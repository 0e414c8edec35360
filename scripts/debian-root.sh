# Sourced. debian_root CODENAME ROOT makes a minimal Debian root with debootstrap the first time
# and keeps it (ROOT/.complete marks a finished one), then holds ROOT.lock on descriptor 9 so that
# one run at a time, from whichever clone, uses it. in_mounted_root ROOT COMMAND... runs COMMAND
# in it, as root, with the kernel's file systems mounted in a mount namespace of its own, so the
# mounts end with the command however it ends.
# shellcheck shell=bash
debian_root() {
    local codename=$1 root=$2
    mkdir -p "$(dirname "$root")"
    exec 9>"$root.lock"
    flock 9
    if [[ ! -e "$root/.complete" ]]; then
        rm -rf --one-file-system "$root.new"
        debootstrap --variant=minbase "$codename" "$root.new" http://deb.debian.org/debian >/dev/null
        rm -rf --one-file-system "$root"
        mv "$root.new" "$root"
        touch "$root/.complete"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
}

# Extra bind mounts go in the array root_binds (host paths, mounted at the same path inside).
in_mounted_root() {
    local root=$1
    shift
    unshare --mount --propagation private bash -euo pipefail -c '
        root=$1
        shift
        for fs in proc sys dev; do mount --rbind "/$fs" "$root/$fs"; done
        while [[ $1 != -- ]]; do
            mkdir -p "$root$1"
            mount --bind "$1" "$root$1"
            shift
        done
        shift
        exec chroot "$root" "$@"' bash "$root" ${root_binds[@]+"${root_binds[@]}"} -- "$@"
}
