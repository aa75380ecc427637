#!/usr/bin/env bash
# The functions a whole site build spends its time in: `perf record` over
# `tessarine build` of one document, then the top functions by self time
# (kernel included, as file creation is part of the build's cost).
#
#   perf_top.sh DOCX [TESSARINE_BIN] [-- BUILD_OPTIONS...]
#
# Environment:
#   TOP      how many functions to print (default 15)
#   FREQ     samples per second (default 2000)
#
# The build goes into a new, empty folder. Build the tool optimised
# (CMAKE_BUILD_TYPE=Release, with symbols: RelWithDebInfo or the release
# preset) before profiling it. perf needs kernel.perf_event_paranoid <= 2
# for user-space samples; kernel samples need <= 1 (or root).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -ge 1 ] || { echo "usage: perf_top.sh DOCX [TESSARINE_BIN] [-- BUILD_OPTIONS...]" >&2; exit 2; }
doc="$1"
shift
bin="$here/../build/release/bin/tessarine"
if [ $# -ge 1 ] && [ "$1" != "--" ]; then
  bin="$1"
  shift
fi
[ "${1:-}" = "--" ] && shift
top="${TOP:-15}"
freq="${FREQ:-2000}"

[ -f "$doc" ] || { echo "no document at $doc" >&2; exit 1; }
[ -x "$bin" ] || { echo "no tessarine at $bin (build it or pass its path)" >&2; exit 1; }
command -v perf >/dev/null || { echo "missing: perf (Debian package 'linux-perf')" >&2; exit 1; }

work="$(mktemp -d /tmp/tessarine-perf.XXXXXX)"
trap 'rm -rf "$work"' EXIT

"$bin" new --force "$work/p.tsn" "$doc" >/dev/null
mkdir "$work/out"
perf record -q -F "$freq" -g -o "$work/perf.data" -- \
  "$bin" build "$work/p.tsn" --output "$work/out" "$@" >/dev/null 2>"$work/stderr" || {
  echo "failed: perf record $bin build" >&2
  cat "$work/stderr" >&2
  exit 1
}

echo "Top $top functions by self time, $(basename "$doc"), $(basename "$bin") $*:"
echo
echo '| # | self | function | object |'
echo '|---|---|---|---|'
perf report -i "$work/perf.data" --no-children --sort dso,symbol --stdio -q -g none 2>/dev/null |
  awk -v top="$top" '
    # "  6.20%  libstdc++.so.6  [.] symbol words ...  -  -": code of a library
    # without symbols shows as bare addresses, summed here per library.
    $1 ~ /%$/ {
      pct = $1 + 0; dso = $2; sym = ""
      for (i = 4; i <= NF && $i != "-"; i++) sym = sym (sym == "" ? "" : " ") $i
      if (sym ~ /^0x[0-9a-f]+$/) sym = "(code without symbols)"
      key = sym "\t" dso
      if (!(key in share)) order[++n] = key
      share[key] += pct
    }
    END {
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++)
        if (share[order[j]] > share[order[i]]) { t = order[i]; order[i] = order[j]; order[j] = t }
      for (i = 1; i <= n && i <= top; i++) {
        split(order[i], f, "\t")
        sym = f[1]
        if (length(sym) > 80) sym = substr(sym, 1, 77) "..."
        printf "| %d | %.2f%% | `%s` | %s |\n", i, share[order[i]], sym, f[2]
      }
    }'
