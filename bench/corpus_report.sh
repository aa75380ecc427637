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
# The main figures are taken as convert_corpus_test takes them, on a copy of
# each HTML file without Word's list labels and note marks (supportLists,
# supportFootnotes and supportEndnotes blocks: numbering the package does not
# hold as text) and with inline elements joined
# (textsim.py reads every tag as a word break, so a word whose letters differ
# in formatting would count as several). Both converters' files are measured
# alike; the "raw" columns are textsim.py on the files as written.
#
# Environment:
#   TESSARINE_SHARED_DIR  folder with corpus/ and tools/ (default ../shared
#                         beside the checkout)
#   NO_LIBREOFFICE=1      leave LibreOffice's columns out
#   KEEP=DIR              keep the converted files in DIR; LibreOffice's files
#                         found there from an earlier run are reused
#   LAYOUT_EXPECTATIONS   layout_expectations (default build/test/bin/, built
#                         with the test preset): when present the report ends
#                         with the layout fidelity of our pages and
#                         LibreOffice's in Chromium (tests/tools/layout_fidelity.py)
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

# prepare IN OUT: the copy that is measured (see above). Bytes in, bytes out:
# '<' and '>' never occur inside a GBK or UTF-8 character.
prepare() {
  python3 - "$1" "$2" <<'EOF'
import re, sys
raw = open(sys.argv[1], "rb").read()
raw = re.sub(rb"<!\[if !support(?:Lists|Footnotes|Endnotes)\]>.*?<!\[endif\]>", b"", raw, flags=re.S)
raw = re.sub(rb"</?(?:a|b|i|u|s|em|strong|strike|sup|sub|span|font|o:p)(?![\w:])[^>]*>", b"",
             raw, flags=re.I)
open(sys.argv[2], "wb").write(raw)
EOF
}

# measure HTML DOCX -> "recall precision raw_recall raw_precision", or nothing
measure() {
  local r p rr rp
  prepare "$1" "$1.measured" || return 0
  read -r _ r p < <(python3 "$textsim" "$1.measured" "$2" 2>/dev/null) || return 0
  read -r _ rr rp < <(python3 "$textsim" "$1" "$2" 2>/dev/null) || return 0
  echo "$r $p $rr/$rp"
}

if [ "$with_lo" = 1 ]; then
  printf '| file | ours recall | ours precision | ours raw | LibreOffice recall | LibreOffice precision | LibreOffice raw |\n'
  printf '|---|---|---|---|---|---|---|\n'
else
  printf '| file | ours recall | ours precision | ours raw |\n|---|---|---|---|\n'
fi

: >"$work/figures"
n=0
for doc in "$shared"/corpus/docx/*.docx; do
  name="$(basename "$doc")"
  n=$((n + 1))
  ours="$work/ours/doc$n.htm"
  ours_cells="- | - | -"
  if message="$("$bin" convert "$doc" "$ours" 2>&1 >/dev/null)"; then
    read -r r p raw < <(measure "$ours" "$doc") && ours_cells="$r | $p | $raw"
  else
    ours_cells="$(tail -n 1 <<<"$message" | tr '|' '/' | cut -c1-80) | - | -"
  fi
  lo_cells="- | - | -"
  if [ "$with_lo" = 1 ]; then
    if [ -z "${KEEP:-}" ] || [ ! -s "$work/lo/doc$n.html" ]; then
      cp "$doc" "$work/lo/doc$n.docx"
      timeout 300 soffice -env:UserInstallation="$lo_profile" --headless --norestore \
        --convert-to html --outdir "$work/lo" "$work/lo/doc$n.docx" >/dev/null 2>&1 || true
    fi
    if [ -s "$work/lo/doc$n.html" ]; then
      read -r r p raw < <(measure "$work/lo/doc$n.html" "$doc") && lo_cells="$r | $p | $raw"
    else
      lo_cells="no output | - | -"
    fi
    printf '| %s | %s | %s |\n' "$name" "$ours_cells" "$lo_cells"
  else
    printf '| %s | %s |\n' "$name" "$ours_cells"
  fi
  echo "${ours_cells//|/} ${lo_cells//|/}" | awk '{ print $1, $2, $4, $5 }' >>"$work/figures"
done

# Means and minima over the documents both converters turned into HTML. A
# document where both score 0 has no text in its main story (textsim.py's
# reference is empty) and is left out.
echo
awk -v lo="$with_lo" '
  function num(v) { return v ~ /^[0-9.]+$/ }
  num($1) && (!lo || num($3)) && !(lo && $1 + $2 + $3 + $4 == 0) && !(!lo && $1 + $2 == 0) {
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

# Layout fidelity: what the pages look like in Chromium against the
# documents' own layout, ours beside LibreOffice's.
expectations="${LAYOUT_EXPECTATIONS:-$here/../build/test/bin/layout_expectations}"
if [ -x "$expectations" ] && command -v chromium >/dev/null; then
  echo
  lo_flag=()
  [ "$with_lo" = 1 ] && lo_flag=(--libreoffice)
  python3 "$here/../tests/tools/layout_fidelity.py" --tessarine "$bin" --expectations "$expectations" \
    --corpus "$shared/corpus/docx" --out "$work/layout" "${lo_flag[@]}" || true
fi
