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
#   PANDOC_TIERS    tiers pandoc converts too (default: every tier; "" for none,
#                   "L" for the ratio alone: pandoc takes minutes on XL)
#   JOBS            value of `--jobs` for the builds (default: the tool's own, one
#                   job per core)
#   BENCH_WORK_DIR  where the builds write (default /tmp); a tmpfs such as /dev/shm
#                   leaves out the file system's cost of creating files
#   BASELINE_BIN    another tessarine to build the same projects with, run for run
#                   in turn with this one (so that both meet the same load); its
#                   time and peak memory get their own columns
#
# Any .docx in BENCH_DOCS_DIR can be a tier, e.g. a scale_docs.py document copied
# there as H20k.docx with TIERS="L H20k". After the table, each tier's build time
# per output page is compared with the first tier's.
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

work="$(mktemp -d "${BENCH_WORK_DIR:-/tmp}/tessarine-build-bench.XXXXXX")"
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

jobs_option=()
[ -n "${JOBS:-}" ] && jobs_option=(--jobs "$JOBS")
baseline="${BASELINE_BIN:-}"
if [ -n "$baseline" ] && [ ! -x "$baseline" ]; then
  echo "BASELINE_BIN: no tessarine at $baseline" >&2
  exit 1
fi
read -r -a pandoc_tiers <<<"${PANDOC_TIERS-${TIERS:-M L XL}}"

# build_pair NAME TSN -> "SECONDS PEAK BASE_SECONDS BASE_PEAK": fastest time and
# largest peak of this tool and of the baseline (0 0 without one), taking turns.
build_pair() {
  local name="$1" tsn="$2" best="" peak=0 base_best="" base_peak=0 s k
  for ((i = 0; i < runs; i++)); do
    for who in ours base; do
      local tool="$bin"
      if [ "$who" = base ]; then
        [ -n "$baseline" ] || continue
        tool="$baseline"
      fi
      mkdir -p "$work/runs/$name.$who.$i"
      ln -sfn "$work/runs/$name.$who.$i" "$work/out"
      read -r s k < <(measure "$tool" build "$tsn" --output "$work/out" --timings "${jobs_option[@]}")
      if [ "$who" = ours ]; then
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then
          best="$s"
          cp "$work/stderr" "$work/$name.stderr"
        fi
        [ "$k" -gt "$peak" ] && peak="$k"
      else
        if [ -z "$base_best" ] || awk -v a="$s" -v b="$base_best" 'BEGIN { exit !(a < b) }'; then
          base_best="$s"
        fi
        [ "$k" -gt "$base_peak" ] && base_peak="$k"
      fi
    done
  done
  echo "$best $peak ${base_best:-0} $base_peak"
}

printf '| tier | mode | .docx | pages | tessarine build | peak RSS | ms/page | regex stages | baseline build | baseline peak | pandoc -t html | peak RSS | pandoc / tessarine |\n'
printf '|---|---|---|---|---|---|---|---|---|---|---|---|---|\n'
last=""
summary=""
for t in "${tiers[@]}"; do
  doc="$docs/$t.docx"
  if [ ! -f "$doc" ]; then
    echo "| $t | | missing: $doc | | | | | | | | | | |"
    continue
  fi
  "$bin" new --force "$work/$t.tsn" "$doc" >/dev/null
  pandoc_s=0
  pandoc_kib=0
  for p in "${pandoc_tiers[@]}"; do
    if [ "$p" = "$t" ]; then
      read -r pandoc_s pandoc_kib < <(best_of "$pandoc_runs" "$t-pandoc" pandoc -f docx -t html -o "$work/$t.html" "$doc")
    fi
  done
  for m in "${modes[@]}"; do
    with_mode "$work/$t.tsn" "$m" "$work/$t-mode$m.tsn"
    read -r ours_s ours_kib base_s base_kib < <(build_pair "$t-mode$m" "$work/$t-mode$m.tsn")
    # The page count of one more build, kept to count its files.
    mkdir -p "$work/runs/$t-count"
    "$bin" build "$work/$t-mode$m.tsn" --output "$work/runs/$t-count" "${jobs_option[@]}" >/dev/null 2>&1
    pages=$(find "$work/runs/$t-count/" -maxdepth 1 -type f | wc -l)
    rm -rf "$work/runs/$t-count"
    share=$(sed -n 's/.*regular-expression passes \([0-9.]*\)%.*/\1/p' "$work/$t-mode$m.stderr")
    awk -v t="$t" -v m="$m" -v size="$(stat -L -c %s "$doc")" -v pages="$pages" -v s="$ours_s" \
      -v k="$ours_kib" -v share="$share" -v bs="$base_s" -v bk="$base_kib" \
      -v p="$pandoc_s" -v pk="$pandoc_kib" 'BEGIN {
        base = bs > 0 ? sprintf("%.3f s", bs) : "–"
        basek = bk > 0 ? sprintf("%.1f MiB (%+.1f%%)", bk / 1024, (k - bk) * 100 / bk) : "–"
        pan = p > 0 ? sprintf("%.2f s", p) : "–"
        pank = pk > 0 ? sprintf("%.1f MiB", pk / 1024) : "–"
        ratio = p > 0 && s > 0 ? sprintf("%.1f×", p / s) : "–"
        printf "| %s | %s | %.1f MiB | %d | %.3f s | %.1f MiB | %.3f | %s%% | %s | %s | %s | %s | %s |\n",
          t, m, size / 1048576, pages, s, k / 1024, (pages > 0 ? s * 1000 / pages : 0), share,
          base, basek, pan, pank, ratio }'
    summary+="$t $m $ours_s $pages"$'\n'
  done
  last="$t"
done

# Each tier against the first, per mode: time, time per page.
if [ -n "$summary" ]; then
  echo
  printf '%s' "$summary" | awk '
    { mode = $2; if (!(mode in first_s)) { first_t[mode] = $1; first_s[mode] = $3; first_p[mode] = $4; next }
      printf "%s/%s, mode %s: %.2f× the time, %.2f× the time per page\n", $1, first_t[mode], mode,
        $3 / first_s[mode], ($3 / $4) / (first_s[mode] / first_p[mode]) }'
fi

if [ -n "$last" ]; then
  for m in "${modes[@]}"; do
    echo
    echo "Stage times of tier $last, mode $m (fastest build):"
    sed -n '/^stage times/,$p' "$work/$last-mode$m.stderr"
  done
fi
