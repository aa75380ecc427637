#!/usr/bin/env python3
"""A hostile-input and fault campaign against the `tessarine` command.

Generates small documents and projects built to hurt (declared counts far past
what a document holds, huge attribute values, zip entries over one stream,
text in legacy encodings or with NUL references, logos that are no pictures,
settings out of range, full disks, termination signals mid-build, several
documents of which one fails) and runs the command on each, checking the one
property its class is about. Prints, per class, how many runs there were and
how many showed the fault; exits 1 when any did.

    python3 tests/tools/hostile_campaign.py build/release/bin/tessarine
    python3 tests/tools/hostile_campaign.py OTHER/tessarine --only grid,logo

Runs that need root (a small tmpfs for the full-disk class) are skipped with
a message otherwise. Each run may take 4 GiB of address space, so use a
build without AddressSanitizer (the release preset). Only the standard
library is used.
"""

import argparse
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

W = ('xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" '
     'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"')
CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Default Extension="png" ContentType="image/png"/>'
    '<Override PartName="/word/document.xml" ContentType="application/'
    'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
PACKAGE_RELS = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/officeDocument" Target="word/document.xml"/></Relationships>')
PNG = b"\x89PNG\r\n\x1a\n" + b"\0" * 32


def document(body, declaration='<?xml version="1.0" encoding="UTF-8"?>'):
    return declaration.encode() + f"<w:document {W}><w:body>".encode() + (
        body if isinstance(body, bytes) else body.encode()) + b"</w:body></w:document>"


def write_docx(path, main, extra=()):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", PACKAGE_RELS)
        z.writestr("word/document.xml", main)
        for name, data in extra:
            z.writestr(name, data)
    return path


def paragraphs(texts):
    return "".join(f"<w:p><w:r><w:t>{text}</w:t></w:r></w:p>" for text in texts)


def overlapping_pictures(path, copies, size, body=None):
    """A package whose directory lists `copies` pictures over one stream."""
    rels = "".join(
        f'<Relationship Id="p{i}" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        f'relationships/image" Target="media/p{100 + i}.png"/>' for i in range(copies))
    write_docx(path, document(body or paragraphs(["pictures"])), [
        ("word/_rels/document.xml.rels",
         '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.'
         'openxmlformats.org/package/2006/relationships">' + rels + "</Relationships>"),
        ("word/media/p100.png", PNG + b"\0" * size)])
    data = bytearray(open(path, "rb").read())
    end = data.rfind(b"PK\x05\x06")
    directory = int.from_bytes(data[end + 16:end + 20], "little")
    records = bytes(data[directory:end])
    at, last = 0, 0
    while at < len(records):
        last = at
        at += 46 + sum(int.from_bytes(records[at + o:at + o + 2], "little") for o in (28, 30, 32))
    picture = records[last:]
    for i in range(1, copies):
        name = f"word/media/p{100 + i}.png".encode()
        records += picture[:46] + name + picture[46 + len(name):]
    tail = bytearray(data[end:end + 22])
    entries = int.from_bytes(tail[10:12], "little") + copies - 1
    tail[8:10] = tail[10:12] = entries.to_bytes(2, "little")
    tail[12:16] = len(records).to_bytes(4, "little")
    open(path, "wb").write(bytes(data[:directory]) + records + bytes(tail))
    return path


class Campaign:
    def __init__(self, tessarine, work, home):
        self.tessarine = tessarine
        self.work = work
        self.home = home
        self.results = {}  # class -> [runs, faults, notes]

    def record(self, name, fault, note=""):
        runs = self.results.setdefault(name, [0, 0, []])
        runs[0] += 1
        if fault:
            runs[1] += 1
            if note and len(runs[2]) < 3:
                runs[2].append(note)

    def run(self, args, cwd=None, timeout=60):
        """Runs tessarine; gives exit status (negative: the signal), stdout,
        stderr, seconds and the peak memory in MB."""
        env = dict(os.environ, TESSARINE_HOME=self.home, TESSARINE_PICTURE_CACHE="",
                   TMPDIR=os.path.join(self.work, "tmp"))
        os.makedirs(env["TMPDIR"], exist_ok=True)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            start = time.monotonic()
            # A bound on the address space, so that a run that grows without
            # end fails here instead of taking the machine's memory (the
            # program must not be built with AddressSanitizer for this).
            proc = subprocess.Popen([self.tessarine] + args, cwd=cwd or self.work, env=env,
                                    stdout=out, stderr=err, preexec_fn=lambda: resource.setrlimit(
                                        resource.RLIMIT_AS, (4 << 30, 4 << 30)))
            while True:
                pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
                if pid:
                    break
                if time.monotonic() - start > timeout:
                    proc.kill()
                time.sleep(0.005)
            seconds = time.monotonic() - start
            proc.returncode = os.waitstatus_to_exitcode(status)
            out.seek(0)
            err.seek(0)
            return (proc.returncode, out.read().decode(errors="replace"),
                    err.read().decode(errors="replace"), seconds, usage.ru_maxrss / 1024)

    def fresh(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def project(self, folder, docs, settings=None, records=None):
        """Writes site.tsn in `folder` through `tessarine new` and edits it."""
        import json
        tsn = os.path.join(folder, "site.tsn")
        code, _, err, _, _ = self.run(["new", "--force", tsn] + docs, cwd=folder)
        if code != 0:
            raise RuntimeError(err)
        data = json.load(open(tsn, encoding="utf-8"))
        out = os.path.join(folder, "out")
        os.makedirs(out, exist_ok=True)
        data["settings"]["OutputDir"] = out
        data["settings"].update(settings or {})
        for i, changes in (records or {}).items():
            data["documents"][i].update(changes)
        json.dump(data, open(tsn, "w", encoding="utf-8"), ensure_ascii=False)
        return tsn, out

    # --- classes -------------------------------------------------------------

    def grid(self):
        for value in ["2147483647", "100000000", "10000000", "1000000"]:
            for where in ["span", "before", "after"]:
                folder = self.fresh("grid")
                tr = {"before": f'<w:trPr><w:gridBefore w:val="{value}"/></w:trPr>',
                      "after": f'<w:trPr><w:gridAfter w:val="{value}"/></w:trPr>'}.get(where, "")
                span = f'<w:tcPr><w:gridSpan w:val="{value}"/></w:tcPr>' if where == "span" else ""
                body = (f"<w:tbl><w:tr>{tr}<w:tc>{span}<w:p><w:r><w:t>x</w:t></w:r></w:p></w:tc>"
                        "</w:tr></w:tbl>")
                doc = write_docx(os.path.join(folder, "g.docx"), document(body))
                code, _, _, seconds, peak = self.run(
                    ["convert", doc, os.path.join(folder, "g.htm")], timeout=30)
                size = os.path.getsize(os.path.join(folder, "g.htm")) if os.path.exists(
                    os.path.join(folder, "g.htm")) else 0
                fault = code < 0 or seconds > 2 or size > (10 << 20) or (peak or 0) > 300
                self.record("grid spans", fault,
                            f"{where}={value}: exit {code}, {seconds:.1f} s, {size >> 20} MB, "
                            f"peak {peak:.0f} MB")

    def attributes(self):
        for mib in [1, 16, 64]:
            for attribute in ["color", "font", "style"]:
                folder = self.fresh("attr")
                value = "A" * (mib << 20)
                rpr = {"color": f'<w:color w:val="{value}"/>',
                       "font": f'<w:rFonts w:ascii="{value}"/>', "style": ""}[attribute]
                ppr = f'<w:pPr><w:pStyle w:val="{value}"/></w:pPr>' if attribute == "style" else ""
                body = (f"<w:p>{ppr}<w:r><w:rPr>{rpr}</w:rPr><w:t>x</w:t></w:r></w:p>" +
                        paragraphs(["text"] * 20))
                doc = write_docx(os.path.join(folder, "a.docx"), document(body))
                tsn, out = self.project(folder, [doc])
                code, _, _, seconds, _ = self.run(["build", tsn], timeout=120)
                # 64 MiB of one value must cost no more than reading it.
                self.record("huge attributes", code != 0 or seconds > 4,
                            f"{attribute} {mib} MiB: exit {code}, {seconds:.1f} s")

    def amplification(self):
        for copies, size in [(40, 30 << 20), (20, 60 << 20), (8, 120 << 20)]:
            folder = self.fresh("amp")
            body = "".join(
                f'<w:p><w:r><w:drawing><wp:inline xmlns:wp="http://schemas.openxmlformats.org/'
                f'drawingml/2006/wordprocessingDrawing"><wp:extent cx="9525" cy="9525"/>'
                f'<a:graphic xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">'
                f'<a:graphicData><pic:pic xmlns:pic="http://schemas.openxmlformats.org/'
                f'drawingml/2006/picture"><pic:blipFill><a:blip r:embed="p{i}"/></pic:blipFill>'
                f'</pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>'
                for i in range(copies))
            doc = overlapping_pictures(os.path.join(folder, "a.docx"), copies, size, body)
            code, _, _, seconds, _ = self.run(
                ["convert", doc, os.path.join(folder, "a.htm")], timeout=120)
            written = sum(os.path.getsize(os.path.join(d, f))
                          for d, _, fs in os.walk(folder) for f in fs) - os.path.getsize(doc)
            self.record("zip amplification", written > (300 << 20) or seconds > 5,
                        f"{copies}x{size >> 20} MiB: wrote {written >> 20} MB in {seconds:.1f} s")

    def text_loss(self):
        chinese = "中文测试".encode("gb2312")
        cases = [
            ("nul reference", document("<w:p><w:r><w:t>before&#0;after</w:t></w:r></w:p>"),
             "beforeafter"),
            ("nul hex reference", document("<w:p><w:r><w:t>one&#x0;two</w:t></w:r></w:p>"),
             "onetwo"),
            ("gb2312 part", document(b"<w:p><w:r><w:t>" + chinese + b"</w:t></w:r></w:p>",
                                     '<?xml version="1.0" encoding="GB2312"?>'), "中文测试"),
            ("big5 part", document("<w:p><w:r><w:t>".encode() + "中文".encode("big5") +
                                   b"</w:t></w:r></w:p>", '<?xml version="1.0" encoding="Big5"?>'),
             "中文"),
            ("windows-1252 part", document(b"<w:p><w:r><w:t>caf\xe9</w:t></w:r></w:p>",
                                           '<?xml version="1.0" encoding="windows-1252"?>'),
             "café"),
        ]
        for name, main, expected in cases:
            folder = self.fresh("text")
            doc = write_docx(os.path.join(folder, "t.docx"), main)
            code, _, err, _, _ = self.run(["convert", doc, os.path.join(folder, "t.htm")])
            html = open(os.path.join(folder, "t.htm"), "rb").read().decode(
                "gb18030", errors="replace") if code == 0 else ""
            self.record("silent text loss", expected not in html and "warning" not in err,
                        f"{name}: exit {code}")
        for bad in [b"\xc3\x28", b"\xff\xfe", b"\xe2\x82"]:
            folder = self.fresh("text")
            doc = write_docx(os.path.join(folder, "t.docx"),
                             document(b"<w:p><w:r><w:t>ok " + bad + b" ok</w:t></w:r></w:p>"))
            code, _, err, _, _ = self.run(["convert", doc, os.path.join(folder, "t.htm")])
            self.record("silent text loss", code == 0 and "warning" not in err,
                        f"invalid UTF-8 {bad!r} replaced without a warning")

    def logo(self):
        folder = self.fresh("logo")
        doc = write_docx(os.path.join(folder, "d.docx"), document(paragraphs(["text"])))
        open(os.path.join(folder, "doc1.htm"), "w").write("<html>not a picture</html>")
        open(os.path.join(folder, "fake.png"), "w").write("text")
        for logo in ["/etc/passwd", os.path.join(folder, "doc1.htm"),
                     os.path.join(folder, "fake.png"), "/proc/self/status"]:
            tsn, out = self.project(folder, [doc], settings={"PageTopLogo": logo})
            shutil.rmtree(out)
            os.makedirs(out)
            code, _, _, _, _ = self.run(["build", tsn])
            copied = os.path.basename(logo) in os.listdir(out) and logo != os.path.join(
                folder, "doc1.htm")
            page = open(os.path.join(out, "doc1.htm"), "rb").read() if os.path.exists(
                os.path.join(out, "doc1.htm")) else b""
            self.record("logo not a picture",
                        code == 0 or copied or b"not a picture" in page, f"{logo}: exit {code}")

    def validation(self):
        folder = self.fresh("check")
        doc = write_docx(os.path.join(folder, "d.docx"), document(paragraphs(["text"])))
        records = [("ParseLevel", "99"), ("OptimizeMode", "7"), ("NumberlistRule", "-3"),
                   ("FileNameRule", "9"), ("HeadTitleMode", "5"), ("MetaKeyMode", "abc"),
                   ("MetaDescMode", "3"), ("ExpandLevel", "10"), ("Toc", "2"),
                   ("FilenamePre", "a" * 300), ("Path", os.path.join(folder, "gone.docx")),
                   ("SpecialFileName", "k|" + "a" * 300)]
        settings = [("FileExt", "." + "h" * 300), ("Template", "default\0x"), ("FileEncode", "5")]
        cases = [({}, {0: {k: v}}, f"{k}={v[:12]}") for k, v in records] + [
            ({k: v}, {}, f"{k}={v[:12]!r}") for k, v in settings]
        for project_settings, record_changes, name in cases:
            try:
                tsn, out = self.project(folder, [doc], project_settings, record_changes)
            except RuntimeError:
                continue
            check, _, _, _, _ = self.run(["check", tsn])
            build, _, _, _, _ = self.run(["build", tsn])
            # A value out of range must fail both, and check must not pass
            # what build refuses.
            self.record("check agrees with build", check == 0 or build == 0,
                        f"{name}: check {check}, build {build}")

    def full_disk(self):
        if os.geteuid() != 0:
            print("full disk: skipped (mounting a small tmpfs needs root)")
            return
        for room in [0, 4096, 8192, 16384, 32768]:
            folder = self.fresh("disk")
            docs = []
            for i in range(3):
                docs.append(write_docx(os.path.join(folder, f"d{i}.docx"), document(
                    "".join(f'<w:p><w:r><w:t>{"x" * 500} {j}</w:t></w:r></w:p>'
                            for j in range(30)))))
            tsn, out = self.project(folder, docs[:2])
            if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", out]) != 0:
                print("full disk: skipped (mount failed)")
                return
            try:
                self.run(["build", tsn])
                before = {f: open(os.path.join(out, f), "rb").read()
                          for f in os.listdir(out) if f.endswith(".htm")}
                for d in docs[:2]:  # longer pages next time
                    write_docx(d, document("".join(
                        f'<w:p><w:r><w:t>{"y" * 900} {j}</w:t></w:r></w:p>' for j in range(30))))
                tsn, _ = self.project(folder, docs)
                filler = os.path.join(out, ".filler")
                fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
                try:
                    while os.write(fd, b"f" * 4096) > 0:
                        pass
                except OSError:
                    pass
                os.close(fd)
                os.truncate(filler, max(0, os.path.getsize(filler) - room))
                code, _, _, _, _ = self.run(["build", tsn])
                os.remove(filler)
                damaged = []
                for name, old in before.items():
                    now = open(os.path.join(out, name), "rb").read() if os.path.exists(
                        os.path.join(out, name)) else b""
                    if now != old and b"</html>" not in now[-32:]:
                        damaged.append(name)
                leftovers = [f for f in os.listdir(out) if ".tmp-" in f]
                empty = [f for f in os.listdir(out) if f.endswith(".files")
                         and not os.listdir(os.path.join(out, f))]
                self.record("full disk rebuild", bool(damaged or leftovers or empty),
                            f"{room} bytes free: damaged {damaged[:2]}, left {leftovers[:2]}, "
                            f"empty {empty[:2]}")
            finally:
                subprocess.call(["umount", "-l", out])

    def signals(self):
        for sig in [signal.SIGTERM, signal.SIGHUP] * 3:
            folder = self.fresh("signal")
            docs = [write_docx(os.path.join(folder, f"d{i}.docx"), document("".join(
                f'<w:p><w:r><w:t>{"x" * 200} {j}</w:t></w:r></w:p>' for j in range(400))))
                for i in range(10)]
            tsn, out = self.project(folder, docs)
            tmp = os.path.join(self.work, "tmp")
            shutil.rmtree(tmp, ignore_errors=True)
            os.makedirs(tmp)
            env = dict(os.environ, TESSARINE_HOME=self.home, TMPDIR=tmp)
            proc = subprocess.Popen([self.tessarine, "build", tsn], env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and not any(
                    os.path.exists(os.path.join(tmp, d, "doc2.htm")) for d in os.listdir(tmp)):
                time.sleep(0.002)
            proc.send_signal(sig)
            _, err = proc.communicate()
            err = err.decode(errors="replace")
            zero = [f for f in os.listdir(out) if os.path.isfile(os.path.join(out, f))
                    and os.path.getsize(os.path.join(out, f)) == 0]
            hidden = [f for f in os.listdir(out) if f.startswith(".")]
            left = os.listdir(tmp)
            named = "kept in" in err
            fault = (proc.returncode < 0 or "用户中断" not in err or zero or hidden
                     or (left and not named))
            self.record("signals mid-build", fault,
                        f"{signal.Signals(sig).name}: exit {proc.returncode}, zero {zero[:2]}, "
                        f"scratch left {len(left)} named {named}")

    def messages(self):
        folder = self.fresh("message")
        good = write_docx(os.path.join(folder, "good.docx"), document(paragraphs(["text"])))
        bad = os.path.join(folder, "bad.docx")
        open(bad, "wb").write(b"PK\x03\x04 not really a zip")
        tsn, _ = self.project(folder, [good, bad, good])
        code, _, err, _, _ = self.run(["build", tsn])
        self.record("failing document named", code == 0 or "bad.docx" not in err,
                    "the failing document is not named")
        tsn, _ = self.project(folder, [bad])
        code, _, err, _, _ = self.run(["build", tsn])
        kept = err.split("kept in ", 1)[1].split(")", 1)[0] if "kept in " in err else None
        self.record("failing document named",
                    kept is not None and (not os.path.isdir(kept) or not os.listdir(kept)),
                    "names an empty scratch folder")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tessarine")
    parser.add_argument("--home", help="TESSARINE_HOME (default: the program's folder)")
    parser.add_argument("--only", help="comma-separated classes to run")
    args = parser.parse_args(argv)
    tessarine = os.path.abspath(args.tessarine)
    home = args.home or os.path.dirname(tessarine)
    classes = ["grid", "attributes", "amplification", "text_loss", "logo", "validation",
               "full_disk", "signals", "messages"]
    if args.only:
        classes = [c for c in classes if c in args.only.split(",")]
    with tempfile.TemporaryDirectory(prefix="tessarine-campaign-") as work:
        campaign = Campaign(tessarine, work, home)
        for name in classes:
            try:
                getattr(campaign, name)()
            except Exception as error:  # a broken class must not hide the others
                print(f"{name}: the campaign itself failed: {error!r}")
    total_runs = total_faults = 0
    for name, (runs, faults, notes) in campaign.results.items():
        total_runs += runs
        total_faults += faults
        print(f"{name:28} {runs:4} runs {faults:4} faults" +
              (f"   e.g. {notes[0]}" if notes else ""))
    print(f"{'total':28} {total_runs:4} runs {total_faults:4} faults")
    return 1 if total_faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
