#!/usr/bin/env bash
# Shows that a release can be rebuilt exactly: builds the release package of the last commit twice,
# in two fresh clones in different temporary folders, one after the other (so at different times),
# under different time zones and umasks, then compares the program, the zip and SHA256SUMS byte
# for byte and prints their checksums. Not part of the test command: it takes minutes.
#
#   bash scripts/reproduce.sh [COMMIT]     (default: HEAD; uncommitted changes are not in it)
#
# With TLYN_SIGN_PKCS12 (and TLYN_SIGN_PASSWORD) in the environment, as for the release target, both
# builds are signed with that certificate and the signed program is what is compared.
# Exit status 0 when both builds are identical, 1 when they differ, 2 when a build fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The builds run in the clones: the certificate is named from here.
if [ -n "${TLYN_SIGN_PKCS12:-}" ]; then
  case "$TLYN_SIGN_PKCS12" in /*) ;; *) TLYN_SIGN_PKCS12=$PWD/$TLYN_SIGN_PKCS12 ;; esac
  export TLYN_SIGN_PKCS12
fi
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
if [ -z "${1:-}" ] && [ -n "$(git -C "$root" status --porcelain)" ]; then
  echo "note: the working tree has uncommitted changes; they are not part of this check" >&2
fi
bash "$root/scripts/install-deps.sh"

version=$(sed -n 's/^project(TLYN_Update VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="TLYN_Update-$version-win64"
first=$(mktemp -d /tmp/tlyn-reproduce.XXXXXX)
second=$(mktemp -d /tmp/tlyn-reproduce-second-clone-in-a-longer-path.XXXXXX)
trap 'rm -rf "$first" "$second"' EXIT

# build DIR TZ UMASK: a clean clone of the commit in DIR/src, its release package built there.
build() {
  local dir=$1 zone=$2 mask=$3
  (
    umask "$mask"
    export TZ=$zone
    unset SOURCE_DATE_EPOCH
    git clone --quiet --no-hardlinks "$root" "$dir/src"
    git -C "$dir/src" checkout --quiet --detach "$commit"
    cd "$dir/src"
    cmake --preset win >"$dir/configure.log" 2>&1
    cmake --build --preset win --target release >"$dir/build.log" 2>&1
    # The program as it ships: signed, when it is, only in the zip.
    python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' \
      "build/win/$name.zip" "$name/TLYN_Update.exe" >"$dir/TLYN_Update.exe"
  ) || { echo "the build in $dir failed; its logs:" >&2; tail -n 30 "$dir"/*.log >&2; exit 2; }
  echo "built in $dir/src at $(date -u +%H:%M:%S) UTC (TZ=$zone, umask $mask)"
}

if [ -n "${TLYN_SIGN_PKCS12+set}" ]; then
  echo "commit $commit, package $name, signed with $TLYN_SIGN_PKCS12"
else
  echo "commit $commit, package $name, unsigned (TLYN_SIGN_PKCS12 is not set)"
fi
build "$first" UTC 022
sleep 2  # the second build starts in a later second whatever the first took
build "$second" Pacific/Auckland 002

status=0
for file in TLYN_Update.exe "src/build/win/$name.zip" src/build/win/SHA256SUMS; do
  a="$first/$file" b="$second/$file"
  echo
  echo "${file##*/}:"
  (cd "$(dirname "$a")" && sha256sum "${file##*/}" | sed 's/^/  first   /')
  (cd "$(dirname "$b")" && sha256sum "${file##*/}" | sed 's/^/  second  /')
  if cmp -s "$a" "$b"; then
    echo "  identical"
  else
    echo "  DIFFERENT: $(cmp "$a" "$b" | head -n 1)"
    status=1
  fi
done
echo
echo "SHA256SUMS of the package:"
sed 's/^/  /' "$first/src/build/win/SHA256SUMS"
echo
if [ $status -eq 0 ]; then
  echo "both builds are identical"
else
  echo "the builds differ"
fi
exit $status
