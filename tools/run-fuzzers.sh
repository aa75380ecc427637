#!/usr/bin/env bash
# Runs each libFuzzer target of build/fuzz/ for the given number of seconds
# (default 60), seeded from the shared corpus, which is read in place and
# never copied. New inputs go to build/fuzz/corpus/<target>/, a crashing or
# hanging input to build/fuzz/findings/; any finding fails the run.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
shared=${TESSARINE_SHARED_DIR:-}
if [[ -z "$shared" ]]; then
  for candidate in "$root/../shared" /work/shared; do
    [[ -d "$candidate/corpus" ]] && shared=$(cd "$candidate" && pwd) && break
  done
fi

run() {
  local target=$1; shift
  mkdir -p "$build/corpus/$target" "$build/findings"
  echo "fuzzing $target for ${seconds}s"
  "$build/bin/$target" "$build/corpus/$target" "$@" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" >"$build/$target.log" 2>&1 || {
    tail -n 40 "$build/$target.log"
    echo "$target: a finding, see $build/findings/" >&2
    exit 1
  }
  grep -E '^stat::number_of_executed_units' "$build/$target.log" || true
}

seeds_docx=() seeds_html=()
if [[ -n "$shared" ]]; then
  seeds_docx=("$shared/corpus/docx")
  seeds_html=("$shared/wordhtml-samples")
fi
run fuzz_package "${seeds_docx[@]}"
run fuzz_regex -max_len=65536 "${seeds_html[@]}"
