#!/usr/bin/env bash
# Builds and runs the benchmarks (about seven minutes); they print measured
# figures and ratios against references taken in the same run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
exec /usr/bin/python3 "$root/tests/bench/run_bench.py"
