#!/usr/bin/env bash
# Builds the sample site, a short guide to Tessarine written as a Word
# document (examples/guide.tsn with documents/tessarine-guide.docx), into
# build/demo/site/, after a quick look at the other commands on the two
# smaller sample documents.
#
#   bash examples/demo.sh build/release/bin      (what `make demo` runs)
#
# The programs find the shipped template beside themselves (the build copies
# template/ there). Everything is written under build/, never into the source
# tree.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "${1:?usage: demo.sh FOLDER_OF_THE_BUILT_PROGRAMS}" && pwd)"
tessarine="$bin/tessarine"
scratch="$root/build/demo"
documents="$root/examples/documents"
site="$scratch/site"

rm -rf "$scratch"
mkdir -p "$site"

step() { printf '\n== %s\n' "$*"; }

step "tessarine --version"
"$tessarine" --version

step "tessarine new notes.tsn user-guide.docx release-notes.docx, then check it"
"$tessarine" new "$scratch/notes.tsn" "$documents/user-guide.docx" "$documents/release-notes.docx"
"$tessarine" check "$scratch/notes.tsn"

step "tessarine check broken.tsn (page extension \".ht-m\")"
sed -e 's/"FileExt": ".htm"/"FileExt": ".ht-m"/' "$scratch/notes.tsn" >"$scratch/broken.tsn"
status=0
"$tessarine" check "$scratch/broken.tsn" 2>&1 || status=$?
echo "exit status $status"

step "tessarine build examples/guide.tsn --output build/demo/site"
# Through a pipe the build reports progress as "progress N%" lines; the demo
# shows only the result.
"$tessarine" build "$root/examples/guide.tsn" --output "$site" >"$scratch/build.log"
grep -v '^progress ' "$scratch/build.log"

step "tessarine batch --jobs 2 --names number user-guide.docx release-notes.docx"
mkdir -p "$scratch/batch"
"$tessarine" batch --jobs 2 --names number --output "$scratch/batch" \
  "$documents/user-guide.docx" "$documents/release-notes.docx" | grep -v '^progress '
ls "$scratch/batch" | paste -sd " " -

step "the site"
ls "$site" | paste -sd " " -
home="$(sed -n 's/^home page: //p' "$scratch/build.log")"
echo
echo "Home page: $home"
echo "Open file://$home in a browser to see the site."
