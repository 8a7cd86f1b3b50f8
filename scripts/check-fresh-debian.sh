#!/usr/bin/env bash
# Runs one of the README's two commands in a fresh minimal Debian 12 (debootstrap's minbase:
# bash and apt, no make, git or sudo), on a copy of the project as a tarball would bring it.
#   scripts/check-fresh-debian.sh test              as root: bash scripts/run-tests.sh
#   scripts/check-fresh-debian.sh --user run ARGS   as a user with sudo: bash scripts/run.sh ARGS
# --user installs sudo and makes a user who is in group sudo and also has a rule without a
# password, then runs the command as that user without a terminal. Needs root and the Debian
# mirror; takes 20-40 minutes (apt and a build from nothing). The system is removed at the end
# unless --keep is given. What the command prints is shown as it comes.
set -euo pipefail
cd "$(dirname "$0")/.."

user=false
keep=false
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --user) user=true ;;
    --keep) keep=true ;;
    *)
        echo "unknown option: $1" >&2
        exit 2
        ;;
    esac
    shift
done
case "${1:-}" in
test) command=(bash scripts/run-tests.sh) ;;
run) command=(bash scripts/run.sh) ;;
*)
    echo "usage: scripts/check-fresh-debian.sh [--user] [--keep] test|run [ARGS...]" >&2
    exit 2
    ;;
esac
shift
command+=("$@")
[[ $(id -u) -eq 0 ]] || { echo "this check needs root (debootstrap, chroot)" >&2; exit 1; }

log=$(mktemp "${TMPDIR:-/tmp}/tunvero-fresh.XXXXXX.log")
# shellcheck source=lib/steps.sh
source scripts/lib/steps.sh

root=$(mktemp -d /var/tmp/tunvero-debian12.XXXXXX)
# It becomes "/": every user must be able to enter it.
chmod 755 "$root"
mounts=()
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
    if $keep; then
        echo "The system is kept in $root"
    else
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT

mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
export DEBIAN_FRONTEND=noninteractive
command -v debootstrap >/dev/null ||
    step "Installing debootstrap" apt-get install -y -q --no-install-recommends debootstrap
step "Making a minimal Debian 12 in $root" debootstrap --variant=minbase bookworm "$root" "$mirror"
for m in proc sys dev dev/pts; do
    case "$m" in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sys "$root/sys" ;;
    dev) mount --bind /dev "$root/dev" ;;
    dev/pts) mount -t devpts -o newinstance devpts "$root/dev/pts" ;;
    esac
    mounts+=("$root/$m")
done
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
mounts+=("$root/dev/shm")
cp /etc/resolv.conf "$root/etc/resolv.conf"

# The project's files as a tarball carries them: tracked and new files, no .git, no builds.
home=/root
owner=root
if $user; then
    home=/home/tunvero-user
    owner=tunvero-user
    step "Installing sudo" chroot "$root" apt-get install -y -q --no-install-recommends sudo
    chroot "$root" useradd -m -s /bin/bash -G sudo "$owner"
    echo "$owner ALL=(ALL) NOPASSWD: ALL" >"$root/etc/sudoers.d/$owner"
    chmod 440 "$root/etc/sudoers.d/$owner"
fi
mkdir -p "$root$home/tunvero"
git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --no-recursion |
    tar -xf - -C "$root$home/tunvero"
chroot "$root" chown -R "$owner:" "$home/tunvero"

echo "Running as $owner, without a terminal: ${command[*]}"
start=$SECONDS
status=0
# A login's plain environment; no standard input, as in CI.
chroot "$root" runuser -u "$owner" -- env -i HOME="$home" USER="$owner" LOGNAME="$owner" \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin CI="${CI:-}" \
    bash -c 'cd ~/tunvero && "$@"' bash "${command[@]}" </dev/null || status=$?
echo "The command ended with status $status after $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s."
exit "$status"
