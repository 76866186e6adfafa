#!/usr/bin/env bash
# Builds and runs the benchmarks (about seven minutes); they print measured
# figures and ratios against references taken in the same run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
if ! "$root/scripts/runs-32bit-code"; then
    echo "this host runs no 32-bit user code, so Wine cannot start Parlex here:" \
        "the benchmarks need a host that runs 32-bit programs" >&2
    exit 1
fi
exec /usr/bin/python3 "$root/tests/bench/run_bench.py"
