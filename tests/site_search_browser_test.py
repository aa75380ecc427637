#!/usr/bin/env python3
"""The readers' search, the phone-width layout and print, in headless
Chromium from file://.

Builds PROJECT (with --template NAME, that template) and checks:

  * the search box appears once the index has loaded; a Chinese term, an
    English word and three Chinese characters whose pairs another page holds
    apart list exactly the pages whose text (title and content) holds them,
    each result with its title, its path in the menu and a snippet with the
    hits marked;
  * the arrow keys and Enter open a result in the main frame, where the hits
    are marked and the first is scrolled into view;
  * at 375 x 667 the menu is folded away, the page takes the whole width, the
    menu button opens the menu, the search button opens it with the search
    box, choosing a result closes it, and no page is wider than the screen
    (a wide table scrolls inside its own box);
  * printed, a content page shows the content only;
  * with --tier-m DOCX also a site of that generated document (built with
    the default ANSI output): a word's result set, exactly.

Screenshots in OUTPUT: search-desktop.png, search-opened.png, phone-home.png, phone-menu.png,
phone-search.png, phone-table.png, print.png.
Exits 77 (skipped) when Chromium is not installed, 1 on a failed check.
"""

import argparse
import html
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent / "tools"))
import cdp  # noqa: E402
from site_browser_test import (SKIPPED, Failure, Site, check, read_menu_data,  # noqa: E402
                               with_template)

CONTENT = re.compile(r'<div class="tessarine_content">(.*)</div>\s*<p class="tessarine_backtop">',
                     re.S)


def page_texts(folder):
    """Each menu entry's page file -> its title and visible content text, in
    lower case, as an independent reading of what the index should cover."""
    texts = {}
    for item in read_menu_data(folder / "tfiles/dtree-data.js"):
        raw = (folder / item["file"]).read_bytes()
        text = raw[3:].decode("utf-8") if raw.startswith(b"\xef\xbb\xbf") else raw.decode("gb18030")
        body = CONTENT.search(text)
        check(body, f"{item['file']}: no content block")
        # Scripts, comments and the generated lists of other pages are no
        # page's own text.
        content = re.sub(r"<(script|style)\b.*?</\1>|<!--.*?-->|"
                         r'<div id="tessarine_(toc|relative)">.*?</div>', " ", body.group(1),
                         flags=re.S | re.I)
        content = html.unescape(re.sub(r"<[^>]*>", "", content))
        texts[item["file"]] = (item["title"] + " " + " ".join(content.split())).lower()
    return texts


def holding_word(texts, word):
    pattern = re.compile(r"(?<![^\W_])" + re.escape(word) + r"(?![^\W_])")
    # CJK letters next to a Latin word are a boundary for the index too.
    spaced = {f: re.sub(r"([\u3040-\u30ff\u3400-\u9fff\uac00-\ud7af])", r" \1 ", t)
              for f, t in texts.items()}
    return sorted(f for f, t in spaced.items() if pattern.search(t))


def holding_phrase(texts, phrase):
    return sorted(f for f, t in texts.items() if phrase in t)


CJK_RUN = re.compile(r"[\u3040-\u30ff\u3400-\u9fff\uac00-\ud7af]+")


def apart_phrase(texts):
    """Three CJK characters that some pages show in a row and another page
    holds only apart (both pairs, never the three together): a probe that
    the pairs alone would answer wrongly. The rarest such phrase, or None."""
    pairs = {f: {run[i:i + 2] for run in CJK_RUN.findall(t) for i in range(len(run) - 1)}
             for f, t in texts.items()}
    phrases = {run[i:i + 3] for t in texts.values() for run in CJK_RUN.findall(t)
               for i in range(len(run) - 2)}
    probes = []
    for phrase in phrases:
        holding = holding_phrase(texts, phrase)
        apart = [f for f, p in pairs.items()
                 if phrase[:2] in p and phrase[1:] in p and f not in holding]
        if apart and len(holding) < 50:
            probes.append((len(holding), phrase))
    return min(probes)[1] if probes else None


class SearchSite(Site):
    def type_query(self, text):
        self.evaluate("tessarine_left", """(() => {
            const q = document.getElementById('ts-query'); q.value = ''; q.focus(); })()""")
        self.browser.send("Input.insertText", {"text": text})

    def results(self):
        return self.evaluate("tessarine_left", """
          [...document.querySelectorAll('#ts-results .ts-result')].map(a => ({
            file: decodeURI(a.getAttribute('href').split('?')[0]),
            title: a.querySelector('.ts-title').textContent,
            path: (a.querySelector('.ts-path') || {}).textContent || '',
            snippet: a.querySelector('.ts-snippet').textContent,
            marks: a.querySelectorAll('.ts-snippet mark, .ts-title mark').length,
            active: a.classList.contains('ts-active')}))""")

    def key(self, key, code, virtual):
        for kind in ("rawKeyDown", "keyUp"):
            self.browser.send("Input.dispatchKeyEvent", {
                "type": kind, "key": key, "code": code, "windowsVirtualKeyCode": virtual})

    def click(self, selector, right_edge=False):
        """A real click on an element of the home page (the buttons over the
        frames), in its middle or near its right edge."""
        x, y = self.evaluate("", f"""(() => {{
            const r = document.querySelector({json.dumps(selector)}).getBoundingClientRect();
            return [{'r.right - 8' if right_edge else 'r.x + r.width / 2'},
                    r.y + r.height / 2]; }})()""")
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.browser.send("Input.dispatchMouseEvent", {
                "type": kind, "x": x, "y": y, "button": "left" if kind != "mouseMoved" else "none",
                "clickCount": 1 if kind != "mouseMoved" else 0})

    def wait_results(self, query, expected):
        def settled():
            found = self.results()
            files = sorted(r["file"] for r in found)
            return found if files == expected and all(r["snippet"] for r in found) else None
        try:
            return self.wait_for(f"the results of {query!r}", settled)
        except Failure:
            got = sorted(r["file"] for r in self.results())
            raise Failure(f"{query!r}: results {got}, pages holding it {expected}")


def check_query(site, texts, query, expected):
    check(expected and len(expected) < 50, f"{query!r} is a poor probe: pages {expected}")
    site.type_query(query)
    found = site.wait_results(query, expected)
    titles = {item["file"]: item["title"] for item in read_menu_data(site.folder / "tfiles/dtree-data.js")}
    for result in found:
        check(" ".join(result["title"].split()) == titles[result["file"]],
              f"{result['file']}: title {result['title']!r}")
        check(result["marks"] > 0, f"{query!r}: nothing marked in the result {result}")
    check(found[0]["active"], "the first result is not the active one")
    return found


def open_second_result(site, query):
    site.key("ArrowDown", "ArrowDown", 40)
    found = site.results()
    check(found[1]["active"] if len(found) > 1 else found[0]["active"], "ArrowDown did not move")
    chosen = found[1] if len(found) > 1 else found[0]
    site.key("Enter", "Enter", 13)
    site.wait_for(f"{chosen['file']} in the main frame",
                  lambda: site.main_page().split("?")[0] == chosen["file"]
                  and site.evaluate("tessarine_main", "document.readyState") == "complete")
    hit = site.wait_for("the hits marked on the page", lambda: site.evaluate("tessarine_main", """
        (() => { const m = document.querySelectorAll('mark.tessarine_hit');
          if (!m.length) return null;
          const r = document.querySelector('.tessarine_hit_first').getBoundingClientRect();
          return {count: m.length, top: r.top, bottom: r.bottom, height: innerHeight,
                  text: m[0].textContent}; })()"""))
    check(0 <= hit["top"] and hit["bottom"] <= hit["height"], f"first hit not in view: {hit}")
    check(hit["text"].lower() in query.lower() or query.lower().startswith(hit["text"].lower()[:2]),
          f"marked {hit['text']!r} for {query!r}")


def desktop_checks(browser, site, texts, output):
    site.open(site.home)
    site.wait_for("the search box", lambda: site.evaluate(
        "tessarine_left", "!document.getElementById('ts-search').hidden"))
    chinese = "模板"
    check_query(site, texts, chinese, holding_phrase(texts, chinese))
    site.screenshot(output / "search-desktop.png")
    open_second_result(site, chinese)
    english = "word"
    found = check_query(site, texts, english + " ", holding_word(texts, english))
    check(all(r["path"] or r["file"] == r["file"].split(".")[0] + ".htm" for r in found),
          "a result below a document's home page has no menu path")
    open_second_result(site, english)
    site.screenshot(output / "search-opened.png")
    # Three characters whose pairs another page holds apart: only the pages
    # showing them in a row, once their texts have been checked.
    phrase = apart_phrase(texts)
    check(phrase, "no page of the sample holds the pairs of a phrase apart")
    check_query(site, texts, phrase, holding_phrase(texts, phrase))


def phone_checks(browser, site, texts, output):
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 375, "height": 667, "deviceScaleFactor": 2, "mobile": True})
    browser.send("Page.navigate", {"url": "about:blank"})
    site.open(site.home)
    site.wait_for("the search button", lambda: site.evaluate(
        "", "getComputedStyle(document.querySelector('.tessarine_search_button')).display != 'none'"))
    browser.pump(0.4)
    geometry = """(() => {
        const box = s => document.querySelector(s).getBoundingClientRect();
        const l = box('.tessarine_frame_left'), m = box('.tessarine_frame_main');
        return {left: getComputedStyle(document.querySelector('.tessarine_frame_left')).visibility,
                leftRight: l.right, mainX: m.x, mainWidth: m.width, width: innerWidth}; })()"""
    closed = site.evaluate("", geometry)
    check(closed["left"] == "hidden" and closed["mainX"] == 0 and closed["mainWidth"] == 375,
          f"phone layout with the menu closed: {closed}")
    site.screenshot(output / "phone-home.png")

    site.click(".tessarine_menu_button")
    site.wait_for("the menu to open", lambda: site.evaluate("", geometry)["leftRight"] > 250)
    browser.pump(0.4)
    site.screenshot(output / "phone-menu.png")
    site.click(".tessarine_scrim", right_edge=True)  # beside the menu
    site.wait_for("the menu to close", lambda: not site.evaluate(
        "", "document.body.classList.contains('tessarine_menu_open')"))

    site.click(".tessarine_search_button")
    site.wait_for("the menu to open for search", lambda: site.evaluate("", geometry)["leftRight"] > 250)
    site.wait_for("the search box in focus", lambda: site.evaluate(
        "tessarine_left", "document.activeElement && document.activeElement.id == 'ts-query'"))
    check_query(site, texts, "模板", holding_phrase(texts, "模板"))
    browser.pump(0.4)
    site.screenshot(output / "phone-search.png")
    site.key("Enter", "Enter", 13)
    site.wait_for("the menu to close on a result", lambda: not site.evaluate(
        "", "document.body.classList.contains('tessarine_menu_open')"))

    # No page is wider than the screen; the widest table scrolls in its box.
    widest = None
    for file in texts:
        site.evaluate("tessarine_main", f"location.href = {json.dumps(urllib.parse.quote(file))}")
        site.wait_for(f"{file} loaded", lambda: site.main_page() == file and site.evaluate(
            "tessarine_main", "document.readyState") == "complete")
        page = site.evaluate("tessarine_main", """(() => {
            const tables = [...document.querySelectorAll('.tessarine_content table')];
            const wide = Math.max(0, ...tables.map(t => t.scrollWidth - t.clientWidth));
            return {page: document.documentElement.scrollWidth, width: innerWidth, wide}; })()""")
        check(page["page"] <= page["width"], f"{file} is wider than the screen: {page}")
        if page["wide"] > 0 and (widest is None or page["wide"] > widest[1]):
            widest = (file, page["wide"])
    check(widest is not None, "no page of the sample has a table wider than a phone")
    site.evaluate("tessarine_main", f"location.href = {json.dumps(urllib.parse.quote(widest[0]))}")
    site.wait_for(f"{widest[0]} loaded", lambda: site.main_page() == widest[0])
    site.evaluate("tessarine_main", """
        document.querySelector('.tessarine_content table').scrollIntoView({block: 'start'})""")
    browser.pump(0.4)
    site.screenshot(output / "phone-table.png")


def print_checks(browser, site, output):
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 800, "height": 1000, "deviceScaleFactor": 1, "mobile": False})
    page = next(f for f in sorted(site.folder.glob("*.htm"))
                if f.name not in ("default.htm", "top.htm", "left.htm"))
    browser.send("Page.navigate", {"url": page.as_uri() + "?tessarine_q=" + urllib.parse.quote("模板")})
    site.wait_for("the page", lambda: site.evaluate("", "document.readyState") == "complete")
    browser.send("Emulation.setEmulatedMedia", {"media": "print"})
    hidden = site.evaluate("", """[...document.querySelectorAll(
        '.tessarine_navbar, .tessarine_backtop')].map(e => getComputedStyle(e).display)""")
    check(hidden and set(hidden) == {"none"}, f"printed page shows screen furniture: {hidden}")
    browser.pump(0.3)
    site.screenshot(output / "print.png")
    browser.send("Emulation.setEmulatedMedia", {"media": ""})


def tier_check(browser, tessarine, docx, scratch, output):
    """A generated tier: a new project with the program's defaults (ANSI)."""
    project = scratch / "tier.tsn"
    folder = scratch / "tier-site"
    folder.mkdir()
    for command in (["new", str(project), str(docx)], ["build", str(project), "--output", str(folder)]):
        run = subprocess.run([tessarine, *command], stdin=subprocess.DEVNULL, capture_output=True,
                             text=True, timeout=600)
        check(run.returncode == 0, f"tessarine {command[0]}: {run.stdout}{run.stderr}")
    texts = page_texts(folder)
    site = SearchSite(browser, folder)
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
    site.open(site.home)
    site.wait_for("the search box", lambda: site.evaluate(
        "tessarine_left", "!document.getElementById('ts-search').hidden"))
    # The rarest word on more than one page, and a Chinese pair: the whole
    # result set (the list shows the best 50) from the box's own search.
    counts = {}
    for file, text in texts.items():
        for word in set(re.findall(r"(?<![^\W_])[a-z]{3,}(?![^\W_])", text)):
            counts.setdefault(word, []).append(file)
    word = min((w for w, f in counts.items() if len(f) >= 2), key=lambda w: (len(counts[w]), w))
    for query, expected in ((word + " ", holding_word(texts, word)),
                            ("模板", holding_phrase(texts, "模板"))):
        check(expected, f"{query!r} is on no page")
        site.type_query(query)
        site.wait_for(f"results of {query!r}", lambda: site.results())
        everything = site.evaluate("tessarine_left", f"""(() => {{
            const s = document.createElement('script');
            s.textContent = 'document.body.dataset.all = JSON.stringify(tessarineSearch.search(' +
                {json.dumps(json.dumps(query))} + '))';
            document.head.appendChild(s);
            return JSON.parse(document.body.dataset.all); }})()""")
        check(sorted(everything) == expected,
              f"{query!r}: {len(everything)} results, {len(expected)} pages hold it; "
              f"missing {sorted(set(expected) - set(everything))[:5]}, "
              f"extra {sorted(set(everything) - set(expected))[:5]}")
        shown = [r["file"] for r in site.results()]
        check(shown == everything[:50], f"{query!r}: the list is not the best of the results")
        print(f"tier {docx.stem}: {len(texts)} pages; {query!r} on {len(expected)} pages, all found")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tessarine", required=True)
    parser.add_argument("--project", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--template")
    parser.add_argument("--tier-m", help="a generated benchmark document (M.docx)")
    args = parser.parse_args()

    chromium = cdp.find_chromium()
    if not chromium:
        print("SKIPPED: chromium is not installed (Debian package chromium)")
        return SKIPPED
    output = pathlib.Path(args.output)
    output.mkdir(parents=True, exist_ok=True)
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="tessarine-search-"))
    try:
        folder = scratch / "site"
        folder.mkdir()
        project = args.project
        if args.template:
            project = str(with_template(pathlib.Path(project), args.template, scratch))
        build = subprocess.run([args.tessarine, "build", project, "--output", str(folder)],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        check(build.returncode == 0, f"the build exited {build.returncode}\n{build.stdout}{build.stderr}")
        texts = page_texts(folder)
        with cdp.Browser(chromium) as browser:
            targets = browser.send("Target.getTargets", session=False)["targetInfos"]
            page = next(t for t in targets if t["type"] == "page")
            browser.session = browser.send("Target.attachToTarget", {
                "targetId": page["targetId"], "flatten": True}, session=False)["sessionId"]
            for domain in ("Page", "Runtime", "Log"):
                browser.send(f"{domain}.enable")
            browser.send("Emulation.setDeviceMetricsOverride",
                         {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
            site = SearchSite(browser, folder)
            desktop_checks(browser, site, texts, output)
            phone_checks(browser, site, texts, output)
            print_checks(browser, site, output)
            if args.tier_m:
                if pathlib.Path(args.tier_m).is_file():
                    tier_check(browser, args.tessarine, pathlib.Path(args.tier_m), scratch, output)
                else:
                    print(f"tier M: no {args.tier_m} (make it with make-bench-docs.sh M); not run")
            for event in browser.events:
                if event.get("method") == "Runtime.exceptionThrown":
                    raise Failure(f"script error: {event['params']['exceptionDetails']}")
    except (Failure, cdp.BrowserError) as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"site_search_browser_test: passed; screenshots in {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
