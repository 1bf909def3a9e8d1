#!/bin/bash
# run-tests.sh [BUILD] [OUT]: runs the tests of the 32-bit build BUILD (default
# build/win32) in an emulated Debian guest with 32-bit Wine, and brings the
# results back to OUT (default build/vm32):
#   OUT/results.tsv      one line per check: name, exit status (0 = passed),
#                        seconds: "image" (the guest image is there), "guest"
#                        (the guest ran the job and came back), then every test
#                        of BUILD labelled vm32, with its CTest name
#   OUT/guest/logs/      each test's output; OUT/guest/console.log the guest's console
#   OUT/player-shots/    the screenshots of the player tests
# The tests are the ones registered with the CTest label vm32 (every test
# program, and the player flows that exercise what the build can change; see
# docs/testing.md): a test's registration alone decides whether it runs here. The image is built first when missing
# (scripts/vm32/build-image.sh). The guest starts from a throw-away copy of the
# image and is ended when it overruns its time (QW_VM32_SECONDS, default 2400).
# Exits 0 when every check passed.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/common.sh"
cd "$VM32_ROOT" || exit 1
BUILD=${1:-build/win32}
OUT=$(realpath -m "${2:-build/vm32}")
LIMIT=${QW_VM32_SECONDS:-2400}
# The guest is 3 to 8 times slower than Wine on the host: each test gets twice
# its CTest time limit, and the player tests' waits for the editor stretch by
# QW_TIMEOUT_SCALE.
TEST_SCALE=2
WAIT_SCALE=${QW_VM32_WAIT_SCALE:-4}

# say MESSAGE: one line of progress.
say() {
    echo "vm32: $*"
}

# result NAME STATUS SECONDS: records one check.
result() {
    printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>"$OUT/results.tsv"
}

# finish: records every listed test that has no result from the guest as
# failed, prints the summary of the run and exits.
finish() {
    local name status took bad=0
    cat "$OUT"/guest/results-*.tsv >"$OUT/guest/results.tsv" 2>/dev/null
    if [ -f "$OUT/tests.tsv" ]; then
        while IFS=$'\t' read -r name _; do
            status=$(awk -F'\t' -v n="$name" '$1 == n { print $2; exit }' "$OUT/guest/results.tsv" 2>/dev/null)
            took=$(awk -F'\t' -v n="$name" '$1 == n { print $3; exit }' "$OUT/guest/results.tsv" 2>/dev/null)
            if [ -z "$status" ]; then
                say "$name: no result from the guest"
                result "$name" 1 0
            else
                result "$name" "$status" "$took"
            fi
        done <"$OUT/tests.tsv"
    fi
    while IFS=$'\t' read -r name status took; do
        if [ "$status" = 0 ]; then
            say "passed  $name (${took}s)"
        else
            say "FAILED  $name (status $status, ${took}s)"
            bad=1
            if [ -f "$OUT/guest/logs/$name.log" ]; then
                tail -25 "$OUT/guest/logs/$name.log" | sed 's/^/    | /'
            fi
        fi
    done <"$OUT/results.tsv"
    exit $bad
}

rm -rf "$OUT"
mkdir -p "$OUT/in" "$OUT/guest"
: >"$OUT/results.tsv"
SECONDS=0

# The tests labelled for the guest, as the build registered them.
if ! (cd "$BUILD" && timeout 60 ctest --show-only=json-v1 -L '^vm32$') >"$OUT/ctest.json" 2>"$OUT/ctest.err" ||
   ! cmake -DJSON="$OUT/ctest.json" -DOUT="$OUT/tests.tsv" -DSCALE="$TEST_SCALE" \
       -P "$HERE/list-tests.cmake" >"$OUT/list.log" 2>&1; then
    cat "$OUT/ctest.err" "$OUT/list.log"
    rm -f "$OUT/tests.tsv"
    result list 1 0
    finish
fi
say "$(wc -l <"$OUT/tests.tsv") tests registered in $BUILD"

# The image (built when missing; that takes a while).
say "guest image: $(vm32_image_dir) (log: $OUT/image.log)"
start=$SECONDS
timeout --kill-after=30 "${QW_VM32_IMAGE_SECONDS:-3000}" "$HERE/build-image.sh" >"$OUT/image.log" 2>&1
status=$?
IMAGE=$(tail -1 "$OUT/image.log")
if [ $status -ne 0 ] || [ ! -f "$IMAGE/ready" ]; then
    tail -30 "$OUT/image.log"
    result image 1 $((SECONDS - start))
    finish
fi
result image 0 $((SECONDS - start))

# What the guest gets: the build's programs (without objects and libraries),
# the test scripts and the files they use, at the host's absolute path.
tar -cf "$OUT/in/payload.tar" -C "$VM32_ROOT" \
    --exclude=CMakeFiles --exclude=googletest --exclude=Testing --exclude=player-shots \
    --exclude='*.a' --exclude='*.obj' --exclude='*.o' \
    "$BUILD" tests scripts examples || { result payload 1 0; finish; }
cp "$HERE/guest-run.sh" "$OUT/in/job.sh"
cp "$OUT/tests.tsv" "$OUT/in/tests.tsv"
printf 'ROOT=%q\nBUILD=%q\nQW_TIMEOUT_SCALE=%q\n' "$VM32_ROOT" "$BUILD" "$WAIT_SCALE" >"$OUT/in/job.env"

say "booting the guest (at most ${LIMIT}s; console: $OUT/guest/console.log)"
start=$SECONDS
vm32_boot "$LIMIT" "$IMAGE" "$OUT/in" "$OUT/guest"
status=$?
took=$((SECONDS - start))
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    say "the guest did not finish within ${LIMIT}s and was ended"
    result guest 1 "$took"
elif [ "$(cat "$OUT/guest/job.status" 2>/dev/null)" != 0 ]; then
    say "the guest's job failed (qemu status $status, job status $(cat "$OUT/guest/job.status" 2>/dev/null || echo none))"
    tail -20 "$OUT/guest/job.log" "$OUT/guest/console.log" 2>/dev/null
    result guest 1 "$took"
else
    result guest 0 "$took"
fi
[ -d "$OUT/guest/player-shots" ] && mv "$OUT/guest/player-shots" "$OUT/player-shots"
finish
