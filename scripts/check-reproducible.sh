#!/usr/bin/env bash
# Builds the packages of one commit twice, in two clean trees at different paths and with
# different umasks, and compares the programs and every file of dist/ byte for byte. Prints the
# SHA-256 of each; exits 1 if anything differs. Takes a few minutes; not part of the test suite.
# Usage: scripts/check-reproducible.sh [COMMIT]   (default HEAD; uncommitted changes are left out)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/quenlet-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
trees=("$work/first" "$work/second/a/longer/path")
umasks=(022 002)

for i in 0 1; do
  tree=${trees[$i]}
  mkdir -p "$tree"
  git -C "$root" archive "$commit" | tar -x -C "$tree"
  echo "reproducible: build $((i + 1)) of ${commit:0:12} in $tree"
  (umask "${umasks[$i]}" && cd "$tree" && bash scripts/package.sh >"$tree.log" 2>&1) ||
    { tail -n 40 "$tree.log"; exit 1; }
done

status=0
compare() { # LABEL FILE-IN-FIRST FILE-IN-SECOND
  local -r first=$(sha256sum <"$2") second=$(sha256sum <"$3" 2>/dev/null || echo missing)
  if [[ $first == "$second" ]]; then
    echo "same       ${first%% *}  $1"
  else
    echo "DIFFERENT  ${first%% *} / ${second%% *}  $1"
    status=1
  fi
}
for target in i686 x86_64; do
  compare "quenlet.exe ($target)" "${trees[0]}/build/package/$target/quenlet.exe" \
    "${trees[1]}/build/package/$target/quenlet.exe"
done
for file in "${trees[0]}"/dist/*; do
  compare "dist/${file##*/}" "$file" "${trees[1]}/dist/${file##*/}"
done
exit $status
