#!/usr/bin/env bash
# Runs a Windows program inside the test bed's Wine session (started by winbed.sh).
# The bed is TLYN_BED when set, else build/bed of this checkout.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bed=${TLYN_BED:-$here/../../build/bed}
if [ ! -f "$bed/env" ]; then
  echo "wine-run: no test bed at $bed (start it with tests/bed/winbed.sh start $bed)" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$bed/env"
exec wine "$@"
