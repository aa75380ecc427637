#!/usr/bin/env python3
"""Compare the list labels of our Word HTML (the numbers and bullets Word
writes in supportLists blocks) with the labels LibreOffice's plain-text export
puts before the same paragraphs.

Usage: list_labels.py [--tessarine BIN] [--keep DIR] [DOCX ...]

Without documents it checks the corpus files with numbered lists and
numbered headings. BIN defaults to build/release/bin/tessarine; DIR keeps
the converted files for a look. Needs LibreOffice (soffice); runs it with a
private profile.

Paragraphs are matched in document order by their text (all white space
removed, so line wrapping and tab leaders do not matter): a LibreOffice line
matches our paragraph when it ends with the paragraph's text, and what comes
before is LibreOffice's label. Bullets are compared as bullets, whatever the
glyph: the two programs map Symbol and Wingdings characters differently.
Prints per document how many labels agree, differ, or are present on one
side only, with examples, and exits 1 when any label differs.
"""
import argparse
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.environ.get("TESSARINE_SHARED_DIR", os.path.join(HERE, "..", "..", "shared"))
DEFAULT_FILES = [
    "poi__ComplexNumberedLists.docx",
    "poi__Numbering.docx",
    "docx4j__same_as_previous_numbering.docx",
    "chatchat__核电厂定期安全审查指南 第1部分：通用要求（征求意见稿）.docx",
    "chatchat__核电厂定期安全评价 第12部分：设计（征求意见稿20230317）.docx",
]
LOOK_AHEAD = 80  # LibreOffice lines searched for the next paragraph

BLOCK = re.compile(r"<(p|h[1-9])\b[^>]*>(.*?)</\1\s*>", re.S | re.I)
LIST_LABEL = re.compile(r"<!\[if !supportLists\]>(.*?)<!\[endif\]>", re.S)
CONDITIONAL = re.compile(r"<!--\[if [^\]]*\]>.*?<!\[endif\]-->", re.S)  # VML, field codes
COMMENT = re.compile(r"<!--.*?-->", re.S)
MARKER = re.compile(r"<![^>]*>")
TAG = re.compile(r"<[^>]*>")
SPACE = re.compile(r"\s+")
BREAK = re.compile(r"<br\b", re.I)


def compact(markup):
    """Visible text without any white space."""
    text = MARKER.sub("", TAG.sub("", markup))
    return SPACE.sub("", html.unescape(text))


def read_html(path):
    raw = open(path, "rb").read()
    m = re.search(rb"charset=([\w-]+)", raw[:4000])
    enc = (m.group(1).decode() if m else "gbk").lower()
    if enc in ("gb2312", "gbk", "cp936"):
        enc = "gbk"
    text = raw.decode(enc, errors="replace")
    text = re.sub(r"(?is)<head.*?</head>", " ", text)
    return COMMENT.sub(" ", CONDITIONAL.sub(" ", text))


def our_paragraphs(path):
    """(label, text, line count) of every paragraph and heading with a label
    or text, in order; a paragraph with line breaks spans several lines."""
    out = []
    for m in BLOCK.finditer(read_html(path)):
        inner = m.group(2)
        label_m = LIST_LABEL.search(inner)
        label = compact(label_m.group(1)) if label_m else ""
        text = compact(LIST_LABEL.sub("", inner))
        if label or text:
            out.append((label, text, 1 + len(BREAK.findall(inner))))
    return out


def lo_lines(path):
    with open(path, encoding="utf-8-sig", errors="replace") as f:
        return [c for c in (SPACE.sub("", line) for line in f) if c]


def kind(label):
    """Bullets compare as one kind, whatever the glyph."""
    if len(label) == 1 and not label.isdigit():
        return "•"
    return label


def compare(ours, lo):
    counts = dict(same=0, differ=0, ours_only=0, lo_only=0, unmatched=0, plain=0)
    examples = []
    j = 0
    for label, text, line_count in ours:
        found = None
        for k in range(j, min(len(lo), j + LOOK_AHEAD)):
            for lines in range(1, line_count + 1):
                joined = "".join(lo[k:k + lines])
                if joined.endswith(text):
                    found = (k + lines, joined)
                    break
            if found:
                break
        if found is None:
            counts["unmatched"] += 1
            continue
        j, joined = found
        lo_label = joined[: len(joined) - len(text)]
        if not label and not lo_label:
            counts["plain"] += 1
        elif kind(label) == kind(lo_label):
            counts["same"] += 1
        else:
            key = "differ" if label and lo_label else ("ours_only" if label else "lo_only")
            counts[key] += 1
            examples.append(f"ours {label or '(none)'!r:>10} LibreOffice {lo_label or '(none)'!r:>10}  {text[:40]}")
    return counts, examples


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tessarine", default=os.path.join(HERE, "..", "build", "release", "bin", "tessarine"))
    ap.add_argument("--keep")
    ap.add_argument("docs", nargs="*")
    args = ap.parse_args()
    docs = args.docs or [os.path.join(SHARED, "corpus", "docx", f) for f in DEFAULT_FILES]
    if shutil.which("soffice") is None:
        sys.exit("missing: soffice (LibreOffice)")

    work = args.keep or tempfile.mkdtemp(prefix="tessarine-list-labels.")
    os.makedirs(work, exist_ok=True)
    copies = []
    for n, doc in enumerate(docs, 1):
        copy = os.path.join(work, f"doc{n}.docx")  # plain names for LibreOffice's output
        shutil.copyfile(doc, copy)
        copies.append(copy)
        subprocess.run([args.tessarine, "convert", doc, os.path.join(work, f"doc{n}.htm")],
                       stdout=subprocess.DEVNULL, check=True)
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/lo-profile", "--headless",
                    "--norestore", "--convert-to", "txt:Text", "--outdir", work] + copies,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600, check=False)

    any_differ = False
    total = dict(same=0, differ=0, ours_only=0, lo_only=0, unmatched=0, plain=0)
    for n, doc in enumerate(docs, 1):
        counts, examples = compare(our_paragraphs(os.path.join(work, f"doc{n}.htm")),
                                   lo_lines(os.path.join(work, f"doc{n}.txt")))
        for key in total:
            total[key] += counts[key]
        any_differ |= bool(examples)
        print(f"{os.path.basename(doc)}: labels same {counts['same']}, differ {counts['differ']}, "
              f"ours only {counts['ours_only']}, LibreOffice only {counts['lo_only']}; "
              f"plain paragraphs {counts['plain']}, unmatched {counts['unmatched']}")
        for line in examples[:12]:
            print("    " + line)
        if len(examples) > 12:
            print(f"    ... {len(examples) - 12} more")
    print(f"all: labels same {total['same']}, differ {total['differ']}, ours only {total['ours_only']}, "
          f"LibreOffice only {total['lo_only']}; plain {total['plain']}, unmatched {total['unmatched']}")
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if any_differ else 0


if __name__ == "__main__":
    sys.exit(main())
