#!/usr/bin/env bash
# Checks which archives scripts/check-release.sh would give a fresh chroot, from made-up apt
# sources of both formats, through its --print-plan (nothing is downloaded, no root needed).
# Usage: tests/native/check_release_mirror.sh
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
script=$root/scripts/check-release.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chroot_dir=$(realpath -m -- "$work/chroot")
# The plan's lines.
archive="check-release: archive"
security="check-release: security"
bookworm="check-release: debootstrap --variant=minbase bookworm $chroot_dir"
trixie="check-release: debootstrap --variant=minbase trixie $chroot_dir"

passed=0
failed=0

# sources NAME: a fresh apt directory $work/NAME, filled from FILE<<EOF blocks by the caller.
sources() {
    rm -rf "${work:?}/$1"
    mkdir -p "$work/$1/sources.list.d"
}

# expect NAME DESCRIPTION ARGS... -- LINE...: the plan for ARGS with the apt sources of NAME
# holds every LINE (whole lines), and the script exits 0.
expect() {
    local -r name=$1 description=$2
    shift 2
    local args=()
    while [ "$1" != -- ]; do args+=("$1"); shift; done
    shift
    local output status line missing=()
    output=$(APT_SOURCES_DIR="$work/$name" bash "$script" --print-plan --dir "$chroot_dir" \
        "${args[@]}" 2>&1)
    status=$?
    for line in "$@"; do
        grep -Fxq -- "$line" <<<"$output" || missing+=("$line")
    done
    if [ "$status" -eq 0 ] && [ ${#missing[@]} -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $description (status $status)"
        printf '  missing: %s\n' "${missing[@]}"
        printf '  plan:    %s\n' "$output"
    fi
}

# One-line format: options, deb-src, cdrom:, a vendor archive without main under Debian's suite
# name, other distributions, a trailing slash, comments.
sources one-line
cat >"$work/one-line/sources.list" <<'EOF'
# deb http://commented.example.org/debian bookworm main
deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_]/ bookworm main
deb-src http://src.example.org/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/vendor.gpg] https://vendor.example.com/linux/debian bookworm stable
deb http://archive.example.net/ubuntu jammy main restricted
deb [ arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://mirror.example.net/debian/ bookworm main contrib  # the archive
deb http://mirror.example.net/debian/ bookworm-updates main contrib
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://security.example.net/debian-security bookworm-security main
EOF
cat >"$work/one-line/sources.list.d/cloud.list" <<'EOF'
deb https://packages.cloud.example.com/apt cloud-sdk-bookworm main
EOF
list=$work/one-line/sources.list
expect one-line "one-line sources: the archive and its security source" bookworm -- \
    "$archive http://mirror.example.net/debian (from $list)" \
    "$security http://security.example.net/debian-security (from $list)" \
    "$bookworm http://mirror.example.net/debian"
expect one-line "one-line sources of bookworm, rehearsing trixie" trixie -- \
    "$archive http://mirror.example.net/debian (from $list)" \
    "$security http://security.example.net/debian-security (from $list)" \
    "$trixie http://mirror.example.net/debian"
expect one-line "--mirror overrides the sources' archive, not their security source" \
    --mirror http://other.example.org/debian bookworm -- \
    "$archive http://other.example.org/debian (from --mirror)" \
    "$security http://security.example.net/debian-security (from $list)" \
    "$bookworm http://other.example.org/debian"

# deb822: a disabled stanza, a deb-src one, several types, URIs and suites, a key written into
# Signed-By (continuation lines), comments; sources.list.d files are read in name order.
sources deb822
cat >"$work/deb822/sources.list.d/00-disabled.sources" <<'EOF'
Types: deb
URIs: http://disabled.example.org/debian
Suites: bookworm
Components: main
Enabled: no
EOF
cat >"$work/deb822/sources.list.d/debian.sources" <<'EOF'
# Debian, from two mirrors
Types: deb-src
URIs: http://src.example.org/debian
Suites: bookworm trixie
Components: main

Types: deb deb-src
URIs: file:/srv/local-debian
 https://first.example.org/debian
  http://second.example.org/debian
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD9K7UgrF6tCEdK
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: http://trixie.example.org/debian
Suites: trixie trixie-updates
Components: contrib main

Types: deb
URIs: https://security.example.org/debian-security/
Suites: bookworm-security trixie-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
cat >"$work/deb822/sources.list.d/nodesource.sources" <<'EOF'
Types: deb
URIs: https://deb.nodesource.example/node_20.x
Suites: nodistro
Components: main
EOF
list=$work/deb822/sources.list.d/debian.sources
expect deb822 "deb822 sources: the first usable URI, the security stanza" bookworm -- \
    "$archive https://first.example.org/debian (from $list)" \
    "$security https://security.example.org/debian-security (from $list)" \
    "$bookworm https://first.example.org/debian"
# An https security archive beside an http one: the chroot needs the certificates.
certificates="check-release: debootstrap --variant=minbase --include=ca-certificates"
expect deb822 "deb822 sources: the stanza of the release rehearsed comes first" trixie -- \
    "$archive http://trixie.example.org/debian (from $list)" \
    "$security https://security.example.org/debian-security (from $list)" \
    "$certificates trixie $chroot_dir http://trixie.example.org/debian"

# Both formats at once: sources.list before sources.list.d, whose files go in name order.
sources both
cat >"$work/both/sources.list" <<'EOF'
deb http://list.example.org/debian stable main
EOF
cat >"$work/both/sources.list.d/10-bookworm.sources" <<'EOF'
Types: deb
URIs: http://stanza.example.org/debian
Suites: bookworm
Components: main
EOF
cat >"$work/both/sources.list.d/20-bookworm.list" <<'EOF'
deb http://later.example.org/debian bookworm main
EOF
expect both "an entry of the release rehearsed before an alias, in apt's file order" bookworm -- \
    "$archive http://stanza.example.org/debian (from $work/both/sources.list.d/10-bookworm.sources)"

# No security source: derived beside an archive at .../debian (checked at run time), else none.
sources no-security
cat >"$work/no-security/sources.list" <<'EOF'
deb http://mirror.example.net/debian bookworm main
EOF
expect no-security "no security source, an archive at .../debian" bookworm -- \
    "$archive http://mirror.example.net/debian (from $work/no-security/sources.list)" \
    "$security http://mirror.example.net/debian-security, if that carries bookworm-security"
sources snapshot
cat >"$work/snapshot/sources.list" <<'EOF'
deb http://snapshot.example.org/archive/debian/20250520T000000Z bookworm main
EOF
snapshot=http://snapshot.example.org/archive/debian/20250520T000000Z
expect snapshot "no security source, an archive elsewhere" bookworm -- \
    "$archive $snapshot (from $work/snapshot/sources.list)" \
    "$security updates left out (no security source in $work/snapshot, and none known beside $snapshot)"

# No Debian archive at all: debootstrap is called without one, and chooses.
sources none
cat >"$work/none/sources.list" <<'EOF'
deb-src http://src.example.org/debian bookworm main
deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_]/ bookworm main
deb file:/srv/local-debian bookworm main
deb http://archive.example.net/ubuntu jammy main
EOF
cat >"$work/none/sources.list.d/vendor.sources" <<'EOF'
Types: deb
URIs: https://deb.nodesource.example/node_20.x
Suites: nodistro
Components: main
EOF
expect none "no Debian archive in the sources" bookworm -- \
    "$archive debootstrap's default (no Debian archive in $work/none)" \
    "$security beside debootstrap's archive, if that carries bookworm-security" \
    "$bookworm"
sources empty
expect empty "no apt sources at all" trixie -- "$trixie"

# The script itself names no archive host.
if grep -nE '[a-z+]+://[A-Za-z0-9]' "$script"; then
    failed=$((failed + 1))
    echo "FAILED: check-release.sh names a host"
else
    passed=$((passed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
