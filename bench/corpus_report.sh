#!/usr/bin/env bash
# Text agreement of our Word HTML with every .docx of the shared corpus, beside
# LibreOffice's HTML export of the same files, as a Markdown table.
#
#   corpus_report.sh [TESSARINE_BIN]      (default build/release/bin/tessarine)
#
# Recall is the share of the document's words that reach the HTML, precision
# the share of the HTML's words that come from the document (textsim.py in the
# shared tools folder). A document we refuse shows the "Open:" message.
#
# Environment:
#   TESSARINE_SHARED_DIR  folder with corpus/ and tools/ (default ../shared
#                         beside the checkout)
#   NO_LIBREOFFICE=1      leave LibreOffice's columns out
#   KEEP=DIR              keep the converted files in DIR; LibreOffice's files
#                         found there from an earlier run are reused
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${1:-$here/../build/release/bin/tessarine}"
shared="${TESSARINE_SHARED_DIR:-$here/../../shared}"
textsim="$shared/tools/textsim.py"

[ -x "$bin" ] || { echo "no tessarine at $bin (build it or pass its path)" >&2; exit 1; }
[ -f "$textsim" ] || { echo "no textsim.py under $shared/tools" >&2; exit 1; }
with_lo=1
if [ "${NO_LIBREOFFICE:-0}" = 1 ] || ! command -v soffice >/dev/null; then with_lo=0; fi

if [ -n "${KEEP:-}" ]; then
  work="$KEEP"
  mkdir -p "$work"
else
  work="$(mktemp -d /tmp/tessarine-corpus-report.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/ours" "$work/lo"
# A private profile: a user's own LibreOffice settings and running instance
# are never touched.
lo_profile="file://$work/lo-profile"

if [ "$with_lo" = 1 ]; then
  printf '| file | ours recall | ours precision | LibreOffice recall | LibreOffice precision |\n'
  printf '|---|---|---|---|---|\n'
else
  printf '| file | ours recall | ours precision |\n|---|---|---|\n'
fi

: >"$work/figures"
n=0
for doc in "$shared"/corpus/docx/*.docx; do
  name="$(basename "$doc")"
  n=$((n + 1))
  ours="$work/ours/doc$n.htm"
  if message="$("$bin" convert "$doc" "$ours" 2>&1 >/dev/null)"; then
    read -r _ our_r our_p < <(python3 "$textsim" "$ours" "$doc" 2>/dev/null) ||
      { our_r="-" our_p="textsim failed"; }
  else
    our_r="-"
    our_p="$(tail -n 1 <<<"$message" | tr '|' '/' | cut -c1-90)"
  fi
  lo_r="-" lo_p="-"
  if [ "$with_lo" = 1 ]; then
    if [ -z "${KEEP:-}" ] || [ ! -s "$work/lo/doc$n.html" ]; then
      cp "$doc" "$work/lo/doc$n.docx"
      timeout 300 soffice -env:UserInstallation="$lo_profile" --headless --norestore \
        --convert-to html --outdir "$work/lo" "$work/lo/doc$n.docx" >/dev/null 2>&1 || true
    fi
    if [ -s "$work/lo/doc$n.html" ]; then
      read -r _ lo_r lo_p < <(python3 "$textsim" "$work/lo/doc$n.html" "$doc" 2>/dev/null) ||
        { lo_r="-" lo_p="textsim failed"; }
    else
      lo_p="no output"
    fi
    printf '| %s | %s | %s | %s | %s |\n' "$name" "$our_r" "$our_p" "$lo_r" "$lo_p"
  else
    printf '| %s | %s | %s |\n' "$name" "$our_r" "$our_p"
  fi
  echo "$our_r $our_p $lo_r $lo_p" >>"$work/figures"
done

# Means and minima over the documents both converters turned into HTML.
echo
awk -v lo="$with_lo" '
  function keep(v) { return v ~ /^[0-9.]+$/ }
  keep($1) && (!lo || keep($3)) {
    n++
    for (i = 1; i <= 4; i++) { sum[i] += $i; if (n == 1 || $i < min[i]) min[i] = $i }
  }
  END {
    if (n == 0) { print "no document converted"; exit }
    printf "%d documents: ours recall mean %.4f min %.4f, precision mean %.4f min %.4f\n",
      n, sum[1] / n, min[1], sum[2] / n, min[2]
    if (lo) printf "%d documents: LibreOffice recall mean %.4f min %.4f, precision mean %.4f min %.4f\n",
      n, sum[3] / n, min[3], sum[4] / n, min[4]
  }' "$work/figures"
