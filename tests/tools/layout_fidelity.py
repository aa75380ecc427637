#!/usr/bin/env python3
"""Layout fidelity: how close a converted page comes, in Chromium, to what the
document itself says about its paragraphs and table cells.

For every .docx of a folder the document's own layout comes from
layout_expectations (built from tests/tools/layout_expectations.cpp: the style
sheet and numbering models, not the HTML writer). The page is loaded in
headless Chromium and the computed layout of every paragraph (left edge of the
text column, first-line indent, alignment, font size, weight, style, colour)
and table cell (column and row span, and the border of each side as a reader
sees it: where two cells meet, the heavier of their borders) is read and matched with the document's
paragraphs in order by their text. A measure agrees within 1 pt for lengths
and exactly for alignment, weight, style, colour and spans; a cell's borders
agree when every side has the same style, colour and width within 1 pt.

  layout_fidelity.py --tessarine BIN --expectations BIN --corpus DIR --out DIR
                     [--libreoffice] [--check] [--screenshots]

--libreoffice measures LibreOffice's HTML export of the same documents too,
as the reference; --check fails (exit 1) unless our pages reach the targets:
no class name a browser rejects, every nested list level indented deeper than
its parent where the document indents it so, at least 98 % of paragraphs
matching indent and alignment and 98 % size and weight, and every chart shown
as an SVG picture. --screenshots saves one viewport each of a nested list, a
chart and a text box, ours and LibreOffice's beside them (LibreOffice
converts just those documents unless --libreoffice is given). Exit 77 when
Chromium is missing.
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import base64
import bisect

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

TOLERANCE_PT = 1.0

# Runs in the page: every paragraph and table cell with its computed layout.
PROBE = r"""(() => {
  const pt = v => parseFloat(v) * 0.75;
  const hex = c => {
    const m = /rgba?\((\d+),\s*(\d+),\s*(\d+)/.exec(c);
    return m ? '#' + [m[1], m[2], m[3]].map(x => (+x).toString(16).padStart(2, '0')).join('').toUpperCase() : '';
  };
  const box = el => {
    const r = el.getBoundingClientRect(), s = getComputedStyle(el);
    return r.left + parseFloat(s.paddingLeft) + parseFloat(s.borderLeftWidth);
  };
  const out = {paragraphs: [], cells: [], badClasses: [], svgImages: 0};
  const skip = el => el.closest('[style*="mso-element:footnote"], [style*="mso-element:endnote"], ' +
                                '[style*="mso-element:comment"], div.shape, [v\\:shape]');
  for (const p of document.body.querySelectorAll('p, h1, h2, h3, h4, h5, h6')) {
    if (skip(p)) continue;
    const text = p.innerText.replace(/\s+/g, '');
    if (!text) continue;
    const s = getComputedStyle(p);
    const container = p.closest('td, th') || document.body;
    const left = pt(box(p) - box(container));
    // The font of the first text that is not the list label.
    let font = p;
    const walker = document.createTreeWalker(p, NodeFilter.SHOW_TEXT);
    for (let n = walker.nextNode(); n; n = walker.nextNode()) {
      if (!n.nodeValue.trim()) continue;
      if (n.parentElement.closest('[style*="mso-list:Ignore"]')) continue;
      font = n.parentElement;
      break;
    }
    const f = getComputedStyle(font);
    let align = s.textAlign;
    if (align === 'start' || align === '-webkit-auto') align = 'left';
    if (align === 'end') align = 'right';
    const level = /mso-list:\s*l\d+\s+level(\d+)/.exec(p.getAttribute('style') || '');
    out.paragraphs.push({text, left, first: pt(s.textIndent), align, size: pt(f.fontSize),
                         level: level ? +level[1] : 0,
                         bold: parseInt(f.fontWeight) >= 600, italic: f.fontStyle === 'italic',
                         color: hex(f.color), inCell: container !== document.body,
                         top: p.getBoundingClientRect().top + scrollY});
  }
  // A cell's border on one side as a reader sees it: in a collapsed table
  // the heavier of its own and its neighbour's across that edge.
  const sides = ['Top', 'Right', 'Bottom', 'Left'];
  const edge = (s, side) => {
    const style = s['border' + side + 'Style'];
    const width = style === 'none' || style === 'hidden' ? 0 : pt(s['border' + side + 'Width']);
    return width > 0 ? [style, width, hex(s['border' + side + 'Color'])] : ['none', 0, ''];
  };
  const rects = new Map();
  const neighbour = (c, i) => {
    const table = c.closest('table');
    if (getComputedStyle(table).borderCollapse !== 'collapse') return null;
    if (!rects.has(table)) {
      rects.set(table, [...table.querySelectorAll('td, th')]
        .filter(d => d.closest('table') === table).map(d => [d, d.getBoundingClientRect()]));
    }
    const r = c.getBoundingClientRect(), cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    for (const [d, q] of rects.get(table)) {
      if (d === c) continue;
      const across = i === 0 ? Math.abs(q.bottom - r.top) < 3 : i === 2 ? Math.abs(q.top - r.bottom) < 3
                   : i === 1 ? Math.abs(q.left - r.right) < 3 : Math.abs(q.right - r.left) < 3;
      const along = i % 2 === 0 ? q.left <= cx && cx <= q.right : q.top <= cy && cy <= q.bottom;
      if (across && along) return d;
    }
    return null;
  };
  for (const c of document.body.querySelectorAll('td, th')) {
    if (skip(c)) continue;
    const s = getComputedStyle(c);
    const borders = sides.map((side, i) => {
      let mine = edge(s, side);
      const other = neighbour(c, i);
      if (other) {
        const theirs = edge(getComputedStyle(other), sides[(i + 2) % 4]);
        if (theirs[1] > mine[1]) mine = theirs;
      }
      return mine;
    });
    out.cells.push({text: c.innerText.replace(/\s+/g, ''), colspan: c.colSpan, rowspan: c.rowSpan,
                    borders});
  }
  for (const el of document.querySelectorAll('[class]')) {
    for (const cls of el.getAttribute('class').split(/\s+/)) {
      if (cls && !/^-?[_a-zA-Z\u00a0-\uffff][-_a-zA-Z0-9\u00a0-\uffff]*$/.test(cls)) out.badClasses.push(cls);
    }
  }
  out.svgImages = [...document.images].filter(i => /\.svg$/i.test(i.getAttribute('src') || '')
                                               && i.naturalWidth > 0).length;
  return out;
})()"""


def expectations(tool, document):
    run = subprocess.run([tool, str(document)], capture_output=True, timeout=120)
    if run.returncode != 0:
        return None
    items = [json.loads(line) for line in run.stdout.decode("utf-8", "replace").split("\n") if line]
    for item in items:
        item["key"] = re.sub(r"\s+", "", item["text"])
    return items


def match(expected, measured):
    """Pairs each expected item with the next measured one whose text holds
    its first characters (a list label may come first), in order."""
    pairs, j = [], 0
    positions = {}
    for k, m in enumerate(measured):
        positions.setdefault(m["text"], []).append(k)
    for e in expected:
        key = e["key"]
        if not key:
            continue
        window = range(j, min(j + 60, len(measured)))
        # The same text; else the whole text after a label at most; else (for
        # a longer text) its first characters. Short texts ("1", "A") only
        # match exactly, or they would pull the matching far ahead.
        def same(k):
            return measured[k]["text"] == key

        def labelled(k):
            text = measured[k]["text"]
            return len(key) >= 4 and text.endswith(key) and 0 < len(text) - len(key) <= 12

        # A list paragraph carries its label on the page, a plain one does
        # not: that tells apart the copies of a text a document repeats.
        first, second = (labelled, same) if e.get("list") else (same, labelled)
        found = next((k for k in window if first(k)), None)
        if found is None:
            found = next((k for k in window if second(k)), None)
        if found is None and len(key) >= 12:
            found = next((k for k in window if key[:30] in measured[k]["text"]), None)
        if found is None and len(key) >= 12:
            # Further on: the page may hold more than the document says there
            # (a header's table, a helper row), so the same long text resyncs.
            later = positions.get(key, [])
            found = next((k for k in later[bisect.bisect_left(later, j):]), None)
        if found is None:
            pairs.append((e, None))
        else:
            pairs.append((e, measured[found]))
            j = found + 1
    return pairs


MEASURES = ("indent", "alignment", "size", "weight", "style", "colour")
CELL_MEASURES = ("spans", "borders")


def borders_agree(want, seen):
    """Every side the same style family, width within the tolerance and
    colour; a side without a border matches only a side without one."""
    for (style, width, color), (got_style, got_width, got_color) in zip(want, seen):
        if (style == "none") != (got_style == "none"):
            return False
        if style == "none":
            continue
        if style != got_style or abs(width - got_width) > TOLERANCE_PT or color != got_color:
            return False
    return True


def agree(e, m):
    color = e["color"] or "#000000"
    return {
        "indent": (m["inCell"] or abs(e["left"] - m["left"]) <= TOLERANCE_PT)
        and abs(e["first"] - m["first"]) <= TOLERANCE_PT,
        "alignment": e["align"] == m["align"],
        "size": abs(e["size"] - m["size"]) <= TOLERANCE_PT,
        "weight": e["bold"] == m["bold"],
        "style": e["italic"] == m["italic"],
        "colour": color == m["color"],
    }


class Tally:
    def __init__(self):
        self.counts = {k: 0 for k in MEASURES + CELL_MEASURES}
        self.paragraphs = self.found = self.cells = self.cells_found = 0
        self.mismatches = []

    def add(self, other):
        for k in self.counts:
            self.counts[k] += other.counts[k]
        self.paragraphs += other.paragraphs
        self.found += other.found
        self.cells += other.cells
        self.cells_found += other.cells_found
        self.mismatches += other.mismatches

    def share(self, measure):
        base = self.cells_found if measure in CELL_MEASURES else self.found
        return self.counts[measure] / base if base else 1.0


def score(name, expected, page):
    tally = Tally()
    paragraphs = [e for e in expected if e["kind"] == "p" and e["key"]]
    cells = [e for e in expected if e["kind"] == "cell"]
    tally.paragraphs, tally.cells = len(paragraphs), len([c for c in cells if c["key"]])
    for e, m in match(paragraphs, page["paragraphs"]):
        if m is None:
            continue
        tally.found += 1
        for measure, ok in agree(e, m).items():
            if ok:
                tally.counts[measure] += 1
            else:
                tally.mismatches.append((name, measure, e, m))
    for e, m in match([c for c in cells if c["key"]], page["cells"]):
        if m is None:
            continue
        tally.cells_found += 1
        if e["colspan"] == m["colspan"] and e["rowspan"] == m["rowspan"]:
            tally.counts["spans"] += 1
        else:
            tally.mismatches.append((name, "spans", e, m))
        if borders_agree(e["borders"], m["borders"]):
            tally.counts["borders"] += 1
        else:
            tally.mismatches.append((name, "borders", e, m))
    return tally


def nested_list_problems(name, expected, page):
    """A list paragraph one level deeper than the one before it that the
    document indents further, but the page does not."""
    problems = []
    order = {id(m): k for k, m in enumerate(page["paragraphs"])}
    pairs = [(e, m) for e, m in match([e for e in expected if e["kind"] == "p" and e["key"]],
                                      page["paragraphs"]) if m is not None]
    for (pe, pm), (e, m) in zip(pairs, pairs[1:]):
        # Neighbours on the page too, at the levels the page gives them: a
        # text the document repeats may have been matched elsewhere.
        if order[id(m)] != order[id(pm)] + 1 or (m["level"], pm["level"]) != (e["list"], pe["list"]):
            continue
        if pe["list"] and e["list"] == pe["list"] + 1 and e["left"] > pe["left"] + TOLERANCE_PT:
            if not m["left"] > pm["left"] + TOLERANCE_PT:
                problems.append(f"{name}: level {e['list']} {e['text'][:30]!r} at {m['left']:.1f}pt "
                                f"not right of its parent at {pm['left']:.1f}pt")
    return problems


def libreoffice_pages(documents, folder):
    """LibreOffice's HTML export of each document (reused when present)."""
    folder.mkdir(parents=True, exist_ok=True)
    inputs = folder / "in"
    inputs.mkdir(exist_ok=True)
    wanted = []
    for i, document in enumerate(documents):
        stem = f"doc{i + 1}"
        if not (folder / f"{stem}.html").exists():
            shutil.copyfile(document, inputs / f"{stem}.docx")
            wanted.append(str(inputs / f"{stem}.docx"))
    if wanted and shutil.which("soffice"):
        subprocess.run(["timeout", "900", "soffice", f"-env:UserInstallation=file://{folder}/profile",
                        "--headless", "--norestore", "--convert-to", "html:HTML (StarWriter)",
                        "--outdir", str(folder)] + wanted,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return {d.name: folder / f"doc{i + 1}.html" for i, d in enumerate(documents)
            if (folder / f"doc{i + 1}.html").exists()}


def load(browser, session, page):
    browser.navigate(session, page.as_uri(), timeout=60)
    return browser.evaluate(session, PROBE, timeout=60)


def screenshot(browser, session, page, path, selector=None, text=None):
    """Scrolls to the first element matching `selector`, or to the innermost
    block holding `text`, and saves the viewport. Returns a text near the top
    of the view, for finding the same place on another page."""
    browser.navigate(session, page.as_uri(), timeout=60)
    anchor = browser.evaluate(session, f"""(() => {{
        const selector = {json.dumps(selector)}, text = {json.dumps(text)};
        let el = selector ? document.querySelector(selector) : null;
        if (!el && text) {{
          for (const b of document.body.querySelectorAll('p, li, h1, h2, h3, h4, h5, h6, td, div, span')) {{
            if (b.innerText && b.innerText.replace(/\\s+/g, '').includes(text)) el = b;
          }}
          el = [...document.body.querySelectorAll('p, li, h1, h2, h3, h4, h5, h6')]
                 .find(b => b.innerText.replace(/\\s+/g, '').includes(text)) || el;
        }}
        if (!el) return '';
        el.scrollIntoView({{block: 'start'}});
        let probe = el;
        while (probe && !(probe.innerText || '').trim()) probe = probe.nextElementSibling || probe.parentElement.nextElementSibling;
        return probe ? probe.innerText.replace(/\\s+/g, '').replace(/^[^\\p{{L}}]*/u, '').slice(0, 15) : '';
    }})()""")
    data = browser.send("Page.captureScreenshot", {"format": "png"}, session=session)["data"]
    path.write_bytes(base64.b64decode(data))
    return anchor


def report(title, tallies, total):
    lines = [f"### {title}", "",
             "| document | paragraphs found | " + " | ".join(MEASURES) + " | cells found | spans | borders |",
             "|---|---|" + "---|" * len(MEASURES) + "---|---|---|"]
    for name, t in sorted(tallies.items()):
        lines.append(f"| {name} | {t.found}/{t.paragraphs} | " +
                     " | ".join(f"{t.share(m):.3f}" for m in MEASURES) +
                     f" | {t.cells_found}/{t.cells} | {t.share('spans'):.3f} | {t.share('borders'):.3f} |")
    lines.append(f"| **all** | {total.found}/{total.paragraphs} | " +
                 " | ".join(f"{total.share(m):.3f}" for m in MEASURES) +
                 f" | {total.cells_found}/{total.cells} | {total.share('spans'):.3f} |"
                 f" {total.share('borders'):.3f} |")
    return "\n".join(lines)


def worst(total, count=15):
    lines = []
    by_measure = {}
    for name, measure, e, m in total.mismatches:
        by_measure.setdefault(measure, []).append((name, e, m))
    for measure, items in sorted(by_measure.items(), key=lambda kv: -len(kv[1])):
        lines.append(f"- {measure}: {len(items)} mismatches, e.g.")
        for name, e, m in items[:3]:
            keys = {"indent": ("left", "first"), "alignment": ("align",), "size": ("size",),
                    "weight": ("bold",), "style": ("italic",), "colour": ("color",),
                    "spans": ("colspan", "rowspan"), "borders": ("borders",)}[measure]
            want = ", ".join(f"{k}={e.get(k)}" for k in keys)
            got = ", ".join(f"{k}={m.get(k) if not isinstance(m.get(k), float) else round(m[k], 1)}"
                            for k in keys)
            lines.append(f"  - {name}: {e['text'][:40]!r} wants {want}, page has {got}")
        if len(lines) > count * 4:
            break
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarine", required=True)
    parser.add_argument("--expectations", required=True)
    parser.add_argument("--corpus", required=True, help="folder of .docx files")
    parser.add_argument("--out", required=True)
    parser.add_argument("--libreoffice", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--screenshots", action="store_true")
    args = parser.parse_args()
    chromium = cdp.find_chromium()
    if not chromium:
        print("chromium is not installed: skipped")
        return 77
    if not pathlib.Path(args.corpus).is_dir():
        print(f"SKIPPED: no corpus in {args.corpus}")
        return 77
    out = pathlib.Path(args.out).resolve()
    (out / "ours").mkdir(parents=True, exist_ok=True)
    documents = sorted(pathlib.Path(args.corpus).glob("*.docx"))
    ours, expected = {}, {}
    for i, document in enumerate(documents):
        items = expectations(args.expectations, document)
        if items is None:
            continue  # a package that does not open
        page = out / "ours" / f"doc{i + 1}.htm"
        run = subprocess.run([args.tessarine, "convert", str(document), str(page)],
                             capture_output=True, timeout=300)
        if run.returncode == 0:
            ours[document.name] = page
            expected[document.name] = items
    theirs = libreoffice_pages([d for d in documents if d.name in ours], out / "lo") \
        if args.libreoffice else {}
    picks = {}
    if args.screenshots:
        picks = {
            "nested-list": max(ours, key=lambda n: max([e.get("list", 0) for e in expected[n]] + [0])),
            "chart": next((n for n in ours if b".svg\"" in ours[n].read_bytes()), None),
            "text-box": next((n for n in ours if b"class=shape" in ours[n].read_bytes()), None),
        }
    # LibreOffice's pages of the documents shown, for the screenshots beside
    # ours, when the whole corpus is not measured against it.
    shown = [d for d in documents if d.name in picks.values()]
    their_shots = theirs if args.libreoffice else libreoffice_pages(shown, out / "lo-shown")

    problems = []
    results = {"ours": {}, "LibreOffice": {}}
    measured = {}
    charts = 0
    with cdp.Browser(chromium, window=(1000, 1400)) as browser:
        session = browser.new_page()
        for name, page in ours.items():
            data = load(browser, session, page)
            measured[name] = data
            results["ours"][name] = score(name, expected[name], data)
            problems += [f"{name}: class {c!r} is no CSS identifier" for c in data["badClasses"]]
            problems += nested_list_problems(name, expected[name], data)
            html = page.read_bytes()
            charts_here = len(re.findall(rb"<v:imagedata src=\"[^\"]+\.svg\"", html))
            charts += charts_here
            if data["svgImages"] < charts_here:
                problems.append(f"{name}: {charts_here - data['svgImages']} charts not shown")
        for name, page in theirs.items():
            results["LibreOffice"][name] = score(name, expected[name], load(browser, session, page))
        if args.screenshots:
            shots = out / "screenshots"
            shots.mkdir(exist_ok=True)
            for what, name in picks.items():
                if name is None:
                    continue
                selector = {"nested-list": "[style*='level2']", "chart": "img[src$='.svg']",
                            "text-box": "div.shape"}[what]
                anchor = screenshot(browser, session, ours[name], shots / f"ours-{what}.png",
                                    selector=selector)
                if name in their_shots:
                    # The same place on LibreOffice's page: its chart picture,
                    # else the text ours shows at the top.
                    screenshot(browser, session, their_shots[name],
                               shots / f"libreoffice-{what}.png",
                               selector="img" if what == "chart" else None, text=anchor)
                    print(f"screenshots: {shots}/ours-{what}.png, libreoffice-{what}.png ({name})")

    text = []
    totals = {}
    for who, tallies in results.items():
        if not tallies:
            continue
        total = Tally()
        for t in tallies.values():
            total.add(t)
        totals[who] = total
        text.append(report(f"{who}", tallies, total))
        text.append("")
        text.append("Worst mismatches:\n" + worst(total))
        text.append("")
    if len(totals) == 2:
        text.append("### ours against LibreOffice (all documents)\n")
        text.append("| measure | ours | LibreOffice |\n|---|---|---|")
        for m in MEASURES + CELL_MEASURES:
            text.append(f"| {m} | {totals['ours'].share(m):.3f} | {totals['LibreOffice'].share(m):.3f} |")
        text.append(f"| paragraphs found | {totals['ours'].found}/{totals['ours'].paragraphs} | "
                    f"{totals['LibreOffice'].found}/{totals['LibreOffice'].paragraphs} |")
        text.append(f"| cells found | {totals['ours'].cells_found}/{totals['ours'].cells} | "
                    f"{totals['LibreOffice'].cells_found}/{totals['LibreOffice'].cells} |")
    summary = "\n".join(text)
    (out / "report.md").write_text(summary, encoding="utf-8")
    print(summary)

    if args.check:
        total = totals["ours"]
        for measures, floor in ((("indent", "alignment"), 0.98), (("size", "weight"), 0.98)):
            for m in measures:
                if total.share(m) < floor:
                    problems.append(f"{m}: {total.share(m):.3f} of paragraphs agree, below {floor}")
        if total.found < 0.95 * total.paragraphs:
            problems.append(f"only {total.found} of {total.paragraphs} paragraphs found on the pages")
        if charts < 2:
            problems.append(f"the corpus's charts did not reach the pages ({charts})")
        for problem in problems:
            print("FAIL:", problem)
        return 1 if problems else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
