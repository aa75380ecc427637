#!/usr/bin/env bash
# Wall time and peak memory of a whole site build (`tessarine build`) of one
# generated benchmark document per tier, beside pandoc's .docx to HTML
# conversion of the same file, and the share of the build spent in the
# regular-expression stages (from `tessarine build --timings`).
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
#
# Each build starts from a new, empty output folder. Prints a Markdown table, then
# the stage times of the fastest build of the largest tier.
# Build the tool optimised (CMAKE_BUILD_TYPE=Release) before timing it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
docs="${BENCH_DOCS_DIR:-/tmp/bench-docs}"
read -r -a tiers <<<"${TIERS:-M L XL}"
runs="${RUNS:-3}"
pandoc_runs="${PANDOC_RUNS:-1}"

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

printf '| tier | .docx | pages | tessarine build | peak RSS | regex stages | pandoc -t html | peak RSS | pandoc / tessarine |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
last=""
for t in "${tiers[@]}"; do
  doc="$docs/$t.docx"
  if [ ! -f "$doc" ]; then
    echo "| $t | missing: $doc | | | | | | | |"
    continue
  fi
  "$bin" new --force "$work/$t.tsn" "$doc" >/dev/null
  read -r ours_s ours_kib < <(best_of "$runs" "$t" "$bin" build "$work/$t.tsn" --output "$work/out" --timings)
  pages=$(find "$work/out/" -maxdepth 1 -type f | wc -l)
  share=$(sed -n 's/.*regular-expression passes \([0-9.]*\)%.*/\1/p' "$work/$t.stderr")
  read -r pandoc_s pandoc_kib < <(best_of "$pandoc_runs" "$t-pandoc" pandoc -f docx -t html -o "$work/$t.html" "$doc")
  awk -v t="$t" -v size="$(stat -c %s "$doc")" -v pages="$pages" -v s="$ours_s" -v k="$ours_kib" \
    -v share="$share" -v p="$pandoc_s" -v pk="$pandoc_kib" 'BEGIN {
      printf "| %s | %.1f MiB | %d | %.3f s | %.1f MiB | %s%% | %.2f s | %.1f MiB | %.1f× |\n",
        t, size / 1048576, pages, s, k / 1024, share, p, pk / 1024, (s > 0 ? p / s : 0) }'
  last="$t"
done

if [ -n "$last" ]; then
  echo
  echo "Stage times of tier $last (fastest build):"
  sed -n '/^stage times/,$p' "$work/$last.stderr"
fi
