"""A small client of Chromium's DevTools protocol over --remote-debugging-pipe.

The pipe needs no websocket and no free port: Chromium reads commands from
file descriptor 3 and writes replies and events to descriptor 4, each message
one JSON text ended by a NUL byte. Only the standard library is used.
"""

import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time


class BrowserError(Exception):
    pass


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome", "google-chrome-stable"):
        path = shutil.which(name)
        if path:
            return path
    return None


def _moved_above(fd, lowest):
    high = fcntl.fcntl(fd, fcntl.F_DUPFD, lowest)
    os.close(fd)
    return high


class Browser:
    """One headless Chromium with a fresh profile, closed by close() or `with`."""

    def __init__(self, executable=None, window=(1280, 800)):
        # Pages are opened as a reader's browser opens them: file:// pages
        # may not look into each other's frames.
        self.executable = executable or find_chromium()
        if not self.executable:
            raise BrowserError("chromium is not installed")
        self.profile = tempfile.mkdtemp(prefix="tessarine-chromium-")
        to_browser_read, self._to_browser = os.pipe()
        self._from_browser, from_browser_write = os.pipe()
        # Above 4, so that mapping one end onto 3 or 4 cannot close the other.
        to_browser_read = _moved_above(to_browser_read, 10)
        from_browser_write = _moved_above(from_browser_write, 10)
        # The child sees the pipe ends as descriptors 3 and 4 (mapped before
        # the child's other descriptors are closed, and kept by pass_fds).
        def map_fds():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)
        self.process = subprocess.Popen(
            [self.executable, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--hide-scrollbars", "--mute-audio",
             f"--window-size={window[0]},{window[1]}",
             f"--user-data-dir={self.profile}", "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=map_fds, pass_fds=(3, 4),
            start_new_session=True)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        # The session commands go to unless send() names one; None sends to
        # the browser itself.
        self.session = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.process.poll() is None:
            try:
                self.send("Browser.close", session=None, timeout=5)
            except BrowserError:
                pass
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, 9)
                self.process.wait()
        for fd in (self._to_browser, self._from_browser):
            try:
                os.close(fd)
            except OSError:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise BrowserError("no answer from chromium in time")
            ready, _, _ = select.select([self._from_browser], [], [], remaining)
            if not ready:
                continue
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                raise BrowserError("chromium closed the pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=..., timeout=30):
        """Sends a command and returns its result; events seen meanwhile are kept.
        `session` defaults to self.session; False or None address the browser."""
        self._next_id += 1
        command = {"id": self._next_id, "method": method, "params": params or {}}
        if session is ...:
            session = self.session
        if session:
            command["sessionId"] = session
        os.write(self._to_browser, json.dumps(command).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            message = self._read_message(deadline)
            if message.get("id") == self._next_id:
                if "error" in message:
                    raise BrowserError(f"{method}: {message['error'].get('message')}")
                return message.get("result", {})
            self.events.append(message)

    def pump(self, seconds):
        """Collects the events that arrive within `seconds`."""
        deadline = time.monotonic() + seconds
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return
            ready, _, _ = select.select([self._from_browser], [], [], remaining)
            if not ready:
                return
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                return
            self._buffer += chunk
            while b"\0" in self._buffer:
                message, self._buffer = self._buffer.split(b"\0", 1)
                self.events.append(json.loads(message))

    def wait_event(self, method, session=None, timeout=30, predicate=None):
        """Returns the first event of `method` (kept or still to come)."""
        deadline = time.monotonic() + timeout
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method and (session is None or
                                                      event.get("sessionId") == session):
                    if predicate is None or predicate(event.get("params", {})):
                        del self.events[i]
                        return event.get("params", {})
            self.events.append(self._read_message(deadline))

    def new_page(self):
        """Opens a tab and returns its session id, with page, runtime and log events on."""
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True})[
            "sessionId"]
        for domain in ("Page.enable", "Runtime.enable", "Log.enable"):
            self.send(domain, session=session)
        return session

    def navigate(self, session, url, timeout=30):
        self.events = [e for e in self.events if e.get("sessionId") != session]
        self.send("Page.navigate", {"url": url}, session=session)
        self.wait_event("Page.loadEventFired", session=session, timeout=timeout)

    def evaluate(self, session, expression, timeout=30):
        result = self.send("Runtime.evaluate",
                           {"expression": expression, "returnByValue": True,
                            "awaitPromise": True}, session=session, timeout=timeout)
        if "exceptionDetails" in result:
            raise BrowserError(f"script failed: {result['exceptionDetails']}")
        return result.get("result", {}).get("value")

    def console_errors(self, session):
        """Errors the page reported so far: exceptions, console.error, failed loads."""
        errors = []
        for event in self.events:
            if event.get("sessionId") != session:
                continue
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                details = params.get("exceptionDetails", {})
                errors.append("exception: " + str(details.get("exception", {}).get(
                    "description", details.get("text"))))
            elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
                errors.append("console.error: " + " ".join(
                    str(a.get("value", a.get("description"))) for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                entry = params["entry"]
                errors.append(f"{entry.get('source')}: {entry.get('text')} {entry.get('url', '')}")
        return errors
