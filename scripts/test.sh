#!/usr/bin/env bash
# The test command: installs what it needs, builds the three presets, starts the Wine test bed and
# runs every suite (native unit tests, Windows-side tests under Wine, end-to-end tests of the real
# program, the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, bounded fuzz
# runs) through one ctest run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset win >/dev/null
cmake --build --preset win
# The release package and its checksums, which the package test checks, unpacks and runs.
cmake --build --preset win --target release >/dev/null
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize

bed=build/bed
trap 'bash tests/bed/winbed.sh stop "$bed"' EXIT
bash tests/bed/winbed.sh start "$bed" --own-display

# One ctest over the three build trees, so that one summary line covers every suite.
printf 'subdirs("native")\nsubdirs("win")\nsubdirs("sanitize")\n' >build/CTestTestfile.cmake
# A suite that misses its tree's prefix would run under the same name in two trees.
twice=$(ctest --test-dir build -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort | uniq -d)
if [ -n "$twice" ]; then
  echo "tests named alike in two trees:" >&2
  echo "$twice" >&2
  exit 1
fi
ctest --test-dir build --output-on-failure -j2 "$@"
