#!/bin/bash
# Installs what is missing, builds the three targets (win32, native, win64) and
# runs every test: native unit tests (the file module's also under valgrind),
# a bounded fuzz run, the Windows tests under Wine on a private Xvfb display,
# the 32-bit build's tests in an emulated guest with 32-bit Wine (in the
# background, beside everything else), static checks of the 32-bit build, and
# the release package built three times (two clones and a git archive) to the
# same bytes.
# Ends with "N passed, N failed"; exits non-zero when anything failed.
set -u
cd "$(dirname "$0")"
ROOT=$PWD
FUZZ_SECONDS=${FUZZ_SECONDS:-30}

./scripts/deps.sh || { echo "0 passed, 1 failed"; exit 1; }
. scripts/wineenv.sh

passed=0
failed=0
failures=()

# note_result STATUS NAME: count one check.
note_result() {
    if [ "$1" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$2")
    fi
}

# note_ctest LOG: count the tests of one ctest run from its summary line.
note_ctest() {
    local line total bad
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
    if [ -z "$line" ]; then
        note_result 1 "ctest run without a summary ($1)"
        return
    fi
    bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    if [ "$bad" -gt 0 ]; then
        failures+=($(sed -n '/The following tests FAILED/,$p' "$1" | grep -oE '^[[:space:]]+[0-9]+ - [^ ]+' | awk '{print $3}'))
    fi
}

mkdir -p build
built=()
is_built() { [[ " ${built[*]} " == *" $1 "* ]]; }

# build PRESET: configures and builds one target.
build() {
    echo "== build $1"
    if cmake --preset "$1" >"build/configure-$1.log" 2>&1 &&
       cmake --build --preset "$1" >"build/build-$1.log" 2>&1; then
        note_result 0 "build $1"
        built+=("$1")
    else
        tail -40 "build/configure-$1.log" "build/build-$1.log" 2>/dev/null
        note_result 1 "build $1"
    fi
}

# The 32-bit build, the program players get, in an emulated Debian guest with
# 32-bit Wine (scripts/vm32/): the tests of build/win32 labelled vm32 (every
# test program and the player flows that exercise what the build can change;
# docs/testing.md), counted as win32.NAME, plus the guest image and the guest's
# return as checks, and the three pages pictured identically by both builds.
# The guest is the longest stage and needs nothing but the 32-bit build: it is
# built first and the guest runs in the background while everything else runs
# here; its output goes to build/vm32-run.log and is shown when it has ended.
# QW_SKIP_VM32=1 skips this stage for a quick local run; CI never skips it.
build win32
vm32_pid=
if is_built win32; then
    if [ "${QW_SKIP_VM32:-}" = 1 ] && [ "${CI:-}" != true ]; then
        echo "== win32 tests in the emulated guest: skipped (QW_SKIP_VM32=1)"
    else
        echo "== win32 tests in the emulated guest: started in the background (log: build/vm32-run.log)"
        rm -f build/vm32/results.tsv
        # A process group of its own, so that an interrupted run ends the guest too.
        setsid scripts/vm32/run-tests.sh build/win32 build/vm32 >build/vm32-run.log 2>&1 &
        vm32_pid=$!
        trap '[ -n "$vm32_pid" ] && kill -- -"$vm32_pid" 2>/dev/null' EXIT
        trap 'exit 130' INT TERM
    fi
fi
build native
build win64

if is_built native; then
    echo "== native tests"
    ctest --preset native 2>&1 | tee build/ctest-native.log
    note_ctest build/ctest-native.log

    # The file module's unit tests under valgrind. A read past a file's content
    # mostly stays inside the block it was read into (one byte larger than the
    # file), where AddressSanitizer sees nothing; valgrind reports the use of
    # the byte that was never written. About 10 s.
    echo "== IniFiles unit tests under valgrind"
    valgrind -q --error-exitcode=99 build/native/tests/config/test_inifiles >build/valgrind.log 2>&1
    status=$?
    tail -2 build/valgrind.log
    [ $status -ne 0 ] && grep -m40 '^==' build/valgrind.log
    note_result $status "IniFiles unit tests under valgrind"

    echo "== fuzz IniFiles for ${FUZZ_SECONDS}s"
    fuzzer=build/native/tests/config/fuzz_inifiles
    if [ -x "$fuzzer" ]; then
        rm -rf build/fuzz-corpus && mkdir -p build/fuzz-corpus
        "$fuzzer" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=4096 \
            -print_final_stats=1 build/fuzz-corpus tests/config/corpus >build/fuzz.log 2>&1
        status=$?
        tail -5 build/fuzz.log
        [ $status -ne 0 ] && tail -60 build/fuzz.log
        note_result $status "fuzz IniFiles"
    else
        note_result 1 "fuzz target missing"
    fi
fi

if is_built win64; then
    echo "== win64 tests under Wine"
    qw_wine_env "$ROOT/build/wineprefix"
    qw_start_xvfb
    qw_wine_prefix_init desktop
    ctest --preset win64 2>&1 | tee build/ctest-win64.log
    note_ctest build/ctest-win64.log
    qw_wine_stop
fi

# Static checks: the programs players get and the one that runs here are GUI
# programs with the icon and version record that import only Windows' own DLLs,
# stripped and within their size limits (64 KiB for 32-bit, 96 KiB for 64-bit)
# without MinGW's printf layer, C++ exception runtime or posix thread layer;
# every 32-bit test program imports only Windows' DLLs as well.
for preset in win32 win64; do
    is_built "$preset" || continue
    echo "== $preset static checks"
    triplet=i686-w64-mingw32
    limit=$((64 * 1024))
    if [ "$preset" = win64 ]; then
        triplet=x86_64-w64-mingw32
        limit=$((96 * 1024))
    fi
    tests/resources/check_program.sh "$triplet" "build/$preset/qwconfig.exe"
    note_result $? "$preset qwconfig.exe checks"
    tests/resources/check_size.sh "$triplet" "build/$preset/qwconfig.exe" "$limit" \
        "build/$preset/qwconfig.map"
    note_result $? "$preset qwconfig.exe size"
    if [ "$preset" = win32 ]; then
        for exe in build/win32/tests/*/*.exe; do
            [ -e "$exe" ] || continue
            scripts/check_imports.sh "$triplet" "$exe"
            note_result $? "win32 imports $exe"
        done
    fi
done

# The release package: ./release.sh run in two clones of this tree (other
# folders, umasks, time zones, locales, and hostile compiler variables) and in
# the output of git archive gives the same bytes of the package and of the
# programs; the package's entries, BUILDINFO and the refusal of uncommitted
# changes are checked as well (tests/resources/check_release.sh).
if is_built win32; then
    echo "== release built three times: two clones and a git archive"
    tests/resources/check_release.sh "$ROOT"
    note_result $? "release reproducible"
fi

if [ -n "$vm32_pid" ]; then
    echo "== win32 tests in the emulated guest: waiting for it to end"
    wait "$vm32_pid"
    vm32_pid=
    cat build/vm32-run.log
    if [ -s build/vm32/results.tsv ]; then
        while IFS=$'\t' read -r name status _; do
            note_result "$status" "win32.$name"
        done <build/vm32/results.tsv
    else
        note_result 1 "win32 emulated run (no results)"
    fi
    echo "== win32 pages against win64 pages"
    scripts/vm32/compare-pages.sh build/win64/player-shots/pages build/vm32/player-shots/pages
    note_result $? "win32.pages-identical-to-win64"
fi

echo
if [ "$failed" -gt 0 ]; then
    echo "Failed: ${failures[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
