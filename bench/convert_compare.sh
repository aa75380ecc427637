#!/usr/bin/env bash
# One tier side by side in one run: `tessarine convert` (Word HTML with the
# pictures in NAME.files/), pandoc with --extract-media, and LibreOffice's own
# HTML export of the same .docx; then, when the tier's .doc exists, LibreOffice's
# .doc to .docx conversion beside `tessarine convert` of that .doc (which runs
# it and then our writer).
#
#   convert_compare.sh [TESSARINE_BIN]    (default build/release/bin/tessarine)
#
# Environment: BENCH_DOCS_DIR (default /tmp/bench-docs), TIER (default L),
# RUNS (default 3, ours; the others run once after a warm-up of LibreOffice's
# profile).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
docs="${BENCH_DOCS_DIR:-/tmp/bench-docs}"
tier="${TIER:-L}"
runs="${RUNS:-3}"
docx="$docs/$tier.docx"
doc="$docs/$tier.doc"

[ -x "$bin" ] || { echo "no tessarine at $bin" >&2; exit 1; }
[ -f "$docx" ] || { echo "no $docx (make-bench-docs.sh makes it)" >&2; exit 1; }
for tool in pandoc soffice; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
profile="file://$scratch/profile"

seconds() {  # seconds COMMAND...: wall time of one run
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
best_of() {  # best_of N COMMAND...
  local n=$1 best="" t
  shift
  for ((i = 0; i < n; i++)); do
    rm -rf "$scratch/out" && mkdir -p "$scratch/out"
    t=$(seconds "$@")
    if [ -z "$best" ] || awk -v s="$t" -v b="$best" 'BEGIN { exit !(s < b) }'; then best=$t; fi
  done
  echo "$best"
}

soffice_run() { soffice "-env:UserInstallation=$profile" --headless --norestore "$@"; }
soffice_run --convert-to html --outdir "$scratch/warm" "$docx" >/dev/null 2>&1 || true

ours=$(best_of "$runs" "$bin" convert "$docx" "$scratch/out/$tier.htm")
pandoc_time=$(best_of 1 pandoc -f docx -t html --extract-media="$scratch/out/media" \
  -o "$scratch/out/$tier.html" "$docx")
office=$(best_of 1 soffice_run --convert-to html --outdir "$scratch/out" "$docx")

echo "| $tier.docx | time | against ours |"
echo "|---|---|---|"
echo "| tessarine convert | ${ours} s | 1× |"
awk -v t="$pandoc_time" -v o="$ours" 'BEGIN { printf "| pandoc --extract-media | %s s | %.1f× |\n", t, t / o }'
awk -v t="$office" -v o="$ours" 'BEGIN { printf "| LibreOffice --convert-to html | %s s | %.1f× |\n", t, t / o }'

if [ -f "$doc" ]; then
  office_doc=$(best_of 1 soffice_run --convert-to docx --outdir "$scratch/out" "$doc")
  ours_doc=$(best_of 1 "$bin" convert "$doc" "$scratch/out/$tier-doc.htm")
  echo
  echo "| $tier.doc | time |"
  echo "|---|---|"
  echo "| LibreOffice --convert-to docx | ${office_doc} s |"
  awk -v t="$ours_doc" -v o="$office_doc" \
    'BEGIN { printf "| tessarine convert (LibreOffice + our writer) | %s s (%.2f× LibreOffice) |\n", t, t / o }'
fi
