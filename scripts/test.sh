#!/usr/bin/env bash
# Installs what is missing, builds both architectures with warnings as errors,
# checks the include structure and the format, makes the Wine prefix and runs every test: the unit tests of both
# architectures (CTest, under Wine) and the end-to-end tests (pytest, Xvfb).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# One line per stage with its wall time, so that the next slow stage is plain.
stage_start=$SECONDS
stage_lines=()
stage() {
    stage_lines+=("stage $1: $((SECONDS - stage_start)) s")
    echo "${stage_lines[-1]}"
    stage_start=$SECONDS
}
"$root/scripts/setup.sh" || exit 1
stage install
if ! "$root/scripts/runs-32bit-code"; then
    echo "note: this host runs no 32-bit user code, so Wine cannot start a 32-bit program here:" \
        "Parlex is still built for i686 and checked, and the tests of Parlex's side run an x86_64" \
        "build of the same sources (build/parlex64, never shipped)"
fi
# The Wine prefix is made while the build runs (wineboot mostly waits); the
# prefix stage below then finds it made, or makes it, and installs the driver.
"$root/scripts/make-prefix.sh" >/dev/null 2>&1 &
prefix_pid=$!
"$root/scripts/build.sh" --werror --no-unit-tests --again || exit 1
stage build
# Which folder may include which, and the product folders (cmake/layers.txt)
# as clang-format lays them out.
/usr/bin/python3 "$root/scripts/check-structure.py" || exit 1
mapfile -t product_patterns < <(awk '/^[a-z]/ {print $1 "/*.cpp"; print $1 "/*.h"}' \
    "$root/cmake/layers.txt")
product=$(git -C "$root" ls-files "${product_patterns[@]}")
(cd "$root" && clang-format --dry-run -Werror $product) || exit 1
echo "format: ok ($(wc -w <<<"$product") files)"
stage "structure and format"
# The GDI+ stubs built unoptimised, as a Debug build is: every slot is data.
"$root/scripts/check-stub-sections.sh" || exit 1
stage "stub sections"
# The pure rules under sanitizers, and the fuzz targets' corpus and a short run.
"$root/scripts/host-test.sh" || exit 1
stage "host sanitizers"
"$root/scripts/fuzz.sh" 5 || exit 1
stage fuzz
wait "$prefix_pid"
"$root/scripts/make-prefix.sh" || exit 1
stage "wine prefix"

# The unit tests make real windows and timers: a display of their own, on a
# number the server picks among those nobody holds and writes to a file
# (-displayfd), so that two test commands never share one.
unit_display=""
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do
    number=$(head -n 1 "$display_file")
    [ -n "$number" ] && { unit_display=":$number"; break; }
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
rm -f "$display_file"
if [ -z "$unit_display" ]; then
    echo "no display could be started for the unit tests" >&2
    exit 1
fi

# One server that stays (see wine-serve) serves every unit test program, on
# their display, and goes before the end-to-end tests.
WINEPREFIX="$root/build/wine" wineserver -k >/dev/null 2>&1
DISPLAY=$unit_display WINEPREFIX="$root/build/wine" "$root/scripts/wine-serve"

failed=0
# The unit tests, built once, with coverage, where they run (scripts/coverage.sh).
unit_output=$(DISPLAY=$unit_display "$root/scripts/coverage.sh" --werror --tests 2>&1)
[ $? -ne 0 ] && failed=1
printf '%s\n' "$unit_output"
count() { grep -oE "$1" <<<"$unit_output" | grep -oE '[0-9]+' | awk '{s += $1} END {print s + 0}'; }
unit_total=$(count 'failed out of [0-9]+')
unit_failed=$(count '[0-9]+ tests failed out of')
unit_skipped=$(count '[0-9]+ test programs skipped')
unit_passed=$((unit_total - unit_failed))
stage "unit tests"
"$root/scripts/coverage.sh" --report || failed=1
stage coverage

# The prefix's wineserver and desktop still belong to the unit tests' display.
WINEPREFIX="$root/build/wine" wineserver -k >/dev/null 2>&1
kill "$xvfb_pid" 2>/dev/null

# Debian's Python: its pytest, pytest-xdist and PIL come from the archive.
# One worker per core; those of the stop port run on one worker in turn. More
# workers than cores were faster on two cores (3: about 250 s, 2: about 300 s),
# but under that load Parlex's one-second ticks and the input the tests send
# came late enough to fail tests that wait for them.
workers=$(nproc)
# No test is run a second time: each waits for the state it checks, however
# late a tick or an input comes under load.
e2e_output=$(cd tests/e2e && /usr/bin/python3 -m pytest -q -rfEs -p no:cacheprovider -n "$workers" \
    --dist loadgroup --durations=10 2>&1)
status=$?
printf '%s\n' "$e2e_output"
[ $status -ne 0 ] && failed=1
e2e_passed=$(printf '%s\n' "$e2e_output" | tail -n 1 | grep -oE '[0-9]+ passed' | awk '{s += $1} END {print s + 0}')
e2e_failed=$(printf '%s\n' "$e2e_output" | tail -n 1 | grep -oE '[0-9]+ (failed|errors?)' | awk '{s += $1} END {print s + 0}')
e2e_skipped=$(printf '%s\n' "$e2e_output" | tail -n 1 | grep -oE '[0-9]+ skipped' | awk '{s += $1} END {print s + 0}')
[ "$status" -ne 0 ] && [ "$e2e_failed" -eq 0 ] && e2e_failed=1
stage end-to-end

echo
printf '%s\n' "${stage_lines[@]}"
echo "whole test command: $SECONDS s"
echo "unit test programs: $unit_passed passed, $unit_failed failed, $unit_skipped skipped;" \
    "end-to-end: $e2e_passed passed, $e2e_failed failed, $e2e_skipped skipped"
echo "tests: $((unit_passed + e2e_passed)) passed, $((unit_failed + e2e_failed)) failed, $((unit_skipped + e2e_skipped)) skipped"
exit $failed
