#!/usr/bin/env python3
"""Builds every sound .docx of the shared corpus into a site of its own and
checks what a reader of the site would notice first:

* the build succeeds, with the default settings and with each clean-up mode
  (selective mode once more with every option, header, footer and page width
  on);
* no page loses its text: a page that shows text when nothing is cleaned
  (mode 0) still shows text in the other configurations;
* no link or picture in any page, nor any page in the tree-menu data, points
  to a missing file; every in-site "#anchor" link finds its anchor on the
  page it names; no page hides its end inside an open comment; the menu
  lists no page twice;
* the readers' search index covers every page once and names no missing
  page, and its snippet text files hold one text per page;
* documents whose chapters are paragraphs with an outline level (the
  chatchat__ standards drafts) split into their chapters, titled with the
  numbers Word shows;
* with --browser, headless Chromium opens every page of the default build
  without a console error (script errors and failed loads included).

usage: site_corpus_test.py TESSARINE SHARED_DIR WORK_DIR [--browser]
Exit status 0 when every check holds; each failure is printed. 77 (skipped)
when SHARED_DIR holds no corpus.
"""

import html
import json
import os
import re
import shutil
import subprocess
import sys
import urllib.parse
from html.parser import HTMLParser
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "tools"))
import cdp  # noqa: E402

ALL_OPTIONS = {
    "Opt1VML": "1", "Opt1Absolute": "1", "Opt1EQ": "1", "Opt1Margin": "1", "Opt1Space": "1",
    "Header": "1", "Footer": "1", "HFHome": "1",
    "OptPageWidth": "1", "OptPageMargin": "0", "OptPageEffect": "1",
}
CONFIGURATIONS = [
    ("default", {}),
    ("mode0", {"OptimizeMode": "0"}),
    ("mode1-all", dict(ALL_OPTIONS, OptimizeMode="1")),
    ("mode2", {"OptimizeMode": "2"}),
    ("mode2-all", {"OptimizeMode": "2", "Opt2Image": "1", "Opt2Table": "1", "Opt2EQ": "1",
                   "Opt2Indent": "1", "Opt2PtoBR": "1"}),
]

MENU_ITEM = re.compile(r'\["((?:[^"\\]|\\.)*)","((?:[^"\\]|\\.)*)",')
CONTENT = re.compile(r'<div class="tessarine_content">(.*)</div>\s*<p class="tessarine_backtop">',
                     re.S)


def sound_documents(shared):
    """The corpus .docx files that PROVENANCE.md marks ok, by name."""
    names = []
    for line in (shared / "corpus" / "PROVENANCE.md").read_text(encoding="utf-8").splitlines():
        cells = [c.strip() for c in line.split("|")]
        if len(cells) > 9 and cells[1].startswith("docx/") and cells[9] == "ok":
            names.append(cells[1][len("docx/"):])
    return sorted(names)


def read_page(path):
    # Pages are written in the project's encoding; the default is GB2312
    # (code page 936), of which GB18030 is a superset.
    return path.read_bytes().decode("gb18030", errors="replace")


def visible_text(fragment):
    fragment = re.sub(r"<!--.*?-->", "", fragment, flags=re.S)
    fragment = re.sub(r"<[^>]*>", "", fragment)
    fragment = html.unescape(fragment).replace("\xa0", " ")
    return "".join(fragment.split())


def is_local(target):
    if not target or target.startswith(("#", "/")):
        return False
    return urllib.parse.urlsplit(target).scheme == ""


class LinkCollector(HTMLParser):
    """Sources of every tag, style sheets, and the links that the build
    itself writes: to pages (.htm) and into resource folders. A document's
    own links to files beside it (a.doc, photo.jpg) are its author's."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.targets = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if value is None:
                continue
            if name == "src" or (name == "href" and tag == "link"):
                self.targets.append(value)
            elif name == "href":
                path = value.split("#", 1)[0]
                if path.endswith(".htm") or ".files/" in path or path.startswith("tfiles/"):
                    self.targets.append(value)


def broken_links(site):
    """(file, target) pairs whose target does not exist."""
    broken = []
    for page in sorted(site.rglob("*")):
        if page.name == "dtree-data.js":
            targets = [json.loads(f'"{m.group(2)}"') for m in MENU_ITEM.finditer(read_page(page))]
            base = site
        elif page.suffix.lower() in (".htm", ".html"):
            collector = LinkCollector()
            collector.feed(read_page(page))
            targets, base = collector.targets, page.parent
        else:
            continue
        for target in targets:
            if "{" in target or not is_local(target):
                continue
            path = urllib.parse.unquote(target.split("#", 1)[0].split("?", 1)[0])
            if path and not (base / path).exists():
                broken.append((str(page.relative_to(site)), target))
    return broken


ANCHOR_NAME = re.compile(r'\b(?:id|name)\s*=\s*["\']?([^"\' >]+)', re.I)
ANCHOR_LINK = re.compile(r'<a\b[^>]*\bhref\s*=\s*["\']?([^"\' >]*#[^"\' >]+)', re.I)
BACK_TO_TOP = "\u8fd4\u56de\u9876\u90e8"  # the template's closing link text


def page_files(site):
    frames = {"default.htm", "top.htm", "left.htm"}
    return sorted(p for p in site.glob("*.htm") if p.name not in frames)


def broken_anchors(site):
    """(page, link) pairs whose #anchor is missing on the page it names."""
    pages = {p.name: read_page(p) for p in page_files(site)}
    names = {name: set(ANCHOR_NAME.findall(text)) for name, text in pages.items()}
    broken = []
    for name, text in pages.items():
        for match in ANCHOR_LINK.finditer(text):
            link = html.unescape(match.group(1))
            if re.match(r"^[a-z]+:", link, re.I):
                continue
            target, fragment = link.split("#", 1)
            target = urllib.parse.unquote(target) or name
            if target in names and urllib.parse.unquote(fragment) not in names[target]:
                broken.append((name, link))
    return broken


def hidden_endings(site):
    """Pages whose closing text a browser does not show: an open comment runs
    to the end of the page."""
    hidden = []
    for page in page_files(site):
        text = re.sub(r"<!\[(?:if|endif)[^\]]*\]>", "", read_page(page))
        text = re.sub(r"(?s)<!--.*?(?:-->|\Z)", "", text)
        if BACK_TO_TOP not in visible_text(text):
            hidden.append(page.name)
    return hidden


def menu_items(site):
    data = read_page(site / "tfiles" / "dtree-data.js")
    return [(json.loads(f'"{m.group(1)}"'), json.loads(f'"{m.group(2)}"'))
            for m in MENU_ITEM.finditer(data)]


def script_argument(path, head):
    """The JSON after `head` (up to the closing ");") of a search script."""
    raw = path.read_bytes()
    text = raw[3:].decode("utf-8") if raw.startswith(b"\xef\xbb\xbf") else read_page(path)
    if not text.startswith(head):
        raise ValueError(f"{path.name} does not start with {head}")
    return json.loads(text[len(head):text.rindex(")")])


def search_index_failures(site):
    """The index against the menu and the pages on disk: every content page
    once, postings inside the page list, a snippet text per page."""
    try:
        index = script_argument(site / "tfiles/search-index.js", "tessarineSearchIndex(")
    except (OSError, ValueError) as error:
        return [f"no readable search index: {error}"]
    if index is None:
        return ["the search index is empty although search is on"]
    failures = []
    # The index numbers the pages as the menu lists them (broken_links checks
    # that the menu names existing pages; the caller that it names each once).
    files = [file for _, file in menu_items(site)]
    if index["count"] != len(files):
        failures.append(f"the search index counts {index['count']} pages, the menu {len(files)}")
    for file in sorted({p.name for p in page_files(site)} - set(files)):
        failures.append(f"{file} is in neither the menu nor the search index")
    terms = []
    for spaced in index["terms"].split(" "):
        for n, piece in enumerate(spaced.split("|")):  # "|": the previous term's first character
            terms.append(terms[-1][0] + piece if n else piece)
    postings = index["postings"].split(" ")
    if len(terms) != len(postings) or terms != sorted(
            set(terms), key=lambda t: t.encode("utf-16-be")):  # the script's order, once each
        failures.append("the search terms are unsorted, repeated or do not match their postings")
    last, more = "abcdefghijklmnopqrstuvwxyz012345", "ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_"
    for term, entries in zip(terms, postings):
        if entries.startswith("~"):  # a bitmap, six pages a character
            bits = [(last + more).index(c) for c in entries[1:]]
            pages = [6 * k + b for k, v in enumerate(bits) for b in range(6) if v >> b & 1]
        else:  # distances in digits of 32
            pages, value = [], 0
            for c in entries:
                value = value * 32 + (last.index(c) if c in last else more.index(c))
                if c in last:
                    pages.append(pages[-1] + value if pages else value)
                    value = 0
        if not pages or pages[-1] >= len(files) or pages != sorted(set(pages)):
            failures.append(f"the postings of {term!r} are empty, unordered or past the last page")
            break
    texts = []
    for chunk in range((len(files) + 199) // 200):
        texts += script_argument(site / f"tfiles/search-text-{chunk}.js",
                                 f"tessarineSearchText({chunk},")
    if len(texts) != len(files):
        failures.append(f"{len(texts)} snippet texts for {len(files)} pages")
    return failures


def content_pages(site):
    """Page file name -> visible text of its content slot."""
    pages = {}
    for page in site.glob("*.htm"):
        match = CONTENT.search(read_page(page))
        if match:
            pages[page.name] = visible_text(match.group(1))
    return pages


def build(tessarine, document, configuration, work):
    name, settings = configuration
    folder = work / name
    site = folder / "site"
    shutil.rmtree(folder, ignore_errors=True)
    site.mkdir(parents=True)
    project = folder / "project.tsn"
    subprocess.run([tessarine, "new", str(project), str(document)], check=True,
                   stdout=subprocess.DEVNULL)
    data = json.loads(project.read_text(encoding="utf-8"))
    data["documents"][0].update(settings)
    project.write_text(json.dumps(data, ensure_ascii=False), encoding="utf-8")
    run = subprocess.run([tessarine, "build", str(project), "--output", str(site)],
                         capture_output=True, text=True)
    return site, run


def outline_chapters(tessarine, document, work, name):
    """A standards draft marks its chapters with styles of its own that carry
    an outline level; kept with Word's own numbers (NumberlistRule 1), the
    menu shows its clauses as Word's navigation pane does."""
    site, run = build(tessarine, document, ("outline", {"NumberlistRule": "1"}), work)
    if run.returncode != 0:
        return [f"{name} [outline]: build failed: {run.stderr.strip()}"]
    titles = [html.unescape(text).lstrip("|+").replace("\xa0", " ") for text, _ in menu_items(site)]
    failures = []
    if len(titles) < 10:
        failures.append(f"{name} [outline]: {len(titles)} menu entries, expected its chapters")
    if not any(re.fullmatch(r"1\s*\u8303\u56f4", t) for t in titles):  # "1 Scope"
        failures.append(f"{name} [outline]: no chapter '1 \u8303\u56f4' among {titles[:12]}")
    return failures


def main(argv):
    if len(argv) < 4:
        print(__doc__)
        return 2
    tessarine, shared, work = argv[1], Path(argv[2]), Path(argv[3])
    use_browser = "--browser" in argv[4:]
    if not (shared / "corpus" / "PROVENANCE.md").is_file():
        print(f"SKIPPED: no corpus in {shared}")
        return 77
    failures = []
    sites = []
    documents = sound_documents(shared)
    if not documents:
        print("no sound documents listed in the corpus provenance")
        return 1
    for index, name in enumerate(documents):
        document = shared / "corpus" / "docx" / name
        work_doc = work / f"doc{index:02d}"
        texts = {}
        for configuration in CONFIGURATIONS:
            site, run = build(tessarine, document, configuration, work_doc)
            label = f"{name} [{configuration[0]}]"
            if run.returncode != 0:
                failures.append(f"{label}: build failed: {run.stderr.strip()}")
                continue
            for page, target in broken_links(site):
                failures.append(f"{label}: {page} links to missing {target}")
            for page, link in broken_anchors(site):
                failures.append(f"{label}: {page} links to {link}, whose anchor is missing")
            for page in hidden_endings(site):
                failures.append(f"{label}: {page} hides its end inside an open comment")
            files = [file for _, file in menu_items(site)]
            for file in sorted({f for f in files if files.count(f) > 1}):
                failures.append(f"{label}: the menu lists {file} more than once")
            for failure in search_index_failures(site):
                failures.append(f"{label}: {failure}")
            texts[configuration[0]] = content_pages(site)
            if configuration[0] == "default":
                sites.append((label, site))
        reference = texts.get("mode0", {})
        for configuration, pages in texts.items():
            for page, text in reference.items():
                if text and page in pages and not pages[page]:
                    failures.append(f"{name} [{configuration}]: page {page} lost all its text")
                if page not in pages:
                    failures.append(f"{name} [{configuration}]: page {page} is missing")
        if name.startswith("chatchat__"):
            failures += outline_chapters(tessarine, document, work_doc, name)
        print(f"built {name}: {len(reference)} pages", flush=True)

    if use_browser:
        if not cdp.find_chromium():
            print("chromium is not installed: the browser checks cannot run")
            return 1
        with cdp.Browser() as browser:
            session = browser.new_page()
            opened = 0
            for label, site in sites:
                for page in sorted(site.glob("*.htm")):
                    browser.navigate(session, page.resolve().as_uri())
                    # A round trip lets late console events arrive.
                    browser.evaluate(session, "document.readyState")
                    for error in browser.console_errors(session):
                        failures.append(f"{label}: {page.name}: {error}")
                    opened += 1
            print(f"opened {opened} pages in chromium")

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(documents)} documents, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
