#!/usr/bin/env bash
# Fails when clang-format would change any C++ file the repository tracks,
# naming the files and lines (`make format` fixes them). Outside a git
# checkout there is no file list to check: exits 77, which ctest reports as
# skipped.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "not a git checkout: nothing to check" >&2
  exit 77
fi
command -v clang-format >/dev/null || { echo "clang-format is not installed" >&2; exit 1; }
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
