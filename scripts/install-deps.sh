#!/usr/bin/env bash
# Installs every Debian package the project builds, tests or runs with.
# Idempotent: when all are present it only checks and returns.
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
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
