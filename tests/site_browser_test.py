#!/usr/bin/env python3
"""The sample project's site in headless Chromium, opened from file:// as a
reader would open it.

Builds PROJECT with the tessarine program into a temporary folder, opens its
frameset home page and checks, through the DevTools protocol over
--remote-debugging-pipe (standard library only):

  * the tree menu shows one item per entry of tfiles/dtree-data.js, with the
    entry's title, level and page, and the entries name every page the build
    wrote;
  * the items open at first are those the data marks expanded;
  * a click on a node's twisty, and the right and left arrow keys, expand and
    collapse it;
  * a click on an item loads its page in the main frame and highlights it;
  * the highlight follows a page the main frame loads by itself, and the home
    page's address names the page shown ("default.htm#PAGE" opens it);
  * the logo shows, no script fails and no file of the frameset is missing.

With --template NAME the project is built with that template instead of its
own, so every shipped template's frameset is held to the same checks.

Screenshots go to OUTPUT (home.png at the start, frameset.png at the end).
Exits 77 (skipped) when Chromium is not installed, 1 on a failed check.
"""

import argparse
import base64
import html
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent / "tools"))
import cdp  # noqa: E402  (the DevTools client shared by the browser tests)

SKIPPED = 77
TIMEOUT = 20.0
FRAMESET_PAGES = {"default.htm", "top.htm", "left.htm"}

ITEM = re.compile(
    r'\["((?:[^"\\]|\\.)*)","((?:[^"\\]|\\.)*)",'
    r'(H0|HC|NC)iconNormal,\3iconOver,\3iconExpanded,"","",\3itemStyleInd,\3itemXPStyleInd,\],')


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# --- The menu data as the build wrote it ------------------------------------------------------


def read_menu_data(path):
    raw = pathlib.Path(path).read_bytes()
    if raw.startswith(b"\xef\xbb\xbf"):
        text = raw[3:].decode("utf-8")
    else:
        text = raw.decode("gb18030")
    check(text.startswith("var tmenuItems=[") and text.endswith("];"), f"{path}: {text[:80]!r}")
    body = text[len("var tmenuItems=["):-2]
    check("\n" not in text and "\r" not in text, f"{path} is not one line")
    items = []
    at = 0
    for match in ITEM.finditer(body):
        check(match.start() == at, f"{path}: unexpected text at {body[at:at + 60]!r}")
        at = match.end()
        name = json.loads('"' + match.group(1) + '"')
        level = len(name) - len(name.lstrip("|"))
        name = name[level:]
        expanded = name.startswith("+")
        title = name[1:] if expanded else name
        items.append({
            "level": level,
            "expanded": expanded,
            "title": " ".join(html.unescape(re.sub(r"<[^>]*>", "", title)).split()),
            "file": json.loads('"' + match.group(2) + '"'),
            "set": match.group(3),
        })
    check(at == len(body), f"{path}: unexpected text at {body[at:at + 60]!r}")
    return items


def parents(items):
    """For each item, the index of the item it hangs under, or None."""
    result, stack = [], []
    for index, item in enumerate(items):
        while stack and items[stack[-1]]["level"] >= item["level"]:
            stack.pop()
        result.append(stack[-1] if stack else None)
        stack.append(index)
    return result


# --- The checks --------------------------------------------------------------------------------


class Site:
    def __init__(self, browser, folder):
        self.browser = browser
        self.folder = pathlib.Path(folder)
        self.home = (self.folder / "default.htm").as_uri()

    def frames(self):
        tree = self.browser.send("Page.getFrameTree")["frameTree"]
        found = {"": tree["frame"]}
        for child in tree.get("childFrames", []):
            found[child["frame"].get("name", "")] = child["frame"]
        return found

    def evaluate(self, frame_name, expression):
        # A frame that is between two documents has no context to run in for
        # a moment: the script runs again in the new document.
        for attempt in range(50):
            frame = self.frames().get(frame_name)
            check(frame is not None, f"no frame named {frame_name!r}")
            try:
                context = self.browser.send(
                    "Page.createIsolatedWorld", {"frameId": frame["id"], "worldName": "site-test"})
                result = self.browser.send("Runtime.evaluate", {
                    "expression": expression, "contextId": context["executionContextId"],
                    "returnByValue": True, "awaitPromise": True})
            except cdp.BrowserError as error:
                if attempt < 49 and ("context" in str(error) or "frame" in str(error).lower()):
                    time.sleep(0.1)
                    continue
                raise
            check("exceptionDetails" not in result,
                  f"{expression[:60]}: {result.get('exceptionDetails')}")
            return result["result"].get("value")

    def wait_for(self, what, probe, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            try:
                last = probe()
            except (Failure, cdp.BrowserError) as failure:  # a frame between two documents
                last = str(failure)
            else:
                if last:
                    return last
            time.sleep(0.1)
        raise Failure(f"timed out waiting for {what} (last: {last!r})")

    def open(self, url):
        self.browser.send("Page.navigate", {"url": url})
        self.wait_for("the tree menu", lambda: self.evaluate(
            "tessarine_left", "document.querySelectorAll('[role=treeitem]').length"))

    def tree(self):
        return self.evaluate("tessarine_left", """
          [...document.querySelectorAll('#tessarine_tree [role=treeitem]')].map(a => {
            const r = a.querySelector('.tm-label').getBoundingClientRect();
            const t = a.parentElement.querySelector('.tm-twisty').getBoundingClientRect();
            return {href: a.getAttribute('href'), text: a.textContent,
                    level: Number(a.getAttribute('aria-level')), visible: a.checkVisibility(),
                    expanded: a.getAttribute('aria-expanded'),
                    selected: a.getAttribute('aria-selected'),
                    label: [r.x + r.width / 2, r.y + r.height / 2],
                    twisty: [t.x + t.width / 2, t.y + t.height / 2]};
          })""")

    def click_in_left(self, point):
        offset = self.evaluate("", """(() => {
            const r = document.querySelector("iframe[name='tessarine_left']")
                .getBoundingClientRect();
            return [r.x, r.y]; })()""")
        x, y = offset[0] + point[0], offset[1] + point[1]
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.browser.send("Input.dispatchMouseEvent", {
                "type": kind, "x": x, "y": y, "button": "left" if kind != "mouseMoved" else "none",
                "clickCount": 1 if kind != "mouseMoved" else 0})

    def press(self, key, code):
        virtual = {"ArrowRight": 39, "ArrowLeft": 37, "ArrowDown": 40}[key]
        for kind in ("rawKeyDown", "keyUp"):
            self.browser.send("Input.dispatchKeyEvent", {
                "type": kind, "key": key, "code": code, "windowsVirtualKeyCode": virtual})

    def main_page(self):
        url = self.frames().get("tessarine_main", {}).get("url", "")
        return urllib.parse.unquote(url.rsplit("/", 1)[-1])

    def screenshot(self, path):
        data = self.browser.send("Page.captureScreenshot", {"format": "png"})["data"]
        pathlib.Path(path).write_bytes(base64.b64decode(data))


def href_file(href):
    return urllib.parse.unquote(href[2:] if href.startswith("./") else href)


def run_checks(browser, site_folder, output):
    items = read_menu_data(site_folder / "tfiles/dtree-data.js")
    pages = sorted(p.name for p in site_folder.glob("*.htm") if p.name not in FRAMESET_PAGES)
    check(items, "the menu data is empty")
    check(sorted(item["file"] for item in items) == pages,
          f"menu entries {[i['file'] for i in items]} are not the pages written {pages}")
    owner = parents(items)

    browser.session = None
    targets = browser.send("Target.getTargets", session=False)["targetInfos"]
    page_target = next(t for t in targets if t["type"] == "page")
    browser.session = browser.send(
        "Target.attachToTarget", {"targetId": page_target["targetId"], "flatten": True},
        session=False)["sessionId"]
    for domain in ("Page", "Runtime", "Log"):
        browser.send(f"{domain}.enable")
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})

    site = Site(browser, site_folder)
    site.open(site.home)
    browser.pump(0.5)  # icons and logo
    site.screenshot(output / "home.png")

    # One item per entry, in order, with its title, level and page.
    shown = site.tree()
    check(len(shown) == len(items), f"{len(shown)} tree items for {len(items)} menu entries")
    for index, (item, node) in enumerate(zip(items, shown)):
        check(href_file(node["href"]) == item["file"], f"item {index}: {node['href']} != {item}")
        check(" ".join(node["text"].split()) == item["title"],
              f"item {index}: {node['text']!r} != {item['title']!r}")
        depth, up = 1, owner[index]
        while up is not None:
            depth, up = depth + 1, owner[up]
        check(node["level"] == depth, f"item {index} at level {node['level']}, expected {depth}")

        # Open at first: every node above it marked expanded.
        visible, up = True, owner[index]
        while up is not None:
            visible, up = visible and items[up]["expanded"], owner[up]
        check(node["visible"] == visible, f"item {index} ({item['file']}) visible={node['visible']}")
    check(shown[0]["selected"] == "true", "the first home page is not highlighted at first")
    check(site.main_page() == items[0]["file"], f"main frame shows {site.main_page()}")

    # The logo shows; the frameset's own files all loaded.
    width = site.evaluate("tessarine_top", "document.querySelector('img.tessarine_logo').naturalWidth")
    check(width and width > 0, "the logo did not load")

    # A collapsed node: its twisty expands and collapses it, so do the arrow keys.
    parent = next((i for i, item in enumerate(items)
                   if item["set"] == "HC" and not item["expanded"] and shown[i]["visible"]), None)
    check(parent is not None, "the sample has no collapsed chapter to expand")
    child = parent + 1
    check(owner[child] == parent, "the chapter's first sub-page does not follow it")
    site.click_in_left(shown[parent]["twisty"])
    site.wait_for("the chapter to expand", lambda: site.tree()[child]["visible"])
    check(site.tree()[parent]["expanded"] == "true", "aria-expanded did not follow")
    site.click_in_left(site.tree()[parent]["twisty"])
    site.wait_for("the chapter to collapse", lambda: not site.tree()[child]["visible"])

    site.evaluate("tessarine_left", f"""
        document.querySelectorAll('[role=treeitem]')[{parent}].focus()""")
    site.press("ArrowRight", "ArrowRight")
    site.wait_for("ArrowRight to expand", lambda: site.tree()[child]["visible"])
    site.press("ArrowDown", "ArrowDown")
    focused = site.evaluate("tessarine_left", """
        [...document.querySelectorAll('[role=treeitem]')].indexOf(document.activeElement)""")
    check(focused == child, f"ArrowDown moved the focus to item {focused}, not {child}")
    site.press("ArrowLeft", "ArrowLeft")  # on a page without sub-pages: up to its chapter
    site.press("ArrowLeft", "ArrowLeft")  # on the expanded chapter: collapse
    site.wait_for("ArrowLeft to collapse", lambda: not site.tree()[child]["visible"])

    # A click on an item loads its page in the main frame and highlights it.
    site.click_in_left(site.tree()[parent]["twisty"])
    site.wait_for("the chapter to expand", lambda: site.tree()[child]["visible"])
    target = max(i for i in range(len(items)) if owner[i] == parent)
    site.click_in_left(site.tree()[target]["label"])
    site.wait_for(f"the main frame to show {items[target]['file']}",
                  lambda: site.main_page() == items[target]["file"])
    selected = [i for i, node in enumerate(site.tree()) if node["selected"] == "true"]
    check(selected == [target], f"highlighted items {selected}, expected [{target}]")

    # A page the main frame loads by itself (a link inside the pages): the
    # page reports itself through tfiles/frame-page.js, added here when the
    # page template does not load it. The page chosen lies in a collapsed
    # chapter, which the highlight must open.
    tree = site.tree()
    other = next((i for i in range(len(items))
                  if owner[i] not in (None, parent) and not tree[i]["visible"]), None)
    check(other is not None, "the sample has no second chapter with sub-pages")
    site.evaluate("tessarine_main", f"location.href = {json.dumps(items[other]['file'])}")
    site.wait_for(f"the main frame to show {items[other]['file']}",
                  lambda: site.main_page() == items[other]["file"]
                  and site.evaluate("tessarine_main", "document.readyState") == "complete")
    site.evaluate("tessarine_main", """(() => {
        if (document.querySelector("script[src$='frame-page.js']")) return;
        const s = document.createElement('script');
        s.src = 'tfiles/frame-page.js';
        document.head.appendChild(s); })()""")
    site.wait_for("the highlight to follow the main frame",
                  lambda: [i for i, n in enumerate(site.tree()) if n["selected"] == "true"] == [other])
    check(site.tree()[other]["visible"], "the highlighted item is hidden in a collapsed chapter")
    address = site.evaluate("", "location.hash")
    check(address == "#" + urllib.parse.quote(items[other]["file"]), f"home page address {address}")
    site.screenshot(output / "frameset.png")

    # The home page's address opens the page it names.
    def shows(index):
        site.wait_for(f"{items[index]['file']} in the main frame",
                      lambda: site.main_page() == items[index]["file"])
        site.wait_for(f"{items[index]['file']} highlighted",
                      lambda: site.tree()[index]["selected"] == "true")

    browser.send("Page.navigate", {"url": "about:blank"})
    site.open(site.home + "#" + urllib.parse.quote(items[-1]["file"]))
    shows(len(items) - 1)
    site.evaluate("", f"location.hash = {json.dumps(items[1]['file'])}")
    shows(1)

    # No script failed; no file of the frameset (pages, scripts, styles,
    # icons) was missing. Other pages' resources belong to other checks.
    browser.pump(0.3)
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            raise Failure(f"script error: {params['exceptionDetails']}")
        if method == "Log.entryAdded" and params["entry"]["level"] == "error":
            url = params["entry"].get("url", "")
            name = url.rsplit("/", 1)[-1]
            if "/tfiles/" in url or name in FRAMESET_PAGES:
                raise Failure(f"{params['entry']['text']} ({url})")


def with_template(project, template, folder):
    """A copy of the project in `folder` that names `template`; document paths
    become absolute, since relative ones are read from the project's folder."""
    data = json.loads(project.read_text(encoding="utf-8"))
    data["settings"]["Template"] = template
    for document in data["documents"]:
        document["Path"] = str((project.parent / document["Path"]).resolve())
    copy = folder / project.name
    copy.write_text(json.dumps(data, ensure_ascii=False, indent=2), encoding="utf-8")
    return copy


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tessarine", required=True)
    parser.add_argument("--project", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--template", help="build with this template instead of the project's")
    args = parser.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("SKIPPED: chromium is not installed (Debian package chromium); "
              "the site was not opened in a browser")
        return SKIPPED

    output = pathlib.Path(args.output)
    output.mkdir(parents=True, exist_ok=True)
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="tessarine-browser-"))
    try:
        site_folder = scratch / "site"
        site_folder.mkdir()
        project = args.project
        if args.template:
            project = str(with_template(pathlib.Path(args.project), args.template, scratch))
        build = subprocess.run([args.tessarine, "build", project, "--output", str(site_folder)],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        if build.returncode != 0:
            print(f"FAILED: the build exited {build.returncode}\n{build.stdout}{build.stderr}")
            return 1
        with cdp.Browser(chromium) as browser:
            run_checks(browser, site_folder, output)
    except (Failure, cdp.BrowserError) as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"site_browser_test: 1 passed, 0 failed; screenshots in {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
