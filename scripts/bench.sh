#!/usr/bin/env bash
# Builds and runs the benchmarks (about seven minutes); they print measured
# figures and ratios against references taken in the same run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
if ! "$root/scripts/runs-32bit-code"; then
    echo "this host runs no 32-bit user code: the benchmarks run Parlex's x86_64 build" \
        "(build/parlex64); compare its figures only with figures of that build"
fi
exec /usr/bin/python3 "$root/tests/bench/run_bench.py"
