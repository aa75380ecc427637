#!/usr/bin/env bash
# Wall time and peak memory of a whole site build (`tessarine build`) of one
# generated benchmark document per tier and clean-up mode, beside pandoc's
# .docx to HTML conversion of the same file, and the share of the build spent
# in the regular-expression stages (from `tessarine build --timings`).
#
#   build_bench.sh [TESSARINE_BIN]      (default build/release/bin/tessarine)
#
# Environment:
#   BENCH_DOCS_DIR  folder with M.docx, L.docx, XL.docx (default /tmp/bench-docs);
#                   make them with make-bench-docs.sh from the shared bench folder:
#                     BENCH_DOCS_DIR=/tmp/bench-docs NO_DOC=1 bash make-bench-docs.sh M L XL
#   TIERS           tiers to run (default "M L XL")
#   RUNS            builds per tier, the fastest counts (default 3)
#   PANDOC_RUNS     runs of pandoc per tier (default 1: pandoc takes minutes on XL)
#   MODES           the document's OptimizeMode values to build with (default "1",
#                   the project default; "0 1 2" compares no optimisation, selective
#                   and all-clear clean-up)
#
# Each build starts from a new, empty output folder. Prints a Markdown table (one
# row per tier and mode; pandoc runs once per tier), then the stage times of the
# fastest build of the largest tier in each mode.
# Build the tool optimised (CMAKE_BUILD_TYPE=Release) before timing it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
docs="${BENCH_DOCS_DIR:-/tmp/bench-docs}"
read -r -a tiers <<<"${TIERS:-M L XL}"
runs="${RUNS:-3}"
pandoc_runs="${PANDOC_RUNS:-1}"
read -r -a modes <<<"${MODES:-1}"
for m in "${modes[@]}"; do
  [[ "$m" =~ ^[012]$ ]] || { echo "MODES: $m is not an OptimizeMode (0, 1 or 2)" >&2; exit 1; }
done

[ -x "$bin" ] || { echo "no tessarine at $bin (build it or pass its path)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package 'time')" >&2; exit 1; }
command -v pandoc >/dev/null || { echo "missing: pandoc" >&2; exit 1; }

work="$(mktemp -d /tmp/tessarine-build-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# measure CMD... -> "SECONDS PEAK_KIB" of one run; stdout is dropped, stderr
# kept in $work/stderr, and a failing command stops the script.
measure() {
  local TIMEFORMAT=%3R
  local seconds
  seconds=$( { time /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/stderr"; } 2>&1 ) || {
    echo "failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  }
  echo "$seconds $(tail -n 1 "$work/rss")"
}

# best_of N NAME CMD... -> fastest time and largest peak over N runs; the
# stderr of the fastest run is kept as $work/NAME.stderr. Every run builds
# into a new empty folder, reached as $work/out.
best_of() {
  local n="$1" name="$2"
  shift 2
  local best="" peak=0 s k
  for ((i = 0; i < n; i++)); do
    # A fresh folder per run: creating thousands of files in a folder whose
    # previous thousands were just deleted is slow on ext4 and would measure
    # the file system, not the build. $work/out points at the run's folder.
    mkdir -p "$work/runs/$name.$i"
    ln -sfn "$work/runs/$name.$i" "$work/out"
    read -r s k < <(measure "$@")
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best="$s"
      cp "$work/stderr" "$work/$name.stderr"
    fi
    [ "$k" -gt "$peak" ] && peak="$k"
  done
  echo "$best $peak"
}

# with_mode TSN MODE OUT: a copy of the project whose documents all use the
# given OptimizeMode.
with_mode() {
  sed -E 's/("OptimizeMode": *)"[0-9]"/\1"'"$2"'"/' "$1" >"$3"
  grep -q '"OptimizeMode": *"'"$2"'"' "$3" || { echo "no OptimizeMode in $1" >&2; exit 1; }
}

printf '| tier | mode | .docx | pages | tessarine build | peak RSS | regex stages | pandoc -t html | peak RSS | pandoc / tessarine |\n'
printf '|---|---|---|---|---|---|---|---|---|---|\n'
last=""
for t in "${tiers[@]}"; do
  doc="$docs/$t.docx"
  if [ ! -f "$doc" ]; then
    echo "| $t | | missing: $doc | | | | | | | |"
    continue
  fi
  "$bin" new --force "$work/$t.tsn" "$doc" >/dev/null
  read -r pandoc_s pandoc_kib < <(best_of "$pandoc_runs" "$t-pandoc" pandoc -f docx -t html -o "$work/$t.html" "$doc")
  for m in "${modes[@]}"; do
    with_mode "$work/$t.tsn" "$m" "$work/$t-mode$m.tsn"
    read -r ours_s ours_kib < <(best_of "$runs" "$t-mode$m" "$bin" build "$work/$t-mode$m.tsn" --output "$work/out" --timings)
    pages=$(find "$work/out/" -maxdepth 1 -type f | wc -l)
    share=$(sed -n 's/.*regular-expression passes \([0-9.]*\)%.*/\1/p' "$work/$t-mode$m.stderr")
    awk -v t="$t" -v m="$m" -v size="$(stat -c %s "$doc")" -v pages="$pages" -v s="$ours_s" \
      -v k="$ours_kib" -v share="$share" -v p="$pandoc_s" -v pk="$pandoc_kib" 'BEGIN {
        printf "| %s | %s | %.1f MiB | %d | %.3f s | %.1f MiB | %s%% | %.2f s | %.1f MiB | %.1f× |\n",
          t, m, size / 1048576, pages, s, k / 1024, share, p, pk / 1024, (s > 0 ? p / s : 0) }'
  done
  last="$t"
done

if [ -n "$last" ]; then
  for m in "${modes[@]}"; do
    echo
    echo "Stage times of tier $last, mode $m (fastest build):"
    sed -n '/^stage times/,$p' "$work/$last-mode$m.stderr"
  done
fi
