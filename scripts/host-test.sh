#!/usr/bin/env bash
# Builds the pure rules for this machine under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs their tests (a few seconds).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$root/tests/host" -B "$root/build/host" -G Ninja -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$root/build/host" >/dev/null
"$root/build/host/pure_tests" --gtest_brief=1
echo "sanitizers: the pure rules' tests ran under address and undefined-behaviour checks"
