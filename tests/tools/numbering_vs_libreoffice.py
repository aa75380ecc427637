#!/usr/bin/env python3
"""Compare our list labels with LibreOffice's on real documents.

Builds tests/tools/numbering_labels.cpp (straight from the sources, no CMake
needed), runs it on each .docx, converts the same file with
`soffice --headless --convert-to txt:Text`, and checks, paragraph by
paragraph, the label LibreOffice writes before the text against ours.

    tests/tools/numbering_vs_libreoffice.py [FILE.docx ...]

Without arguments the corpus documents with numbered lists are used. Needs
g++, pugixml, unzip and soffice; this is a manual cross-check, not a CI test.
Exit status 1 when any numbered label differs.
"""

import os
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHARED = os.environ.get("TESSARINE_SHARED_DIR", os.path.join(os.path.dirname(ROOT), "shared"))
if not os.path.isdir(SHARED):
    SHARED = "/work/shared"
CORPUS = os.path.join(SHARED, "corpus", "docx")
DEFAULT_FILES = [
    "poi__ComplexNumberedLists.docx",
    "poi__Numbering.docx",
    "docx4j__same_as_previous_numbering.docx",
    "chatchat__核电厂定期安全审查指南 第1部分：通用要求（征求意见稿）.docx",
    "chatchat__核电厂定期安全评价 第12部分：设计（征求意见稿20230317）.docx",
    "tika__testWORD_numbered_list.docx",
    "poi__bug65649.docx",
    "tika__018367.docx",
    "oxsdk__complex2005_12rtm.docx",
    "poi__stress004.docx",
]
WINDOW = 40  # LibreOffice lines searched for the next paragraph
# Trailing spaces (ideographic ones included) belong to the gap after a label.
SPACES = " \u3000"


def build_tool(work):
    tool = os.path.join(work, "numbering_labels")
    subprocess.run(
        ["g++", "-std=c++20", "-O1", "-I", os.path.join(ROOT, "src"),
         os.path.join(ROOT, "tests", "tools", "numbering_labels.cpp"),
         os.path.join(ROOT, "src", "convert", "numbering.cpp"),
         os.path.join(ROOT, "src", "convert", "docx_xml.cpp"),
         os.path.join(ROOT, "src", "convert", "html_text.cpp"),
         "-lpugixml", "-o", tool],
        check=True)
    return tool


def our_paragraphs(tool, docx, work):
    parts = []
    with zipfile.ZipFile(docx) as package:
        names = set(package.namelist())
        for part in ("word/document.xml", "word/numbering.xml", "word/styles.xml"):
            path = os.path.join(work, os.path.basename(part))
            with open(path, "wb") as out:
                out.write(package.read(part) if part in names else b"")
            parts.append(path)
    result = subprocess.run([tool] + parts, capture_output=True, check=True)
    rows = []
    for line in result.stdout.decode("utf-8").split("\n"):
        if line:
            label, kind, text = line.split("\t", 2)
            rows.append((label, kind, text))
    return rows


def libreoffice_lines(docx, work):
    subprocess.run(
        ["soffice", "-env:UserInstallation=file://" + os.path.join(work, "profile"),
         "--headless", "--convert-to", "txt:Text", "--outdir", work, docx],
        capture_output=True, check=True, timeout=300)
    txt = os.path.join(work, os.path.splitext(os.path.basename(docx))[0] + ".txt")
    with open(txt, encoding="utf-8-sig") as f:
        return [line.replace("\t", " ") for line in f.read().split("\n")]


def compare(docx, tool, work):
    rows = our_paragraphs(tool, docx, work)
    lines = libreoffice_lines(docx, work)
    stats = {"numbers": 0, "numbers_same": 0, "bullets": 0, "bullets_same": 0,
             "unaligned": 0, "missed": 0}
    differences = []
    pos = 0
    for label, kind, text in rows:
        text = text.strip()
        if not text and kind == "-":
            continue
        found = None
        window = range(pos, min(pos + WINDOW, len(lines)))
        if text:
            # Text boxes and repeated sentences make several candidates; a
            # numbered paragraph prefers an indented (numbered) line.
            candidates = [j for j in window if lines[j].rstrip().endswith(text)]
            indented = [j for j in candidates if lines[j].startswith("    ") == (kind != "-")]
            found = (indented or candidates or [None])[0]
        else:
            # A numbered paragraph whose first line is empty: the next line
            # that starts with our label, else the next indented line.
            own = label.strip(SPACES)
            found = next((j for j in window if lines[j].strip(SPACES) == own), None)
            if found is None:
                found = next((j for j in window
                              if lines[j].startswith("    ") and lines[j].strip()), None)
        if found is None:
            if kind != "-":
                stats["unaligned"] += 1
            continue
        pos = found + 1
        line = lines[found].rstrip()
        lo_label = line[: len(line) - len(text)].strip(SPACES)
        if kind == "-":
            # LibreOffice indents numbered paragraphs by four spaces a level.
            if lo_label and lines[found].startswith("    "):
                stats["missed"] += 1
                differences.append(("", lo_label, text))
            continue
        key = "numbers" if kind == "number" else "bullets"
        stats[key] += 1
        same = lo_label == label.strip(SPACES)
        if kind == "bullet":
            # LibreOffice draws bullets with its own symbol font mapping;
            # only require one bullet character where we have one.
            same = bool(lo_label) and len(lo_label) <= 2 and not any(c.isdigit() for c in lo_label)
        if same:
            stats[key + "_same"] += 1
        else:
            differences.append((label, lo_label, text))
    return stats, differences


def main(argv):
    files = argv[1:] or [os.path.join(CORPUS, name) for name in DEFAULT_FILES]
    failed = False
    with tempfile.TemporaryDirectory() as work:
        tool = build_tool(work)
        for docx in files:
            if not os.path.exists(docx):
                print(f"skip (missing): {docx}")
                continue
            try:
                stats, differences = compare(docx, tool, work)
            except (OSError, subprocess.SubprocessError, zipfile.BadZipFile, KeyError) as error:
                print(f"{os.path.basename(docx)}: skipped ({error.__class__.__name__}: {error})")
                continue
            print(f"{os.path.basename(docx)}: numbers {stats['numbers_same']}/{stats['numbers']}, "
                  f"bullets {stats['bullets_same']}/{stats['bullets']}, "
                  f"unaligned {stats['unaligned']}, numbered only by LibreOffice {stats['missed']}")
            for ours, theirs, text in differences[:15]:
                print(f"    ours {ours!r:<16} LibreOffice {theirs!r:<16} {text[:40]}")
            if len(differences) > 15:
                print(f"    … {len(differences) - 15} more")
            failed = failed or stats["numbers_same"] != stats["numbers"]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
