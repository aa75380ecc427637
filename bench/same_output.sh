#!/usr/bin/env bash
# Whether two builds of the command-line tool write the same bytes: every
# .docx given (default: the shared corpus and the generated tiers that exist)
# is converted (`tessarine convert`) and built into a site (`tessarine
# build`, default settings) by both, and the two output trees are compared
# file by file. For checking that a speed-up changed no output.
#
#   same_output.sh OLD_TESSARINE NEW_TESSARINE [DOCX...]
#
# Environment: BENCH_DOCS_DIR (default /tmp/bench-docs) for the tiers,
# TESSARINE_SHARED_DIR (default ../shared beside the repository) for the corpus.
# Exit status 1 when any file differs or only one of the two succeeds.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
old="${1:?old tessarine}"
new="${2:?new tessarine}"
shift 2
docs=("$@")
if [ ${#docs[@]} -eq 0 ]; then
  shared="${TESSARINE_SHARED_DIR:-$here/../../shared}"
  for f in "$shared"/corpus/docx/*.docx "${BENCH_DOCS_DIR:-/tmp/bench-docs}"/{M,L,XL}.docx; do
    [ -f "$f" ] && docs+=("$f")
  done
fi

work="$(mktemp -d /tmp/tessarine-same-output.XXXXXX)"
trap 'rm -rf "$work"' EXIT
differ=0
for doc in "${docs[@]}"; do
  name="$(basename "$doc" .docx)"
  for side in old new; do
    bin="$old"
    [ "$side" = new ] && bin="$new"
    mkdir -p "$work/$side/convert" "$work/$side/site"
    "$bin" new --force "$work/$side.tsn" "$doc" >/dev/null
    set +e
    "$bin" convert "$doc" "$work/$side/convert/$name.htm" >/dev/null 2>&1
    echo "convert $?" >"$work/$side/status"
    "$bin" build "$work/$side.tsn" --output "$work/$side/site" >/dev/null 2>&1
    echo "build $?" >>"$work/$side/status"
    set -e
  done
  if diff -r "$work/old" "$work/new" >/dev/null; then
    echo "same      $doc"
  else
    echo "DIFFERENT $doc"
    diff -rq "$work/old" "$work/new" | head -5
    differ=1
  fi
  rm -rf "$work/old" "$work/new"
done
exit "$differ"
