#!/usr/bin/env bash
# Installs every Debian package the project builds, tests or runs with.
# Idempotent: when all are present, and the locale made, it only checks and returns.
set -euo pipefail

packages=(
  cmake g++ make                                  # native build
  libgtest-dev libgmock-dev googletest            # unit tests (googletest sources also build with MinGW)
  g++-mingw-w64-x86-64 mingw-w64-tools            # the Windows program and its resources
  wine wine64 fonts-wine                          # running the program and the Windows-side tests
  xvfb xauth                                      # a display for Wine when there is none
  socat                                           # pairs of pseudo-terminals for the port tests
  srecord                                         # reference converter for HEX cross-checks
  python3                                         # the release package, its README.txt and checksums
  osslsigncode openssl                            # signing the release's program and checking it; the
                                                  # signing test's throw-away certificates
  clang-14 libclang-rt-14-dev llvm-14             # sanitizer tree and fuzz targets: compiler, the
                                                  # sanitizer and libFuzzer runtimes, the symbolizer
  imagemagick                                     # screenshots of the window
  locales                                         # the Japanese locale the double-byte suite runs in
)

# A Wine process takes its ANSI code page from its locale: ja_JP.UTF-8 gives code page 932, where
# the second byte of a character can be a backslash.
make_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
  echo "making the locale ja_JP.UTF-8"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

# One query for all of them; a package dpkg has never heard of is missing too.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | sed -n 's/:[^ ]* / /; s/ install ok installed$//p' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
make_locale
