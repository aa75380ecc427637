#!/usr/bin/env bash
# Whether conversion and the site build stay linear in a document's size:
# `tessarine convert` and `tessarine build` of the documents of
# scale_docs.py (headings, list items, table rows), each shape at several
# sizes, with wall time, peak resident memory, the page clean-up stage and
# the time and memory per unit (heading, item or row) beside the smallest
# size of the same shape. A ratio well above 1 in the per-unit columns is
# growth faster than the size.
#
#   scale_bench.sh TESSARINE_BIN [OTHER_TESSARINE_BIN]
#
# With two programs (say before and after a change) their runs take turns,
# so that a busy machine weighs on both alike.
#
# Environment:
#   SCALE_DOCS_DIR  where the documents are made, when missing (default /tmp/scale-docs)
#   SIZES           shape:size pairs (default "headings:5000 headings:20000
#                   list:12500 list:50000 list:200000 table:2500 table:10000")
#   RUNS            runs per program and document, the fastest time and the
#                   largest peak count (default 3)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bins=("$@")
[ ${#bins[@]} -ge 1 ] || { echo "usage: scale_bench.sh TESSARINE_BIN [OTHER_TESSARINE_BIN]" >&2; exit 2; }
for b in "${bins[@]}"; do [ -x "$b" ] || { echo "no tessarine at $b" >&2; exit 1; }; done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package 'time')" >&2; exit 1; }
docs="${SCALE_DOCS_DIR:-/tmp/scale-docs}"
read -r -a sizes <<<"${SIZES:-headings:5000 headings:20000 list:12500 list:50000 list:200000 table:2500 table:10000}"
runs="${RUNS:-3}"

for s in "${sizes[@]}"; do
  [ -f "$docs/${s/:/-}.docx" ] || python3 "$here/scale_docs.py" "$docs" "$s" >/dev/null
done

# Every run writes into a folder of its own, and the folders go only at the
# end: creating many files right after deleting many is slow on ext4 and
# would time the file system.
work="$(mktemp -d /tmp/tessarine-scale-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# run BIN_INDEX NAME RUN -> appends "seconds peak_kib cleanup_seconds" lines
# for convert and build to $work/BIN_INDEX.NAME.{convert,build}.
run() {
  local i="$1" name="$2" r="$3" bin="${bins[$1]}" dir="$work/$1.$2.$3"
  mkdir -p "$dir/site"
  "$bin" new --force "$dir/p.tsn" "$docs/$name.docx" >/dev/null
  /usr/bin/time -f "%e %M" -o "$dir/time" "$bin" convert "$docs/$name.docx" "$dir/page.htm" >/dev/null 2>&1
  echo "$(cat "$dir/time") 0" >>"$work/$i.$name.convert"
  /usr/bin/time -f "%e %M" -o "$dir/time" "$bin" build "$dir/p.tsn" --output "$dir/site" --timings \
    >"$dir/log" 2>&1
  echo "$(cat "$dir/time") $(awk '/page clean-up/ { print $4 }' "$dir/log")" >>"$work/$i.$name.build"
}

for ((r = 0; r < runs; r++)); do
  for s in "${sizes[@]}"; do
    for i in "${!bins[@]}"; do run "$i" "${s/:/-}" "$r"; done
  done
done

printf '| program | document | step | time | peak RSS | clean-up | time per unit × | peak per unit × | clean-up per unit × |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for i in "${!bins[@]}"; do
  for step in convert build; do
    base_shape="" base_time=0 base_peak=0 base_clean=0 base_units=0
    for s in "${sizes[@]}"; do
      shape="${s%%:*}" units="${s##*:}"
      read -r t k c < <(sort -n "$work/$i.${s/:/-}.$step" | head -n 1)
      k=$(sort -k2 -n "$work/$i.${s/:/-}.$step" | tail -n 1 | awk '{ print $2 }')
      if [ "$shape" != "$base_shape" ]; then
        base_shape="$shape" base_time="$t" base_peak="$k" base_clean="$c" base_units="$units"
      fi
      awk -v p="$((i + 1))" -v d="${s/:/-}" -v st="$step" -v t="$t" -v k="$k" -v c="$c" \
        -v u="$units" -v bt="$base_time" -v bk="$base_peak" -v bc="$base_clean" -v bu="$base_units" '
        function per_unit(x, base) { return base > 0 ? sprintf("%.2f", (x / u) / (base / bu)) : "" }
        BEGIN {
          printf "| %s | %s | %s | %.2f s | %.1f MiB | %s | %s | %s | %s |\n", p, d, st, t, k / 1024,
            (st == "build" ? sprintf("%.3f s", c) : ""), per_unit(t, bt), per_unit(k, bk),
            (st == "build" ? per_unit(c, bc) : "") }'
    done
  done
done
