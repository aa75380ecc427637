#!/usr/bin/env bash
# Wall time and peak memory of `tessarine convert` on the generated benchmark
# documents, beside pandoc's own .docx to HTML conversion of the same files.
#
#   convert_bench.sh [TESSARINE_BIN]      (default build/release/bin/tessarine)
#
# Environment:
#   BENCH_DOCS_DIR  folder with S.docx, M.docx ... (default /tmp/bench-docs);
#                   make them with make-bench-docs.sh from the shared bench folder:
#                     BENCH_DOCS_DIR=/tmp/bench-docs NO_DOC=1 bash make-bench-docs.sh S M L XL
#   TIERS           tiers to run (default "S M L XL")
#   RUNS            runs of our conversion per tier, the fastest counts (default 3)
#   PANDOC_RUNS     runs of pandoc per tier (default 1: pandoc takes minutes on L)
#
# Prints a Markdown table and then the targets with PASS or FAIL:
#   L converts at least 40 times faster than pandoc, our peak resident memory
#   stays under 200 MiB on every tier, XL takes at most 5.5 times as long as L.
# Build the tool optimised (CMAKE_BUILD_TYPE=Release) before timing it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
docs="${BENCH_DOCS_DIR:-/tmp/bench-docs}"
read -r -a tiers <<<"${TIERS:-S M L XL}"
runs="${RUNS:-3}"
pandoc_runs="${PANDOC_RUNS:-1}"

[ -x "$bin" ] || { echo "no tessarine at $bin (build it or pass its path)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package 'time')" >&2; exit 1; }
command -v pandoc >/dev/null || { echo "missing: pandoc" >&2; exit 1; }

work="$(mktemp -d /tmp/tessarine-convert-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# measure CMD... -> "SECONDS PEAK_KIB" of one run; the command's output is
# dropped, and a failing command stops the script.
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

# best_of N CMD... -> fastest time and largest peak over N runs.
best_of() {
  local n="$1"
  shift
  local best="" peak=0 s k
  for ((i = 0; i < n; i++)); do
    read -r s k < <(measure "$@")
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$s"; fi
    [ "$k" -gt "$peak" ] && peak="$k"
    rm -rf "$work/out"
    mkdir -p "$work/out"
  done
  echo "$best $peak"
}

declare -A ours_s ours_kib pandoc_s
mkdir -p "$work/out"
printf '| tier | .docx | tessarine convert | peak RSS | pandoc -t html | pandoc / tessarine |\n'
printf '|---|---|---|---|---|---|\n'
for t in "${tiers[@]}"; do
  doc="$docs/$t.docx"
  if [ ! -f "$doc" ]; then
    echo "| $t | missing: $doc | | | | |"
    continue
  fi
  read -r ours_s[$t] ours_kib[$t] < <(best_of "$runs" "$bin" convert "$doc" "$work/out/$t.htm")
  read -r pandoc_s[$t] _ < <(best_of "$pandoc_runs" pandoc -f docx -t html -o "$work/out/$t.html" "$doc")
  awk -v t="$t" -v size="$(stat -c %s "$doc")" -v s="${ours_s[$t]}" -v k="${ours_kib[$t]}" \
    -v p="${pandoc_s[$t]}" 'BEGIN {
      printf "| %s | %.1f MiB | %.3f s | %.1f MiB | %.2f s | %.1f× |\n",
        t, size / 1048576, s, k / 1024, p, (s > 0 ? p / s : 0) }'
done

echo
verdict() { if [ "$1" = 1 ]; then echo PASS; else echo FAIL; fi; }
if [ -n "${ours_s[L]:-}" ]; then
  ok=$(awk -v s="${ours_s[L]}" -v p="${pandoc_s[L]}" 'BEGIN { print (p >= 40 * s) ? 1 : 0 }')
  echo "L at least 40× faster than pandoc: $(verdict "$ok")"
fi
max_kib=0
for t in "${!ours_kib[@]}"; do [ "${ours_kib[$t]}" -gt "$max_kib" ] && max_kib="${ours_kib[$t]}"; done
ok=$(awk -v k="$max_kib" 'BEGIN { print (k < 200 * 1024) ? 1 : 0 }')
echo "peak memory under 200 MiB (largest: $((max_kib / 1024)) MiB): $(verdict "$ok")"
if [ -n "${ours_s[L]:-}" ] && [ -n "${ours_s[XL]:-}" ]; then
  ok=$(awk -v l="${ours_s[L]}" -v x="${ours_s[XL]}" 'BEGIN { print (x <= 5.5 * l) ? 1 : 0 }')
  ratio=$(awk -v l="${ours_s[L]}" -v x="${ours_s[XL]}" 'BEGIN { printf "%.2f", x / l }')
  echo "XL at most 5.5× the time of L (${ratio}×): $(verdict "$ok")"
fi
