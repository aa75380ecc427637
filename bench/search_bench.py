#!/usr/bin/env python3
"""Readers' search per generated tier: index size against the site's visible
text, the index's share of the build time, and query times in Chromium.

    search_bench.py [--tessarine BIN] [--docs DIR] [TIER ...]   (default M L XL)

BIN defaults to build/release/bin/tessarine; DIR to $BENCH_DOCS_DIR or
/tmp/bench-docs, with T.docx made by make-bench-docs.sh from the shared bench
folder. Each tier gets a new project with the program's defaults (ANSI
output), built with search off and on: the index's share is the extra
processor time of the second build (steadier than wall time on a busy
machine; the share of the wall time by --timings is printed beside it). Then
search_bench.htm, copied into the site, runs the queries in headless
Chromium from file://. Prints a Markdown table.
"""

import argparse
import json
import os
import pathlib
import re
import resource
import subprocess
import sys
import tempfile
import time
import urllib.parse

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here.parent / "tests" / "tools"))
import cdp  # noqa: E402

QUERIES = ["模板", "文档目录", "colour", "memory value", "sea", "用户 install"]


def decode(raw):
    return raw[3:].decode("utf-8") if raw.startswith(b"\xef\xbb\xbf") else raw.decode("gb18030")


def visible_text_bytes(folder, encoding):
    """The pages' text as the index read it (titles and bodies), in bytes of
    the output encoding."""
    total = 0
    index = decode((folder / "tfiles/search-index.js").read_bytes())
    data = json.loads(index[index.index("(") + 1:index.rindex(")")])
    menu = decode((folder / "tfiles/dtree-data.js").read_bytes())
    titles = re.findall(r'\["[|+]*((?:[^"\\]|\\.)*)",', menu)
    total += sum(len(json.loads(f'"{t}"').encode(encoding)) for t in titles)
    for path in folder.glob("tfiles/search-text-*.js"):
        text = decode(path.read_bytes())
        total += sum(len(t.encode(encoding)) for t in json.loads(text[text.index(",") + 1:text.rindex(")")]))
    return total, data["count"]


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def build(tessarine, docx, work, search):
    """Builds the tier with SiteSearch on or off; gives the output folder, the
    build's processor time and, from --timings, the index stages' share of
    the wall time."""
    name = f"{docx.stem}-{search}"
    project = work / f"{name}.tsn"
    folder = work / name
    folder.mkdir(parents=True)
    subprocess.run([tessarine, "new", str(project), str(docx)], check=True, capture_output=True)
    data = json.loads(project.read_text(encoding="utf-8"))
    data["settings"]["SiteSearch"] = search
    project.write_text(json.dumps(data, ensure_ascii=False), encoding="utf-8")
    start = cpu_seconds()
    run = subprocess.run([tessarine, "build", str(project), "--output", str(folder), "--timings"],
                         check=True, capture_output=True, text=True)
    cpu = cpu_seconds() - start
    stage = sum(float(m) for m in re.findall(r"search index\s+([\d.]+) s", run.stderr))
    total = float(re.search(r"total ([\d.]+) s", run.stderr).group(1))
    return folder, cpu, stage / total


def query_times(browser, folder):
    # The scripts are read in the site's character set, as its pages read them.
    charset = re.search(rb"charset=([\w-]+)", (folder / "left.htm").read_bytes()).group(1)
    page = (here / "search_bench.htm").read_bytes().replace(b'charset="utf-8"',
                                                           b'charset="' + charset + b'"')
    (folder / "search-bench.htm").write_bytes(page)
    url = (folder / "search-bench.htm").as_uri() + "#" + urllib.parse.quote("|".join(QUERIES))
    session = browser.new_page()
    browser.navigate(session, url, timeout=120)
    for _ in range(600):
        result = browser.evaluate(session, "window.benchResult || null")
        if result:
            return result
        time.sleep(0.1)
    raise RuntimeError("the benchmark page did not finish")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tessarine", default=str(here.parent / "build/release/bin/tessarine"))
    parser.add_argument("--docs", default=os.environ.get("BENCH_DOCS_DIR", "/tmp/bench-docs"))
    parser.add_argument("tiers", nargs="*", default=["M", "L", "XL"])
    args = parser.parse_args()
    rows = []
    with tempfile.TemporaryDirectory(prefix="tessarine-search-bench-") as work, \
            cdp.Browser() as browser:
        for tier in args.tiers:
            docx = pathlib.Path(args.docs) / f"{tier}.docx"
            # A first build fills the picture cache (LibreOffice's time would
            # land on whichever build came first); the next two are compared.
            build(args.tessarine, docx, pathlib.Path(work) / "warm-up", "1")
            _, cpu_off, _ = build(args.tessarine, docx, pathlib.Path(work), "0")
            folder, cpu_on, wall_share = build(args.tessarine, docx, pathlib.Path(work), "1")
            text, pages = visible_text_bytes(folder, "gb18030")
            index = (folder / "tfiles/search-index.js").stat().st_size
            snippets = sum(p.stat().st_size for p in folder.glob("tfiles/search-text-*.js"))
            result = query_times(browser, folder)
            rows.append((tier, pages, text, index, snippets, cpu_off, cpu_on, wall_share, result))
    print("| tier | pages | visible text | index | index / text | snippet text files "
          "| build CPU, search off / on | index share of CPU | of wall time (--timings) "
          "| slowest query, first / median |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for tier, pages, text, index, snippets, cpu_off, cpu_on, wall_share, result in rows:
        slowest = max(result["rows"], key=lambda r: r["first"])
        print(f"| {tier} | {pages} | {text / 1e6:.2f} MB | {index / 1e6:.2f} MB | "
              f"{100 * index / text:.0f} % | {snippets / 1e6:.2f} MB | "
              f"{cpu_off:.2f} / {cpu_on:.2f} s | {100 * (cpu_on - cpu_off) / cpu_on:.1f} % | "
              f"{100 * wall_share:.1f} % | "
              f"{slowest['first']:.1f} / {slowest['median']:.1f} ms ({slowest['query']}) |")
    for tier, *_, result in rows:
        print(f"\n{tier}: index loaded {result['loadMs']:.0f} ms after navigation start")
        for r in result["rows"]:
            checked = (f"  texts checked after {r['checked']:6.1f} ms" if r["checked"] else "")
            print(f"  {r['query']!r:16} {r['hits']:5} pages  first {r['first']:6.1f} ms  "
                  f"median {r['median']:6.1f} ms{checked}")


if __name__ == "__main__":
    main()
