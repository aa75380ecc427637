#!/usr/bin/env python3
"""The sample site in headless Firefox (Debian's firefox-esr), from file://:
a smoke test that the frameset, the tree menu, the search and the phone
layout work in a second engine.

Firefox is driven without any driver: the test writes a check page into the
built site that opens the frameset in frames of its own (a desktop one and a
375 x 667 one), works the search box as a reader would (typing, Enter; a
word, and three characters whose pairs another page holds apart) and
reports what it saw to a one-shot HTTP listener on 127.0.0.1. The profile
lets pages of one folder look into each other (the site itself never needs
that: its frames talk by messages), so that the check page can read the
frames.

usage: site_firefox_test.py --tessarine BIN --project TSN
Exits 77 (skipped) when firefox-esr is not installed, 1 on a failed check.
"""

import argparse
import http.server
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from site_browser_test import SKIPPED  # noqa: E402
from site_search_browser_test import apart_phrase, holding_phrase, page_texts  # noqa: E402

TIMEOUT = 90

CHECK_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>firefox check</title>
<script src="tfiles/tree-menu.js"></script><script src="tfiles/dtree-data.js"></script>
<script src="tfiles/search.js"></script><script src="tfiles/search-index.js"></script></head>
<body>
<iframe id="desktop" src="default.htm" style="width:1280px;height:800px;border:0"></iframe>
<iframe id="phone" src="default.htm" style="width:375px;height:667px;border:0"></iframe>
<script>
"use strict";
const QUERY = %(query)s;
const PHRASE = %(phrase)s;
const report = {};
const sleep = ms => new Promise(done => setTimeout(done, ms));
async function until(what, probe) {
  for (let i = 0; i < 200; i++) {
    try { const value = probe(); if (value) return value; } catch (e) { /* loading */ }
    await sleep(100);
  }
  throw new Error("timed out waiting for " + what);
}
function frame(outer, name) {
  return document.getElementById(outer).contentDocument
      .querySelector("iframe[name='" + name + "']").contentDocument;
}
async function run() {
  report.engine = tessarineSearch.search(QUERY).sort();
  await until("the texts the phrase is checked in", () => tessarineSearch.pending(PHRASE) === 0);
  report.phraseEngine = tessarineSearch.search(PHRASE).sort();
  const left = await until("the search box", () => {
    const doc = frame("desktop", "tessarine_left");
    return !doc.getElementById("ts-search").hidden && doc.querySelectorAll("[role=treeitem]").length
        ? doc : null; });
  report.treeItems = left.querySelectorAll("[role=treeitem]").length;
  const input = left.getElementById("ts-query");
  input.focus();
  input.value = QUERY;
  input.dispatchEvent(new Event("input", {bubbles: true}));
  report.shown = await until("results", () => {
    const items = [...left.querySelectorAll(".ts-result")];
    return items.length && items.every(a => a.querySelector(".ts-snippet mark, .ts-title mark"))
        ? items.map(a => decodeURI(a.getAttribute("href").split("?")[0])).sort() : null; });
  input.dispatchEvent(new KeyboardEvent("keydown", {key: "Enter", bubbles: true}));
  report.marked = await until("the hits on the opened page", () => {
    const main = frame("desktop", "tessarine_main");
    return /tessarine_q=/.test(main.location.search)
        ? main.querySelectorAll("mark.tessarine_hit").length : 0; });
  input.value = PHRASE;
  input.dispatchEvent(new Event("input", {bubbles: true}));
  report.phraseShown = await until("the phrase's results, checked", () => {
    const count = left.querySelector(".ts-count");
    const items = [...left.querySelectorAll(".ts-result")];
    return count && !count.textContent.endsWith("\u2026") && items.length
        ? items.map(a => decodeURI(a.getAttribute("href").split("?")[0])).sort() : null; });
  const phone = document.getElementById("phone").contentDocument;
  await until("the phone layout", () => phone.querySelector(".tessarine_menu_button"));
  const leftFrame = phone.querySelector(".tessarine_frame_left");
  report.phoneMenu = getComputedStyle(leftFrame).visibility;
  report.phoneMain = phone.querySelector(".tessarine_frame_main").getBoundingClientRect().width;
  phone.querySelector(".tessarine_menu_button").click();
  await until("the menu to open", () => getComputedStyle(leftFrame).visibility === "visible");
  report.phoneMenuOpened = true;
}
run().catch(error => { report.error = String(error); }).finally(() => {
  fetch("http://127.0.0.1:" + location.hash.slice(1) + "/", {
    method: "POST", mode: "no-cors", body: JSON.stringify(report)});
});
</script></body></html>
"""


class Listener(http.server.BaseHTTPRequestHandler):
    received = None
    arrived = threading.Event()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", 0))
        Listener.received = json.loads(self.rfile.read(length).decode("utf-8"))
        self.send_response(204)
        self.send_header("Access-Control-Allow-Origin", "*")
        self.end_headers()
        Listener.arrived.set()

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tessarine", required=True)
    parser.add_argument("--project", required=True)
    args = parser.parse_args()
    firefox = shutil.which("firefox-esr") or shutil.which("firefox")
    if not firefox:
        print("SKIPPED: firefox-esr is not installed (Debian package firefox-esr)")
        return SKIPPED

    scratch = pathlib.Path(tempfile.mkdtemp(prefix="tessarine-firefox-"))
    server = http.server.HTTPServer(("127.0.0.1", 0), Listener)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    browser = None
    try:
        site = scratch / "site"
        site.mkdir()
        build = subprocess.run([args.tessarine, "build", args.project, "--output", str(site)],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        if build.returncode != 0:
            print(f"FAILED: the build exited {build.returncode}\n{build.stdout}{build.stderr}")
            return 1
        query = "模板"
        texts = page_texts(site)
        expected = holding_phrase(texts, query)
        # Three characters whose pairs another page holds apart.
        phrase = apart_phrase(texts)
        if not phrase:
            print("FAILED: no page of the sample holds the pairs of a phrase apart")
            return 1
        phrase_expected = holding_phrase(texts, phrase)
        (site / "firefox-check.htm").write_text(
            CHECK_PAGE % {"query": json.dumps(query), "phrase": json.dumps(phrase)},
            encoding="utf-8")
        profile = scratch / "profile"
        profile.mkdir()
        (profile / "user.js").write_text("\n".join([
            'user_pref("security.fileuri.strict_origin_policy", false);',
            'user_pref("browser.shell.checkDefaultBrowser", false);',
            'user_pref("datareporting.policy.dataSubmissionEnabled", false);',
            'user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);',
            'user_pref("app.update.disabledForTesting", true);', ""]))
        url = (site / "firefox-check.htm").as_uri() + f"#{server.server_port}"
        browser = subprocess.Popen(
            [firefox, "--headless", "--no-remote", "--profile", str(profile),
             "--window-size=1700,900", url],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not Listener.arrived.wait(TIMEOUT):
            print(f"FAILED: no report from Firefox within {TIMEOUT} s")
            return 1
        report = Listener.received
        failures = []
        if report.get("error"):
            failures.append(report["error"])
        if report.get("engine") != expected:
            failures.append(f"search({query!r}) gave {report.get('engine')}, pages hold it: {expected}")
        if report.get("shown") != expected:
            failures.append(f"the result list shows {report.get('shown')}, expected {expected}")
        for key, where in (("phraseEngine", "search"), ("phraseShown", "the result list")):
            if report.get(key) != phrase_expected:
                failures.append(f"{where} for {phrase!r} gave {report.get(key)}, "
                                f"pages show it: {phrase_expected}")
        if not report.get("treeItems"):
            failures.append("the tree menu is empty")
        if not report.get("marked"):
            failures.append("no hit marked on the opened page")
        if report.get("phoneMenu") != "hidden" or report.get("phoneMain") != 375:
            failures.append(f"phone layout: menu {report.get('phoneMenu')}, "
                            f"page width {report.get('phoneMain')}")
        for failure in failures:
            print("FAILED:", failure)
        if failures:
            return 1
        print(f"site_firefox_test: passed ({len(expected)} results for {query!r}, "
              f"{len(phrase_expected)} for {phrase!r}, "
              f"{report['marked']} hits marked, {report['treeItems']} menu items)")
        return 0
    finally:
        if browser is not None:
            browser.terminate()
            try:
                browser.wait(10)
            except subprocess.TimeoutExpired:
                browser.kill()
        server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
