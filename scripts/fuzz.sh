#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on the whole project), makes their seed corpora
# (RAR archives made with `rar` here, never committed), then runs every
# target for SECONDS (default 60).  Fails when a target finds a crash, a leak
# or a time-out; the input that did it is left in build-fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#   scripts/fuzz.sh 10          a short run of every target (about 2 minutes)
#   scripts/fuzz.sh 600 fuzz_archive
# FUZZ_SEED=N fixes libFuzzer's random seed (the test command uses 1, so its
# short run repeats exactly); without it every run explores afresh.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
build="$here/build-fuzz"
sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"

all_targets=(fuzz_backend_replies fuzz_client_facts fuzz_paramdata fuzz_command_line
             fuzz_layout fuzz_archive fuzz_content_range fuzz_server_options)
targets=("${@:-${all_targets[@]}}")

configure_and_build() {
    mkdir -p "$build"
    CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DHOBNAR_FUZZ=ON -DHOBNAR_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS=$sanitizers -fno-omit-frame-pointer" >"$build/configure.log" ||
        { cat "$build/configure.log"; exit 1; }
    cmake --build "$build" --target "${targets[@]}" -j2 >"$build/build.log" 2>&1 ||
        { tail -50 "$build/build.log"; exit 1; }
}

# seed DIR NAME BYTES: one seed file; BYTES is a printf format (\0 separates fields).
seed() {
    mkdir -p "$1"
    printf -- "$3" >"$1/$2"
}

text_seeds() {
    local s="$build/seeds"
    rm -rf "$s"
    seed "$s/fuzz_backend_replies" ok-size '{"success":"1","obj":"367001600"}'
    seed "$s/fuzz_backend_replies" ok-info \
        '{"success":"1","obj":{"size":"1610612736","url":"http://h/p.rar","version":"2.0.1"}}'
    seed "$s/fuzz_backend_replies" ok-channel '{"success":"1","obj":{"promoteId":"7","apkChannel":"ch"}}'
    seed "$s/fuzz_backend_replies" failed '{"success":"0","obj":null}'
    seed "$s/fuzz_backend_replies" typed '{"success":1,"obj":{"size":5,"url":[],"version":{}}}'
    seed "$s/fuzz_backend_replies" number '123abc'
    seed "$s/fuzz_client_facts" plain 'guanwang\0001\0002.0.1\000ab12\000Windows 10\000pc_show_install'
    seed "$s/fuzz_client_facts" bytes 'gu\377\376\0001&2\000\300\200\000#%%+\000\001\037\000pc_click_use'
    seed "$s/fuzz_paramdata" line 'FALSE,2.0.1,1,0123456789abcdef0123456789abcdef,Windows10,guanwang,guanwang,1,'
    seed "$s/fuzz_paramdata" short 'TRUE,,1'
    seed "$s/fuzz_paramdata" commas ',,,,,,,,'
    seed "$s/fuzz_command_line" promo 'setup_10086(1).exe'
    seed "$s/fuzz_command_line" options '--silent\000--dir\000/opt/x y\000dev\000p_1.2.exe'
    seed "$s/fuzz_command_line" odd '--dir=\000--help\000--version\000x_.exe\000v1.2_77'
    seed "$s/fuzz_layout" window \
        'Window size="300,200" caption="0,0,0,30" roundcorner="10,6"><VerticalLayout inset="1,2,3,4" childpadding="5"><Button name="ok" height="40" default="true"/><TabLayout name="switch" selectedid="1"><Label text="x"/><Progress min="10" max="5" value="20"/></TabLayout><Control float="true" pos="250,150,290,190"/><CheckBox selected="true"/></VerticalLayout></Window>'
    seed "$s/fuzz_layout" nested \
        'HorizontalLayout width="-5" height="99999999999"><Text text="中文" textpadding="1,1"/><Button cancel="true" bkcolor="#FF00FF00"/></HorizontalLayout>'
    seed "$s/fuzz_content_range" partial '\000\000\000\000\000\000\000\000\316\000bytes 0-99/100'
    seed "$s/fuzz_content_range" unsatisfied '\144\000\000\000\000\000\000\000\240\001bytes */100'
    seed "$s/fuzz_content_range" open '\012\000\000\000\000\000\000\000\316\000bytes 10-19/*'
    seed "$s/fuzz_server_options" serve \
        '--package\000p.rar\000--port=0\000--drop-after\000100\000--fail-first\0003:503\000--status\000/a=500'
    seed "$s/fuzz_server_options" range 'bytes=100-199'
    seed "$s/fuzz_server_options" suffix 'bytes=-5000'
    seed "$s/fuzz_server_options" stall '--stall\0001.5\000--stall-path\000/x\000--list-events'
}

# Small real archives: stored, compressed, nested folders, a symlink (inside
# and pointing out), non-ASCII names, solid, encrypted, damaged.
archive_seeds() {
    local out="$build/seeds/fuzz_archive" work="$build/seeds/rar-work"
    mkdir -p "$out" "$work/files/nested/deeper" "$work/links"
    printf '#!/bin/sh\nexit 0\n' >"$work/files/hobnarAudio.exe"
    printf 'uninstall\n' >"$work/files/unInstall.exe"
    printf 'abc%.0s' {1..200} >"$work/files/nested/repeat.txt"
    printf 'deep\n' >"$work/files/nested/deeper/file.txt"
    printf '语音\n' >"$work/files/中文 名字.txt"
    ln -sf hobnarAudio.exe "$work/links/inside"
    ln -sf ../../outside "$work/links/climbs"
    ln -sf /etc/passwd "$work/links/absolute"
    (
        cd "$work/files"
        rar a -idq -m0 "$out/stored.rar" hobnarAudio.exe unInstall.exe
        rar a -idq -m5 "$out/compressed.rar" hobnarAudio.exe nested/repeat.txt
        rar a -idq -r "$out/nested.rar" nested
        rar a -idq "$out/non-ascii.rar" "中文 名字.txt"
        rar a -idq -s -m3 "$out/solid.rar" hobnarAudio.exe unInstall.exe nested
        rar a -idq -psecret "$out/encrypted.rar" unInstall.exe
        rar a -idq -hpsecret "$out/encrypted-headers.rar" unInstall.exe
        cd "$work/links"
        rar a -idq -ol "$out/symlinks.rar" inside climbs absolute
    )
    # A damaged copy: the compressed archive with bytes flipped in its data.
    cp "$out/compressed.rar" "$out/damaged.rar"
    printf '\377\377\377\377' | dd of="$out/damaged.rar" bs=1 seek=60 conv=notrunc status=none
    rm -rf "$work"
}

# run TARGET: fuzzes for $seconds; prints one summary row.
run_target() {
    local target=$1 corpus="$build/corpus/$1" log="$build/logs/$1.log"
    local dirs=("$corpus")
    mkdir -p "$corpus" "$build/logs" "$build/artifacts"
    [[ -d "$build/seeds/$target" ]] && dirs+=("$build/seeds/$target")
    [[ -d "$here/fuzz/regressions/$target" ]] && dirs+=("$here/fuzz/regressions/$target")
    local max_len=4096 malloc_limit=2048
    if [[ $target == fuzz_archive ]]; then
        # libunrar callocs the dictionary an archive header declares (up to
        # 4 GiB); the kernel commits only the pages the unpacking touches, so
        # one big allocation is not a fault.  The RSS limit still catches
        # memory that is really used.
        max_len=16384
        malloc_limit=8192
    fi
    local status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
        -rss_limit_mb=2048 -malloc_limit_mb="$malloc_limit" -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "${dirs[@]}" >"$log" 2>&1 || status=$?
    local runs cov
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
    local result=ok
    if [[ $status -ne 0 ]]; then
        result="FAILED (exit $status, see $log)"
        failed=1
    fi
    printf '%-22s %10s %8s %8s  %s\n' "$target" "${runs:-?}" "${cov:-?}" \
        "$(find "$corpus" -type f | wc -l)" "$result" >>"$build/summary.txt"
}

configure_and_build
text_seeds
archive_seeds
failed=0
printf '%-22s %10s %8s %8s  %s\n' target executions coverage corpus result >"$build/summary.txt"
for target in "${targets[@]}"; do
    echo "fuzzing $target for ${seconds}s"
    run_target "$target"
done
echo
cat "$build/summary.txt"
if [[ $failed -ne 0 ]]; then
    echo "fuzz.sh: a target failed; crashing inputs are in $build/artifacts/" >&2
    for target in "${targets[@]}"; do
        grep -A30 -m1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
            "$build/logs/$target.log" 2>/dev/null | head -40 || true
    done
    exit 1
fi
