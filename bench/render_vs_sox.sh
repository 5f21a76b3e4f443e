#!/usr/bin/env bash
# Whole-process time of `tavirel-cli render` of 1920 x 1024 one-channel pixels
# against sox's spectrogram of the same frames, in the same run (median of
# RUNS runs each, page cache warm), for two sources: a smooth sweep at 48000
# frames/s, and a 2 MS/s tone, chirp and noise whose picture is a real noise
# floor (every pixel different from its neighbours, the hard case for the
# picture's compression). Prints both times and the ratio, then the same for
# processor time.
#   bench/render_vs_sox.sh [path/to/tavirel-cli]   (default: build/src/cli/tavirel-cli)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="${1:-$ROOT/build/src/cli/tavirel-cli}"
RUNS="${RUNS:-7}"
command -v sox >/dev/null || { echo "render_vs_sox: sox is not installed" >&2; exit 1; }
[ -x "$CLI" ] || { echo "render_vs_sox: no $CLI (build first)" >&2; exit 1; }

DIR="$(mktemp -d)"
trap 'rm -rf "$DIR"' EXIT
# 1920 blocks of 2048 frames = 3932160 frames: 81.92 s at 48000 frames/s, 1.97 s at 2 MS/s.
sox -n -r 48000 -b 16 -c 1 "$DIR/sweep.wav" synth 83 sine 200:20000 synth 83 whitenoise mix gain -10
sox -n -r 2000000 -b 16 -c 1 "$DIR/noisy.wav" synth 2 sine 300000 synth 2 sine 10000-900000 synth 2 whitenoise \
  mix gain -10

now_ns() { date +%s%N; }
median_ms() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
time_ms() { # command...
  local t0 t1
  t0=$(now_ns)
  "$@" >/dev/null 2>&1
  t1=$(now_ns)
  echo $(((t1 - t0) / 1000000))
}

# Processor time (user + system) of one run, in ms: on a machine busy with
# other work this says more than the wall time.
cpu_ms() { # command...
  local TIMEFORMAT='%3U %3S' t
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  awk -v t="$t" 'BEGIN { split(t, p, " "); printf "%d\n", (p[1] + p[2]) * 1000 }'
}

for SRC in "$DIR/sweep.wav" "$DIR/noisy.wav"; do
  ours() { "$CLI" render "$SRC" --start 0 --width 1920 --height 1024 --out "$DIR/ours.png" --overwrite; }
  theirs() { sox "$SRC" -n trim 0 3932160s spectrogram -x 1920 -y 1025 -r -o "$DIR/sox.png"; }
  ours >/dev/null; theirs # warm the page cache and the libraries
  oursMs=$(for _ in $(seq "$RUNS"); do time_ms ours; done | median_ms)
  soxMs=$(for _ in $(seq "$RUNS"); do time_ms theirs; done | median_ms)
  echo "$(basename "$SRC"): tavirel-cli render 1920 x 1024: ${oursMs} ms; sox spectrogram -x 1920 -y 1025: ${soxMs} ms (median of $RUNS)"
  awk -v a="$oursMs" -v b="$soxMs" 'BEGIN { printf "  ratio tavirel-cli / sox: %.2f (aim <= 0.5)\n", a / b }'
  oursCpu=$(for _ in $(seq "$RUNS"); do cpu_ms ours; done | median_ms)
  soxCpu=$(for _ in $(seq "$RUNS"); do cpu_ms theirs; done | median_ms)
  awk -v a="$oursCpu" -v b="$soxCpu" 'BEGIN { printf "  processor time: %d ms against %d ms, ratio %.2f\n", a, b, a / b }'
done
