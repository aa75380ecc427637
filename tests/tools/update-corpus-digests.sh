#!/bin/sh
# Rewrites tests/fixtures/corpus_digests.txt from what the test build writes
# now. Run it only after a change that is meant to alter the output, and
# commit the new list on its own, saying which documents changed and why.
set -e
cd "$(dirname "$0")/../.."
cmake --build --preset test -j2 --target tessarine
TESSARINE_UPDATE_DIGESTS=1 ctest --preset test -R '^corpus_digest_test$'
git diff --stat -- tests/fixtures/corpus_digests.txt
