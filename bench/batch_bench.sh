#!/usr/bin/env bash
# Documents per second of `tessarine batch` over every sound .docx of the
# shared corpus (those PROVENANCE.md marks "ok"), serial and with --jobs 2,
# each run into a new, empty output folder; the fastest of RUNS counts.
#
#   batch_bench.sh [TESSARINE_BIN]      (default build/release/bin/tessarine)
#
# Environment: SHARED_DIR (default ../shared beside the checkout), RUNS
# (default 3), JOBS (default "1 2"), MODE (default 1).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
shared="${SHARED_DIR:-$here/../../shared}"
runs="${RUNS:-3}"
read -r -a job_counts <<<"${JOBS:-1 2}"
mode="${MODE:-1}"

[ -x "$bin" ] || { echo "no tessarine at $bin (build it or pass its path)" >&2; exit 1; }
[ -f "$shared/corpus/PROVENANCE.md" ] || { echo "no corpus in $shared" >&2; exit 1; }

documents=()
while IFS= read -r name; do
  documents+=("$shared/corpus/$name")
done < <(awk -F'|' '$2 ~ /^ docx\// && $10 ~ /^ *ok *$/ { gsub(/^ +| +$/, "", $2); print $2 }' \
           "$shared/corpus/PROVENANCE.md" | sort)
count=${#documents[@]}
[ "$count" -gt 0 ] || { echo "no sound .docx listed in the corpus" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

echo "| jobs | documents | best of $runs | documents/s |"
echo "|---|---|---|---|"
for jobs in "${job_counts[@]}"; do
  best=""
  for ((run = 1; run <= runs; run++)); do
    out="$scratch/out-$jobs-$run"
    mkdir -p "$out"
    start=$(date +%s.%N)
    "$bin" batch --output "$out" --mode "$mode" --jobs "$jobs" "${documents[@]}" >/dev/null 2>&1 ||
      { echo "the batch failed (jobs $jobs)" >&2; exit 1; }
    end=$(date +%s.%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v s="$seconds" -v b="$best" 'BEGIN { exit !(s < b) }'; then
      best=$seconds
    fi
    rm -rf "$out"
  done
  awk -v j="$jobs" -v n="$count" -v t="$best" 'BEGIN { printf "| %s | %d | %.2f s | %.1f |\n", j, n, t, n / t }'
done
