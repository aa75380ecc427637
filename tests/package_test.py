#!/usr/bin/env python3
"""The installation as a user meets it.

* Every command and option `tessarine --help` lists is in the manual page and
  in the bash completion.
* `cmake --install` into a prefix, the prefix moved elsewhere: the moved
  `tessarine` still finds its templates and builds the sample project.
* As root: the Debian package made by CPack from the build folder (its name,
  control fields and file list), lintian without errors, `dpkg -i`, the
  installed `tessarine --version` and `tessarine build` run from a folder
  outside the source tree, `man -w`, `appstreamcli validate`,
  `desktop-file-validate`, the MIME type and menu caches, the bash completion
  in a real bash; then `dpkg --purge` and nothing of the package left.

usage: package_test.py --build DIR --source DIR --work DIR --version VERSION
Exit status 0 when every check holds, 77 (skipped) when not run as root (the
checks before the package's have passed then), 1 with the failures printed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

SKIPPED = 77
APP_ID = "org.tessarine.Tessarine"
MIME_TYPE = "application/x-tessarine-project"

# Files the package must hold, below /usr.
EXPECTED = [
    "bin/tessarine",
    "bin/tessarine-gui",
    "share/tessarine/template/default/main.htm",
    "share/tessarine/template/paper/main.htm",
    "share/tessarine/template/nopreview.gif",
    "share/tessarine/help/default.htm",
    "share/man/man1/tessarine.1.gz",
    "share/man/man1/tessarine-gui.1.gz",
    "share/bash-completion/completions/tessarine",
    f"share/applications/{APP_ID}.desktop",
    f"share/metainfo/{APP_ID}.metainfo.xml",
    "share/mime/packages/tessarine.xml",
    "share/icons/hicolor/scalable/apps/tessarine.svg",
    *[f"share/icons/hicolor/{s}x{s}/apps/tessarine.png" for s in (16, 24, 32, 48, 64, 128, 256)],
    "share/doc/tessarine/copyright",
    "share/doc/tessarine/changelog.gz",
    "share/doc/tessarine/scale-out.md",
    "share/doc/tessarine/examples/batch-job.yaml",
]


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, holds, message):
        if not holds:
            self.failures.append(message)
        return holds

    def run(self, command, label, **kwargs):
        for _ in range(60):
            done = subprocess.run(command, capture_output=True, text=True, **kwargs)
            # dpkg waits for nobody: another installation on the machine holds
            # its lock for a while.
            if command[0] != "dpkg" or "lock" not in done.stderr:
                break
            time.sleep(2)
        self.expect(done.returncode == 0,
                    f"{label}: exit {done.returncode}: {(done.stdout + done.stderr).strip()[-3000:]}")
        return done


def help_words(tessarine):
    """The commands and options of `tessarine --help`."""
    text = subprocess.run([tessarine, "--help"], capture_output=True, text=True, check=True).stdout
    commands = re.findall(r"^  tessarine (\w+)", text, re.M)
    options = set(re.findall(r"^\s+(--?[\w-]+):", text, re.M)) | {"--help", "--version"}
    return commands, options


def check_documentation(checks, args, tessarine):
    commands, options = help_words(tessarine)
    checks.expect(len(commands) >= 5 and len(options) >= 25, f"--help lists {commands} {options}")
    man = (args.source / "packaging" / "man" / "tessarine.1").read_text().replace("\\-", "-")
    completion = (args.source / "packaging" / "tessarine.bash-completion").read_text()
    for word in commands + sorted(options):
        checks.expect(re.search(r"(^|[\s\"])" + re.escape(word) + r"\b", man, re.M),
                      f"the manual page does not describe {word}")
        checks.expect(re.search(r"(^|[\s\"(])" + re.escape(word) + r"(?=[\s\")])", completion, re.M),
                      f"the bash completion does not offer {word}")


def build_sample(checks, tessarine, source, work, label, env=None):
    """`tessarine build` of the sample guide from `work`, outside the tree."""
    site = work / "site"
    site.mkdir(parents=True)
    env = dict(env or os.environ)
    env.pop("TESSARINE_HOME", None)
    checks.run([str(tessarine), "build", "--output", str(site), str(source / "examples" / "guide.tsn")],
               label, cwd=work, env=env)
    checks.expect((site / "default.htm").is_file() and (site / "tfiles").is_dir(),
                  f"{label}: no site with the template's resources in {site}")


def check_relocated_install(checks, args):
    first, moved = args.work / "prefix", args.work / "moved" / "elsewhere"
    checks.run(["cmake", "--install", str(args.build), "--prefix", str(first)], "cmake --install")
    moved.parent.mkdir(parents=True)
    first.rename(moved)
    build_sample(checks, moved / "bin" / "tessarine", args.source, args.work / "relocated",
                 "the moved installation's tessarine build")


def control_fields(deb):
    info = subprocess.run(["dpkg-deb", "-f", str(deb)], capture_output=True, text=True,
                          check=True).stdout
    return dict(re.findall(r"^([\w-]+): (.*(?:\n .*)*)", info, re.M))


def package_files(deb):
    listing = subprocess.run(["dpkg-deb", "-c", str(deb)], capture_output=True, text=True,
                             check=True).stdout
    # "-rwxr-xr-x root/root 123 2026-01-01 00:00 ./usr/bin/tessarine"
    entries = [line.split(None, 5) for line in listing.splitlines()]
    return {e[5][1:].split(" -> ")[0]: e[0][0] for e in entries if len(e) == 6}


def check_package(checks, args, deb, files):
    fields = control_fields(deb)
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                          check=True).stdout.strip()
    checks.expect(deb.name == f"tessarine_{args.version}_{arch}.deb", f"package file {deb.name}")
    checks.expect(fields.get("Package") == "tessarine" and fields.get("Version") == args.version,
                  f"control fields {fields}")
    depends = fields.get("Depends", "")
    for library in ("libc6", "libstdc++6", "libqt6widgets6", "libicu", "libpcre2-8-0", "libzip",
                    "libpugixml"):
        checks.expect(library in depends, f"Depends lacks {library}: {depends}")
    checks.expect("libreoffice-writer" in fields.get("Recommends", "")
                  and "fonts-noto-cjk" in fields.get("Recommends", ""),
                  f"Recommends: {fields.get('Recommends')}")
    for path in EXPECTED:
        checks.expect(files.get("/usr/" + path) == "-", f"the package lacks /usr/{path}")
    # Nothing outside /usr, and no cache the system's triggers make.
    stray = [p for p, kind in files.items() if kind != "d" and (
        not p.startswith("/usr/") or p.startswith("/usr/local/")
        or p.startswith("/usr/share/mime/") and not p.startswith("/usr/share/mime/packages/")
        or p.endswith("mimeinfo.cache") or p.endswith("icon-theme.cache"))]
    checks.expect(not stray, f"the package holds files it must not: {stray[:10]}")

    started = time.monotonic()
    lintian = subprocess.run(["lintian", "--no-tag-display-limit", str(deb)], capture_output=True,
                             text=True)
    print(f"lintian: {time.monotonic() - started:.1f} s", flush=True)
    print(lintian.stdout, end="")
    errors = [line for line in lintian.stdout.splitlines() if line.startswith("E:")]
    checks.expect(not errors and lintian.returncode in (0, 1) and "internal error" not in lintian.stderr,
                  f"lintian: {errors or lintian.stderr}")


def complete(words, cwd):
    """What the installed bash completion offers for `words` (the last one
    being completed)."""
    script = (
        "source /usr/share/bash-completion/bash_completion\n"
        "source /usr/share/bash-completion/completions/tessarine\n"
        'COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}\n'
        "_tessarine tessarine \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        'printf "%s\\n" "${COMPREPLY[@]}"\n')
    done = subprocess.run(["bash", "-c", script, "bash", *words], capture_output=True, text=True,
                          cwd=cwd)
    return sorted(filter(None, done.stdout.splitlines()))


def check_installed(checks, args, files):
    outside = args.work / "outside"
    outside.mkdir()
    version = checks.run(["/usr/bin/tessarine", "--version"], "installed tessarine --version",
                         cwd=outside)
    checks.expect(version.stdout == f"tessarine {args.version}\n", f"--version: {version.stdout}")
    build_sample(checks, "/usr/bin/tessarine", args.source, outside / "build",
                 "installed tessarine build")
    for page in ("tessarine", "tessarine-gui"):
        found = checks.run(["man", "-w", page], f"man -w {page}").stdout.strip()
        checks.expect(found == f"/usr/share/man/man1/{page}.1.gz", f"man -w {page}: {found}")
    checks.run(["appstreamcli", "validate", "--no-net", f"/usr/share/metainfo/{APP_ID}.metainfo.xml"],
               "appstreamcli validate")
    checks.run(["desktop-file-validate", f"/usr/share/applications/{APP_ID}.desktop"],
               "desktop-file-validate")
    # The system's triggers have taken the MIME type and the menu entry in.
    checks.expect(Path(f"/usr/share/mime/{MIME_TYPE}.xml").is_file(),
                  "the MIME database does not know application/x-tessarine-project")
    cache = Path("/usr/share/applications/mimeinfo.cache")
    checks.expect(cache.is_file() and f"{MIME_TYPE}={APP_ID}.desktop" in cache.read_text(),
                  "the desktop's MIME cache does not open project files with the program")

    folder = args.work / "completion"
    (folder / "sub").mkdir(parents=True)
    for name in ("a.tsn", "b.docx", "c.doc", "d.txt"):
        (folder / name).write_text("")
    for words, expected in [
        (["tessarine", "b"], ["batch", "build"]),
        (["tessarine", "batch", "--sh"], ["--shard"]),
        (["tessarine", "batch", "--names", ""], ["file", "number"]),
        (["tessarine", "batch", "--opt2-eq", ""], ["off", "on"]),
        (["tessarine", "build", ""], ["a.tsn", "sub"]),
        (["tessarine", "build", "--output", ""], ["sub"]),
        (["tessarine", "batch", "--jobs", "2", ""], ["b.docx", "c.doc", "sub"]),
        (["tessarine", "new", "a.tsn", ""], ["b.docx", "c.doc", "sub"]),
    ]:
        got = complete(words, folder)
        checks.expect(got == expected, f"completing {words}: {got}, expected {expected}")


def check_removed(checks, files):
    checks.run(["dpkg", "--purge", "tessarine"], "dpkg --purge")
    left = [p for p, kind in files.items() if kind != "d" and os.path.lexists(p)]
    for folder in ("/usr/share/tessarine", "/usr/share/doc/tessarine"):
        if os.path.lexists(folder):
            left.append(folder)
    if os.path.lexists(f"/usr/share/mime/{MIME_TYPE}.xml"):
        left.append(f"/usr/share/mime/{MIME_TYPE}.xml")
    checks.expect(not left, f"left after removal: {left}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--source", "--work", "--version"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    args.build, args.source, args.work = (Path(p).resolve() for p in (args.build, args.source, args.work))
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    checks = Checks()

    check_documentation(checks, args, args.build / "bin" / "tessarine")
    check_relocated_install(checks, args)
    if checks.failures:
        return report(checks)
    if os.geteuid() != 0:
        print("SKIPPED the package checks: they install the package with dpkg -i and need root")
        return SKIPPED
    installed = subprocess.run(["dpkg-query", "-W", "-f", "${Status}", "tessarine"],
                               capture_output=True, text=True).stdout
    if "installed" in installed.split():
        print("SKIPPED the package checks: a tessarine package is already installed here; "
              "remove it (dpkg --purge tessarine) to run them")
        return SKIPPED

    started = time.monotonic()
    packaging = args.work / "package"
    checks.run(["cpack", "-G", "DEB", "-B", str(packaging), "--config",
                str(args.build / "CPackConfig.cmake")], "cpack")
    print(f"cpack: {time.monotonic() - started:.1f} s", flush=True)
    debs = list(packaging.glob("*.deb"))
    if not checks.expect(len(debs) == 1, f"cpack made {debs}"):
        return report(checks)
    files = package_files(debs[0])
    check_package(checks, args, debs[0], files)
    if checks.failures:
        return report(checks)
    checks.run(["dpkg", "-i", str(debs[0])], "dpkg -i")
    try:
        check_installed(checks, args, files)
    finally:
        check_removed(checks, files)
    print(f"package checks: {time.monotonic() - started:.1f} s", flush=True)
    return report(checks)


def report(checks):
    for failure in checks.failures:
        print("FAIL:", failure)
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
