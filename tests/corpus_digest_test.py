#!/usr/bin/env python3
"""Converts and builds every document of the shared corpus and compares a
SHA-256 of each output file with the stored list in
tests/fixtures/corpus_digests.txt, so that a change meant to leave the output
alone is seen to leave it byte for byte.

What is run, each document on its own (several at a time):

* site/NAME/...   `tessarine new` + `tessarine build` with default settings,
  for every .docx and .doc;
* batch/NAME/...  `tessarine batch` with default settings (one cleaned page),
  for every .docx;
* batch-utf8/NAME/...  the same with --encoding utf-8 --charset utf-8.

The .doc files reach the batch run through the same LibreOffice conversion
as the site build, which costs seconds per document, so they are built as
sites only.

A run that fails is recorded as "exit N" beside whatever it left (the stored
list says which documents are expected to fail and how). The output holds no
time stamps. Two things are made the same from run to run before hashing: the
work folder's absolute path, should a page ever name it, becomes "<WORK>", and
the random number LibreOffice puts in the bookmark names of form fields it
writes into a converted .doc ("__Fieldmark__12_3350847203") becomes 0.

usage: corpus_digest_test.py --tessarine PROGRAM --shared DIR --work DIR
                             --digests FILE [--jobs N] [--update]

--update (or TESSARINE_UPDATE_DIGESTS=1 in the environment) writes FILE
from this run instead of comparing; tests/tools/update-corpus-digests.sh does
that with the test build. TESSARINE_KEEP_DIGEST_WORK=1 keeps each
document's outputs in the work folder, to look at a difference. Exits 0 when
every digest matches, 1 on a difference (each one printed), 77 (skipped) when
the corpus or LibreOffice, which converts the .doc files, is missing.
"""

import argparse
import concurrent.futures
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

SKIPPED = 77
BATCH_RUNS = {
    "batch": [],
    "batch-utf8": ["--encoding", "utf-8", "--charset", "utf-8"],
}


def corpus_documents(shared):
    folder = shared / "corpus"
    return sorted(p for sub in ("docx", "doc") for p in (folder / sub).iterdir()
                  if p.suffix.lower() in (".doc", ".docx"))


FIELDMARK = re.compile(rb"(__Fieldmark__[0-9]+_)[0-9]+")


def digests_of(folder, prefix, work):
    """Relative path under prefix -> SHA-256 of the file, made the same from
    run to run as the module comment says."""
    marker = str(work).encode("utf-8")
    result = {}
    for path in sorted(folder.rglob("*")):
        if path.is_file():
            data = FIELDMARK.sub(rb"\g<1>0", path.read_bytes().replace(marker, b"<WORK>"))
            result[f"{prefix}/{path.relative_to(folder).as_posix()}"] = \
                hashlib.sha256(data).hexdigest()
    return result


def run(command, cwd):
    # A fixed locale, so that nothing the run writes depends on the machine's.
    env = dict(os.environ, LC_ALL="C.UTF-8")
    return subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True, errors="replace")


def convert_one(tessarine, document, index, work):
    """All the outputs of one document, as {key: digest}."""
    name = document.name
    folder = work / f"d{index:02d}"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    result = {}

    project = folder / "project.tsn"
    site = folder / "site"
    site.mkdir()
    created = run([tessarine, "new", str(project), str(document)], folder)
    if created.returncode != 0:
        result[f"site/{name}"] = f"new exit {created.returncode}"
    else:
        built = run([tessarine, "build", str(project), "--output", str(site)], folder)
        if built.returncode != 0:
            result[f"site/{name}"] = f"exit {built.returncode}"
        result.update(digests_of(site, f"site/{name}", work))

    batch_runs = {} if document.suffix.lower() == ".doc" else BATCH_RUNS
    for label, options in batch_runs.items():
        out = folder / label
        out.mkdir()
        batch = run([tessarine, "batch", "--output", str(out), *options, str(document)], folder)
        if batch.returncode != 0:
            result[f"{label}/{name}"] = f"exit {batch.returncode}"
        result.update(digests_of(out, f"{label}/{name}", work))
    if not os.environ.get("TESSARINE_KEEP_DIGEST_WORK"):
        shutil.rmtree(folder, ignore_errors=True)
    return result


def read_digests(path):
    stored = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            value, key = line.split("  ", 1)
            stored[key] = value
    return stored


def write_digests(path, digests):
    lines = ["# Corpus output digests: SHA-256 per output file, or the exit status of a",
             "# failed run. Written by tests/tools/update-corpus-digests.sh; see README.md."]
    lines += [f"{value.replace(' ', '_')}  {key}" for key, value in sorted(digests.items())]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarine", required=True)
    parser.add_argument("--shared", required=True, type=Path)
    parser.add_argument("--work", required=True, type=Path)
    parser.add_argument("--digests", required=True, type=Path)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--update", action="store_true")
    args = parser.parse_args()
    update = args.update or os.environ.get("TESSARINE_UPDATE_DIGESTS") == "1"

    if not (args.shared / "corpus" / "docx").is_dir():
        print(f"SKIPPED: no corpus in {args.shared} (set TESSARINE_SHARED_DIR)")
        return SKIPPED
    if not shutil.which("soffice"):
        print("SKIPPED: LibreOffice (soffice), which converts the .doc files, is not installed")
        return SKIPPED

    work = args.work.resolve()
    tessarine = str(Path(args.tessarine).resolve())
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    documents = corpus_documents(args.shared)
    started = time.monotonic()
    digests = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        jobs = [pool.submit(convert_one, tessarine, document, index, work)
                for index, document in enumerate(documents)]
        for job in jobs:
            digests.update(job.result())
    print(f"{len(documents)} documents, {len(digests)} outputs in "
          f"{time.monotonic() - started:.1f} s")

    # "exit N" becomes "exit_N" in the file, which separates fields by two spaces.
    digests = {key: value.replace(" ", "_") for key, value in digests.items()}
    if update:
        write_digests(args.digests, digests)
        print(f"wrote {args.digests}")
        return 0

    if not args.digests.is_file():
        print(f"no stored digests at {args.digests}; run tests/tools/update-corpus-digests.sh")
        return 1
    stored = read_digests(args.digests)
    failures = []
    for key in sorted(stored.keys() | digests.keys()):
        if key not in digests:
            failures.append(f"missing now: {key}")
        elif key not in stored:
            failures.append(f"new output: {key}")
        elif stored[key] != digests[key]:
            failures.append(f"changed: {key} ({stored[key][:12]} -> {digests[key][:12]})")
    for failure in failures:
        print(failure)
    if failures:
        print(f"{len(failures)} of {len(stored)} stored outputs differ; if the change is meant, "
              "regenerate with tests/tools/update-corpus-digests.sh")
        return 1
    print(f"all {len(stored)} outputs match")
    return 0


if __name__ == "__main__":
    sys.exit(main())
