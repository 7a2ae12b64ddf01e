#!/usr/bin/env bash
# Rehearses the README's test command on a fresh Debian of a given release: a minimal debootstrap
# chroot (kept between runs unless --fresh), /proc, /sys, /dev and /dev/pts bound into it, a fresh
# git clone of the current commit (uncommitted changes are left out), then `bash scripts/test.sh`
# inside as root. Prints ctest's summary and exits with the test status. Everything it mounted is
# unmounted, and everything left running in the chroot is stopped, however it ends.
#
#   scripts/check-release.sh [--fresh] [--dir DIR] [--mirror URL] [--print-plan]
#                            RELEASE [TEST-ARGS...]
#
#   RELEASE       bookworm (Debian 12) or trixie (Debian 13)
#   --fresh       build the chroot anew, as a newcomer's machine (otherwise a chroot that an earlier
#                 run made is reused, with the packages scripts/setup.sh installed in it then)
#   --dir DIR     where the chroot lives (default /var/tmp/quenlet-chroots/RELEASE)
#   --mirror URL  the Debian archive (default the machine's own, from its apt sources; where they
#                 name none, debootstrap's default)
#   --print-plan  print the archives and the debootstrap command of a fresh chroot, and stop
#   TEST-ARGS     passed to scripts/test.sh, e.g. -R SerialPort or -L x86_64
#
# The apt sources are read from $APT_SOURCES_DIR (default /etc/apt): sources.list and
# sources.list.d/*.list, *.sources. The chroot's security archive is the machine's own (a -security
# suite there); else the archive's .../debian-security where that carries the release; else the
# chroot has no security updates, and the run says so.
#
# Needs root and about 8 GB of disk per release (the chroot with its packages and both builds);
# installs debootstrap where it is missing. The full suite takes 20-35 minutes on two cores, plus
# about 10 for the packages of a fresh chroot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '8,23s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
die() { echo "check-release: $*" >&2; exit 2; }

fresh=no dir='' mirror='' print_plan=no
while (($#)); do
  case $1 in
    --fresh) fresh=yes; shift ;;
    --dir) (($# >= 2)) || usage; dir=$2; shift 2 ;;
    --mirror) (($# >= 2)) || usage; mirror=$2; shift 2 ;;
    --print-plan) print_plan=yes; shift ;;
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

# The binary entries of the Debian archive in the apt sources below DIR, in apt's order, one
# "URI SUITE FILE" a line: both the one-line format and deb822 stanzas (every URI and suite of
# one). Only http and https URIs (a cdrom:, file: or copy: source is not a place debootstrap can
# fetch from, nor the chroot later), only suites with the main component, and only suites named
# as Debian's releases (or their aliases) with their -updates, -security, -backports: that leaves
# out other distributions and most other vendors' archives. A vendor's archive that names its
# suites as Debian does, or a snapshot of the archive older than the release, cannot be told
# offline; --mirror then names the archive.
debian_sources() {
  local files=() file
  if [[ -f $1/sources.list ]]; then files+=("$1/sources.list"); fi
  for file in "$1"/sources.list.d/*; do
    if [[ -f $file && ($file == *.list || $file == *.sources) ]]; then files+=("$file"); fi
  done
  ((${#files[@]})) || return 0
  awk '
    function debian(suite, base) {
      base = suite
      sub(/-(updates|security|backports|backports-sloppy|proposed-updates)$/, "", base)
      return base ~ /^(buster|bullseye|bookworm|trixie|forky|duke|sid)$/ ||
        base ~ /^(oldoldstable|oldstable|stable|testing|unstable)$/
    }
    function entry(uri, suite, components, file) {
      sub(/\/+$/, "", uri)
      if (uri ~ /^https?:\/\/[^\/]/ && debian(suite) && (" " components " ") ~ /[ \t]main[ \t]/)
        print uri, suite, file
    }
    # A deb822 stanza: every URI with every suite, where it is enabled and of type deb. It ends
    # at a blank line or at the end of its file, which is seen only in the next file.
    function stanza(types, uris, suites, nt, nu, ns, t, u, s) {
      if (tolower(field["enabled"]) !~ /^[ \t]*(no|false)[ \t]*$/) {
        nt = split(field["types"], types)
        nu = split(field["uris"], uris)
        ns = split(field["suites"], suites)
        for (t = 1; t <= nt; t++) if (types[t] == "deb")
          for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
            entry(uris[u], suites[s], field["components"], stanza_file)
      }
      split("", field)
      name = ""
    }
    FNR == 1 { stanza(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 && /^#/ { next }
    deb822 && /^[ \t]*$/ { stanza(); next }
    deb822 && /^[ \t]/ { if (name != "") field[name] = field[name] " " $0; next }
    deb822 {
      stanza_file = FILENAME
      name = tolower(substr($0, 1, index($0, ":") - 1))
      field[name] = substr($0, index($0, ":") + 1)
      next
    }
    # One line: deb [OPTIONS] URI SUITE COMPONENTS...
    {
      sub(/#.*/, "")
      if ($1 != "deb") next
      line = $0
      sub(/^[ \t]*deb[ \t]+/, "", line)
      if (line ~ /^\[/ && !sub(/^\[[^]]*\][ \t]*/, "", line)) next
      n = split(line, word)
      components = ""
      for (i = 3; i <= n; i++) components = components " " word[i]
      entry(word[1], word[2], components, FILENAME)
    }
    END { stanza() }
  ' "${files[@]}"
}

# The archive (KIND archive) or the security archive (KIND security) for RELEASE in the apt
# sources below DIR, "URI FILE", or nothing: an entry of the release itself before one of another
# Debian release (on a bookworm machine, its archive has trixie as well).
choose_source() {
  local -r sources_dir=$1 release=$2 kind=$3
  local sources uri suite file other=
  sources=$(debian_sources "$sources_dir") || return
  while read -r uri suite file; do
    case $kind:$suite in
      archive:"$release" | archive:"$release"-updates | security:"$release"-security)
        echo "$uri $file"; return 0 ;;
      archive:*-security) ;;
      archive:* | security:*-security) other=${other:-$uri $file} ;;
    esac
  done <<<"$sources"
  if [[ -n $other ]]; then echo "$other"; fi
}

# Security fixes are published on Debian's own security archive, which most mirrors do not carry
# (it is not mirrored so that fixes reach machines at once). So the machine's own security source
# is used where it has one; without one, .../debian-security beside an archive at .../debian is
# only a guess, and is used only after it is seen to carry the release's security suite.
derived_security() {
  if [[ $1 == http*://*/debian ]]; then echo "${1%/debian}/debian-security"; fi
}
carries_security() {
  wget -q --spider --timeout=30 --tries=2 "$1/dists/$release-security/InRelease"
}

apt_sources_dir=${APT_SOURCES_DIR:-/etc/apt}
mirror_from="--mirror"
if [[ -z $mirror ]]; then
  chosen=$(choose_source "$apt_sources_dir" "$release" archive)
  read -r mirror mirror_from <<<"$chosen"
fi
chosen=$(choose_source "$apt_sources_dir" "$release" security)
read -r security security_from <<<"$chosen"
dir=${dir:-/var/tmp/quenlet-chroots/$release}
dir=$(realpath -m -- "$dir")
# Without a Debian archive in the machine's sources, debootstrap picks its own default.
debootstrap_command=(debootstrap --variant=minbase)
# An https security archive needs the certificates, which minbase leaves out (debootstrap adds
# them itself only for an https archive).
if [[ $security == https://* && $mirror != https://* ]]; then
  debootstrap_command+=(--include=ca-certificates)
fi
debootstrap_command+=("$release" "$dir" ${mirror:+"$mirror"})

plan() {
  if [[ -n $mirror ]]; then
    echo "check-release: archive $mirror (from $mirror_from)"
  else
    echo "check-release: archive debootstrap's default (no Debian archive in $apt_sources_dir)"
  fi
  if [[ -n $security ]]; then
    echo "check-release: security $security (from $security_from)"
  elif [[ -z $mirror ]]; then
    echo "check-release: security beside debootstrap's archive, if that carries $release-security"
  elif [[ -n $(derived_security "$mirror") ]]; then
    echo "check-release: security $(derived_security "$mirror"), if that carries $release-security"
  else
    echo "check-release: security updates left out (no security source in $apt_sources_dir," \
      "and none known beside $mirror)"
  fi
  echo "check-release: ${debootstrap_command[*]}"
}
if [[ $print_plan == yes ]]; then
  plan
  exit 0
fi

[[ $(id -u) -eq 0 ]] || die "needs root (debootstrap, mount, chroot)"
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
  plan
  "${debootstrap_command[@]}" >"$dir.debootstrap.log" 2>&1 ||
    { tail -n 20 "$dir.debootstrap.log"; die "debootstrap failed (log: $dir.debootstrap.log)"; }
  if [[ -z $mirror ]]; then
    # debootstrap's sources.list names the archive it chose.
    chosen=$(choose_source "$dir/etc/apt" "$release" archive)
    read -r mirror _ <<<"$chosen"
    [[ -n $mirror ]] || die "no archive in the sources.list that debootstrap wrote in $dir"
    echo "check-release: debootstrap used $mirror"
  fi
  if [[ -z $security ]]; then
    security=$(derived_security "$mirror")
    if [[ -n $security ]] && ! carries_security "$security"; then
      echo "check-release: $security does not carry $release-security"
      security=
    fi
    [[ -n $security ]] ||
      echo "check-release: security updates left out: no security archive known for $mirror"
  fi
  # An installed system has the release's updates and security archives as well.
  {
    echo "deb $mirror $release main"
    echo "deb $mirror $release-updates main"
    if [[ -n $security ]]; then echo "deb $security $release-security main"; fi
  } >"$dir/etc/apt/sources.list"
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
