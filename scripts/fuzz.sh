#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, replays each saved corpus
# (tests/fuzz/corpus/TARGET) and fuzzes each target for SECONDS (default 300;
# the test command runs 5). New interesting inputs stay in build/fuzz; an
# input that crashes is written there too: add it to the corpus with the fix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-300}
build=$root/build/fuzz
cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null
fuzz_target() {
    local target=$1 corpus=$root/tests/fuzz/corpus/$1 work=$build/corpus/$1
    mkdir -p "$work" "$build/artifacts"
    # The saved inputs, each once.
    "$build/${target}_fuzz" "$corpus"/* >"$build/$target.log" 2>&1 || {
        cat "$build/$target.log"
        echo "fuzz: $target fails on its saved corpus"
        return 1
    }
    "$build/${target}_fuzz" "$work" "$corpus" -max_total_time="$seconds" \
        -artifact_prefix="$build/artifacts/$target-" >>"$build/$target.log" 2>&1 || {
        tail -n 30 "$build/$target.log"
        echo "fuzz: $target crashed; the input is in $build/artifacts"
        return 1
    }
    runs=$(grep -o 'Done [0-9]* runs' "$build/$target.log" | tail -n 1 | awk '{print $2}')
    echo "fuzz: $target ok (corpus of $(ls "$corpus" | wc -l) replayed, ${runs:-0} runs in ${seconds} s)"
}

# The targets side by side, each for SECONDS of wall time; their lines in order.
targets=(stop_word blend_clip skin_pack png_reader)
pids=()
for target in "${targets[@]}"; do
    fuzz_target "$target" >"$build/$target.result" 2>&1 &
    pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "$build/${targets[$i]}.result"
done
exit $failed
