#!/usr/bin/env bash
# Shows the command-line tool on the two sample documents: creates a project,
# prints it, checks it, and shows what a check says about a broken copy.
#
#   bash examples/demo.sh build/release/bin      (what `make demo` runs)
#
# Everything is written under build/demo/, never into the source tree.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "${1:?usage: demo.sh FOLDER_OF_THE_BUILT_PROGRAMS}" && pwd)"
tessarine="$bin/tessarine"
scratch="$root/build/demo"
documents="$root/examples/documents"

rm -rf "$scratch"
mkdir -p "$scratch"

# Templates are looked up in $TESSARINE_HOME/template/. The default template is
# not part of the tree yet, so the demo points TESSARINE_HOME at a scratch
# folder with an empty template/default/: enough for `check`, which only asks
# that the template folder exists. The default output folder is created there
# too ($TESSARINE_HOME/output/).
export TESSARINE_HOME="$scratch/home"
mkdir -p "$TESSARINE_HOME/template/default"

step() { printf '\n== %s\n' "$*"; }

step "tessarine --version"
"$tessarine" --version

step "tessarine new site.tsn user-guide.docx release-notes.docx"
"$tessarine" new "$scratch/site.tsn" "$documents/user-guide.docx" "$documents/release-notes.docx"

step "the project file"
cat "$scratch/site.tsn"

step "tessarine check site.tsn"
"$tessarine" check "$scratch/site.tsn"

step "tessarine check broken.tsn (page extension \".ht-m\", second prefix \"DOC1\")"
sed -e 's/"FileExt": ".htm"/"FileExt": ".ht-m"/' "$scratch/site.tsn" >"$scratch/broken.tsn"
status=0
"$tessarine" check "$scratch/broken.tsn" 2>&1 || status=$?
echo "exit status $status"
sed -i -e 's/"FileExt": ".ht-m"/"FileExt": ".htm"/' -e 's/"FilenamePre": "doc2"/"FilenamePre": "DOC1"/' \
  "$scratch/broken.tsn"
status=0
"$tessarine" check "$scratch/broken.tsn" 2>&1 || status=$?
echo "exit status $status"
