#!/usr/bin/env bash
# Rehearses the README's test command on a fresh Debian of a given release: a minimal debootstrap
# chroot (kept between runs unless --fresh), /proc, /sys, /dev and /dev/pts bound into it, a fresh
# git clone of the current commit (uncommitted changes are left out), then `bash scripts/test.sh`
# inside as root. Prints ctest's summary and exits with the test status. Everything it mounted is
# unmounted, and everything left running in the chroot is stopped, however it ends.
#
#   scripts/check-release.sh [--fresh] [--dir DIR] [--mirror URL] RELEASE [TEST-ARGS...]
#
#   RELEASE     bookworm (Debian 12) or trixie (Debian 13)
#   --fresh     build the chroot anew, as a newcomer's machine (otherwise a chroot that an earlier
#               run made is reused, with the packages scripts/setup.sh installed in it then)
#   --dir DIR   where the chroot lives (default /var/tmp/quenlet-chroots/RELEASE)
#   --mirror    the Debian archive (default http://deb.debian.org/debian)
#   TEST-ARGS   passed to scripts/test.sh, e.g. -R SerialPort or -L x86_64
#
# Needs root and about 8 GB of disk per release (the chroot with its packages and both builds);
# installs debootstrap where it is missing. The full suite takes 20-35 minutes on two cores, plus
# about 10 for the packages of a fresh chroot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '8,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
die() { echo "check-release: $*" >&2; exit 2; }

fresh=no dir= mirror=http://deb.debian.org/debian
while (($#)); do
  case $1 in
    --fresh) fresh=yes; shift ;;
    --dir) (($# >= 2)) || usage; dir=$2; shift 2 ;;
    --mirror) (($# >= 2)) || usage; mirror=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) usage ;;
    *) break ;;
  esac
done
(($#)) || usage
release=$1
shift
case $release in
  bookworm|trixie) ;;
  *) die "unknown release '$release' (bookworm or trixie)" ;;
esac
[[ $(id -u) -eq 0 ]] || die "needs root (debootstrap, mount, chroot)"
dir=${dir:-/var/tmp/quenlet-chroots/$release}
dir=$(realpath -m -- "$dir")
[[ $dir != / && $dir != "$root" && $dir != "$root"/* ]] || die "the chroot cannot be at $dir"

commit=$(git -C "$root" rev-parse --verify HEAD)
[[ -z $(git -C "$root" status --porcelain --untracked-files=no) ]] ||
  echo "check-release: uncommitted changes are not part of the rehearsal (it tests ${commit:0:12})"

if ! command -v debootstrap >/dev/null; then
  echo "check-release: installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
fi

mkdir -p "$(dirname "$dir")"
# One run per chroot at a time.
exec {lock}>"$dir.lock"
flock -n "$lock" || die "another run is using $dir"

mounted=()       # mount points made by this run, in mounting order
# Processes whose root is the chroot: what the tests left running there.
chroot_processes() {
  local proc
  for proc in /proc/[0-9]*; do
    [[ $proc/root -ef $dir ]] && echo "${proc#/proc/}"
  done
  return 0
}
stop_chroot_processes() {
  local pids
  pids=$(chroot_processes)
  [[ -n $pids ]] || return 0
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  local -r deadline=$((SECONDS + 5))
  while ((SECONDS < deadline)); do
    pids=$(chroot_processes)
    [[ -n $pids ]] || return 0
    sleep 0.1
  done
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  sleep 0.5
}
unmount_all() {
  stop_chroot_processes
  local i target
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    target=${mounted[i]}
    umount "$target" 2>/dev/null || {
      echo "check-release: $target is busy; detached lazily" >&2
      umount --lazy "$target" || true
    }
  done
  mounted=()
}
# Anything still mounted below the chroot, e.g. after a run that was killed with SIGKILL.
mounts_below() { awk -v d="$dir/" 'index($2 "/", d) == 1 { print $2 }' /proc/self/mounts; }

finish() {
  local status=$?
  unmount_all
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Left over by a run that could not clean up after itself.
for target in $(mounts_below | sort -r); do
  umount "$target" 2>/dev/null || umount --lazy "$target"
done

ready="$dir/.quenlet-chroot-ready"
if [[ $fresh == yes || ! -e $ready ]]; then
  [[ -z $(mounts_below) ]] || die "something is still mounted below $dir"
  rm -rf --one-file-system -- "$dir"
  echo "check-release: debootstrap --variant=minbase $release $dir"
  debootstrap --variant=minbase "$release" "$dir" "$mirror" >"$dir.debootstrap.log" 2>&1 ||
    { tail -n 20 "$dir.debootstrap.log"; die "debootstrap failed (log: $dir.debootstrap.log)"; }
  # An installed system has the release's updates and security archives as well.
  security=${mirror%/debian}/debian-security
  cat >"$dir/etc/apt/sources.list" <<EOF
deb $mirror $release main
deb $mirror $release-updates main
deb $security $release-security main
EOF
  # Packages never start services in the chroot: nothing would stop them.
  printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
  chmod 755 "$dir/usr/sbin/policy-rc.d"
  touch "$ready"
fi
cp /etc/resolv.conf "$dir/etc/resolv.conf"

for point in proc sys dev dev/pts; do
  mkdir -p "$dir/$point"
  mount --bind "/$point" "$dir/$point"
  mounted+=("$dir/$point")
  # Nothing mounted or unmounted below the chroot reaches the machine's own tree.
  mount --make-slave "$dir/$point"
done

# The machine's /dev/shm is a mount of its own, which the bind of /dev does not carry.
if mountpoint -q /dev/shm; then
  mount --bind /dev/shm "$dir/dev/shm"
  mounted+=("$dir/dev/shm")
  mount --make-slave "$dir/dev/shm"
fi

tree=/root/quenlet
rm -rf --one-file-system -- "${dir:?}$tree"
git clone --quiet "$root" "$dir$tree"
git -C "$dir$tree" checkout --quiet --detach "$commit"

log="$dir.test.log"
echo "check-release: $release, commit ${commit:0:12}: bash scripts/test.sh${*:+ $*} (log: $log)"
started=$SECONDS
# In the background and waited for, so that INT and TERM are acted on at once (bash runs a trap
# only after the foreground command has ended); the trap stops what runs in the chroot.
status_file="$dir.status"
rm -f "$status_file"
(
  set +e
  chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd "$0" && exec bash scripts/test.sh "$@"' "$tree" "$@"
  echo $? >"$status_file"
) 2>&1 | tee "$log" &
wait $! || true
status=$(cat "$status_file" 2>/dev/null || echo 1)
elapsed=$((SECONDS - started))

echo
echo "check-release: $release ($(chroot "$dir" dpkg-query -W -f='wine ${Version}' wine 2>/dev/null ||
  echo 'wine not installed')), commit ${commit:0:12}, ${elapsed} s, status $status"
# ctest's summary: from its "% tests passed" line to the end.
sed -n '/tests passed, .* tests failed out of/,$p' "$log"
exit "$status"
