#!/usr/bin/env bash
# Measures the program against the least any program could do to show the same picture
# (bench/baseline.cpp), on the same driver and display, taking turns: program, baseline,
# program, baseline... Prints medians with min and max for each, and the paired ratios.
# Mesa's llvmpipe is used, on a virtual X server when there is no display.
#   bash scripts/bench.sh [PAIRS] [SECONDS]   (defaults: 5 pairs of 4 s runs)
#   bash scripts/bench.sh --soak [SECONDS]    (program's resident memory over a long run; 600 s)
#   bash scripts/bench.sh --wayland [SECONDS] (native Wayland: frames per second, swap interval,
#                                              processor time, in view and hidden; 10 s each)
set -euo pipefail
cd "$(dirname "$0")/.."

# Installs and builds once, then starts over on a virtual X server when there is no display.
if [[ -z ${TARVELIN_BENCH_BUILT:-} ]]; then
    scripts/install-deps.sh --bench
    cmake -S . -B build >/dev/null
    cmake --build build -j"$(nproc)" --target tarvelin tarvelin-baseline frame_counter >/dev/null
    if [[ -z ${DISPLAY:-} ]]; then
        TARVELIN_BENCH_BUILT=1 exec xvfb-run -a -s "-noreset -screen 0 1024x1024x24" bash "$0" "$@"
    fi
fi
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
counter=$PWD/build/bench/libframe_counter.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs bin/$1 from bin/ with the frame counter; the counter ends it after $2 seconds.
measure() {
    (cd bin && BENCH_T0=$(date +%s%N) BENCH_SECONDS=$2 BENCH_OUT="$work/$1" \
        LD_PRELOAD="$counter" exec "./$1") >/dev/null
}

# What bin/$1 does, counted by callgrind, which counts instructions rather than time: the
# whole process's instructions up to its first frame, into $work/startup.$1, and on stdout its
# own code's work per frame, from runs of 20 and 60 frames so that start-up cancels out, as
# "self INSTRUCTIONS" and "calls COUNT CALLEE" lines. Mesa's shader cache is off, so that both
# programs compile their shaders whatever an earlier run left in the cache.
callgrind_counts() {
    local frames
    for frames in 1 20 60; do
        (cd bin && LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true BENCH_FRAMES=$frames \
            LD_PRELOAD="$counter" valgrind --tool=callgrind --callgrind-out-file="$work/callgrind" "./$1") >/dev/null 2>&1
        awk -v object="$PWD/bin/$1" -f bench/own_code.awk "$work/callgrind" >"$work/own.$frames"
        [[ $frames != 1 ]] || awk '/^summary:/ { print $2 }' "$work/callgrind" >"$work/startup.$1"
    done
    # Keyed on all but the count, printed as "KEY<tab>COUNT PER FRAME".
    awk '{ key = $1; for (i = 3; i <= NF; i++) key = key " " $i }
         FNR == NR { before[key] = $2; next }
         ($2 - before[key]) / 40 >= 0.5 { print key "\t" ($2 - before[key]) / 40 }' \
        "$work/own.20" "$work/own.60"
}

soak() {
    (cd bin && exec ./tarvelin) >/dev/null &
    local pid=$! t
    sleep 2 # into the frame loop
    echo "seconds  resident KiB (program, every 30 s)"
    for ((t = 0; t <= $1; t += 30)); do
        printf '%7d  %s\n' "$t" "$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")"
        sleep 30
    done
    kill "$pid" && { wait "$pid" 2>/dev/null || true; }
}

# The program and the baseline on the tests' Wayland desktop (headless sway, started and stopped
# by the tests' own script), each for $1 seconds: the program in view, the baseline in view (it
# leaves the swap to wait for the compositor, as a client does by default), then each on a
# workspace out of view. Each run is ended by the compositor's close request; the time until the
# program has ended is how fast it answers. A run that has not ended 10 s after its time hangs.
wayland() {
    local state run as_user=() name program started fps cpu answered
    # The desktop's start copies these three into its folder. Nothing of the tests' is preloaded:
    # the baseline comes along in that place.
    export E2E_STATE=$work/desktop E2E_PROGRAM=$PWD/bin/tarvelin E2E_PRELOAD=$PWD/bin/tarvelin-baseline \
        E2E_FRAME_COUNTER=$counter E2E_LOG=$work/desktop.log
    bash tests/end_to_end.sh wayland start
    state=$(cat "$E2E_STATE")
    # shellcheck source=/dev/null # written by the desktop's start
    source "$state/desktop/env"
    run=$state/bench && mkdir -p "$run/bin" "$run/Tarvelin" && cp -r Tarvelin/Shaders "$run/Tarvelin/"
    chmod -R a+rwX "$run"
    [[ $(id -u) != 0 ]] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups) # as sway
    echo "native Wayland, headless sway ($(swaymsg -t get_outputs | jq -r '.[0].current_mode.refresh |
        if . > 0 then "output at \(. / 1000) Hz" else "the output gives no refresh rate" end')), $1 s each"
    printf '%-18s %9s %14s %6s %15s %12s\n' "" frames/s "mean swap, ms" "CPU %" "close answered" "stderr lines"
    for name in "program, in view" "baseline, in view" "program, hidden" "baseline, hidden"; do
        program=$state/tarvelin && [[ $name != baseline* ]] || program=$state/tarvelin-baseline
        [[ $name != *hidden ]] || swaymsg -q 'for_window [title="^Realtime Rendering"] move to workspace 2'
        : >"$run/frames" && chmod a+w "$run/frames"
        (cd "$run/bin" && exec "${as_user[@]}" env -u DISPLAY HOME="$state/desktop/home" BENCH_OUT="$run/frames" \
            LD_PRELOAD="$state/${counter##*/}" LD_LIBRARY_PATH="$state/glfw-wayland" \
            timeout $(($1 + 10)) "$program") >/dev/null 2>"$run/err" &
        sleep "$1"
        started=$(date +%s%N)
        swaymsg -q '[title="^Realtime Rendering"] kill'
        wait $! && answered="$((($(date +%s%N) - started) / 1000000)) ms" || answered="hung"
        read -r _ fps _ _ cpu <"$run/frames" || fps=0 cpu=-
        printf '%-18s %9s %14s %6s %15s %12s\n' "$name" "$fps" \
            "$(awk -v fps="$fps" 'BEGIN { if (fps > 0) printf "%.2f", 1000 / fps; else print "-" }')" \
            "$cpu" "$answered" "$(wc -l <"$run/err")"
    done
    bash tests/end_to_end.sh wayland stop
}

if [[ ${1:-} == --soak ]]; then
    soak "${2:-600}"
    exit 0
elif [[ ${1:-} == --wayland ]]; then
    wayland "${2:-10}"
    exit 0
fi

pairs=${1:-5}
seconds=${2:-4}
for ((i = 1; i <= pairs; i++)); do
    measure tarvelin "$seconds"
    measure tarvelin-baseline "$seconds"
done

echo "$(date -u +%F), $(nproc) cores, $(glxinfo -B 2>/dev/null | sed -n 's/^OpenGL renderer string: //p')"
echo "$pairs pairs of $seconds s runs, program (A) and baseline (B) taking turns"
printf '%-28s %24s %24s %24s\n' "" "program: median (min-max)" "baseline" "ratio A/B"
paste -d ' ' "$work/tarvelin" "$work/tarvelin-baseline" | awk '
    function summary(values, n, format,    sorted, i, j, t) {
        for (i = 1; i <= n; i++) sorted[i] = values[i]
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++)
            if (sorted[j] < sorted[i]) { t = sorted[i]; sorted[i] = sorted[j]; sorted[j] = t }
        t = (n % 2) ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
        return sprintf(format, t, sorted[1], sorted[n])
    }
    { for (m = 2; m <= 4; m++) { a[m, NR] = $m; b[m, NR] = $(m + 5); r[m, NR] = $m / $(m + 5) } }
    END {
        split(";frames per second;time to first frame (ms);peak resident memory (KiB)", label, ";")
        for (m = 2; m <= 4; m++) {
            for (i = 1; i <= NR; i++) { va[i] = a[m, i]; vb[i] = b[m, i]; vr[i] = r[m, i] }
            printf "%-28s %24s %24s %24s\n", label[m], summary(va, NR, "%.0f (%.0f-%.0f)"),
                summary(vb, NR, "%.0f (%.0f-%.0f)"), summary(vr, NR, "%.3f (%.3f-%.3f)")
        }
    }'
callgrind_counts tarvelin >"$work/per-frame.program"
callgrind_counts tarvelin-baseline >"$work/per-frame.baseline"
row() { printf '%-28s %24s %24s %24s\n' "$1" "$2" "$3" "$(awk -v a="$2" -v b="$3" 'BEGIN { if (b) printf "%.4f", a / b; else print (a ? "-" : "both 0") }')"; }
per_frame() { awk -F'\t' -v key="$1" '$1 == key { n = $2 } END { print n + 0 }' "$work/per-frame.$2"; }
row "instructions to 1st frame" "$(cat "$work/startup.tarvelin")" "$(cat "$work/startup.tarvelin-baseline")"
row "own-code instructions/frame" "$(per_frame self program)" "$(per_frame self baseline)"
row "X round trips/frame" "$(per_frame xreplies program)" "$(per_frame xreplies baseline)"
echo
echo "Calls per frame out of the program's own code (0x...: GL entry points):"
awk -F'\t' '$1 ~ /^calls / { sub(/^calls /, "", $1); printf "  %4g  %s\n", $2, $1 }' \
    "$work/per-frame.program" | sort -k2
