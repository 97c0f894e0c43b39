#!/usr/bin/env bash
# Runs the program under Wine (finished in a later step: simulator and sample firmware).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake --preset win >/dev/null
cmake --build --preset win --target TLYN_Update
bed=build/run-bed
trap 'bash tests/bed/winbed.sh stop "$bed"' EXIT
bash tests/bed/winbed.sh start "$bed"
# shellcheck disable=SC1091
. "$bed/env"
wine build/win/TLYN_Update.exe
