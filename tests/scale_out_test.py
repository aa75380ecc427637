#!/usr/bin/env python3
"""Runs the scale-out recipes of docs/scale-out.md as a user would:

* the GNU parallel recipes, taken from the page as they stand, over two hosts
  that are both this machine: "2/:" (local jobs) and an SSH login to a
  private sshd on a free port of 127.0.0.1 with a key made for the run; the
  shard recipe converts 200 documents, the transfer recipe 20, and their
  pages must equal those of one `tessarine batch` over the same documents,
  byte for byte, with nothing left behind in the SSH login's home folder;
* deploy/batch-job.yaml: the fields the recipe relies on, then the pod command
  run once per completion index, with a folder standing in for the volume;
  the pods' pages must equal one run's.

usage: scale_out_test.py --tessarine BIN --source DIR --shared DIR --work DIR
Exit status 0 when every check holds, 77 (skipped) when no SSH login to this
machine can be set up, 1 with the failures printed otherwise.
"""

import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

import yaml

sys.path.insert(0, str(Path(__file__).resolve().parent))
from site_corpus_test import sound_documents  # noqa: E402

SKIPPED = 77
REMOTE = "tessarine-remote"


def tree(root):
    """Every file under root by relative path, with its bytes."""
    return {str(p.relative_to(root)): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


def compare(label, got, expected, failures):
    if got == expected:
        return
    missing = sorted(set(expected) - set(got))
    extra = sorted(set(got) - set(expected))
    differing = sorted(k for k in set(got) & set(expected) if got[k] != expected[k])
    failures.append(f"{label}: {len(got)} files against {len(expected)}; missing {missing[:5]}, "
                    f"extra {extra[:5]}, differing {differing[:5]}")


def recipe(page, name):
    """The shell block that follows the marker <!-- recipe: NAME --> on the page."""
    match = re.search(r"<!-- recipe: " + re.escape(name) + r" -->\s*```sh\n(.*?)```", page, re.S)
    if not match:
        raise SystemExit(f"docs/scale-out.md has no recipe {name}")
    return match.group(1)


def small_documents(shared, count):
    """The `count` smallest sound corpus documents: the recipes are about the
    spreading, not the converting."""
    paths = [shared / "corpus" / "docx" / name for name in sound_documents(shared)]
    return sorted(paths, key=lambda p: (p.stat().st_size, p.name))[:count]


def copy_documents(sources, folder, count):
    """`count` documents in `folder`, cycling through `sources`, each under a
    name of its own (with a space, and a Chinese one every seventh)."""
    folder.mkdir(parents=True)
    for i in range(count):
        source = sources[i % len(sources)]
        name = f"{i:03d} 文档 {source.stem}.docx" if i % 7 == 0 else f"{i:03d} {source.stem}.docx"
        shutil.copyfile(source, folder / name)


def run(command, failures, label, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if done.returncode != 0:
        failures.append(f"{label}: exit {done.returncode}: {done.stderr.strip()[-2000:]}")
    return done.returncode == 0


def reference_run(tessarine, documents, names, output, failures):
    """One batch run over `documents` in byte order of their paths."""
    output.mkdir(parents=True)
    ordered = sorted(documents, key=lambda p: os.fsencode(p))
    run([tessarine, "batch", "--names", names, "--output", str(output), "--", *map(str, ordered)],
        failures, f"single run into {output.name}")
    return tree(output)


class SshLogin:
    """A private sshd on 127.0.0.1 that lets this user in with a key of its
    own, and an ssh command that reaches it as host REMOTE."""

    def __init__(self, folder):
        self.folder = folder
        self.process = None

    def start(self):
        sshd = shutil.which("sshd") or "/usr/sbin/sshd"
        if not os.path.exists(sshd):
            return "sshd is not installed (Debian package openssh-server)"
        f = self.folder
        f.mkdir(parents=True)
        for key in ("host", "client"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", str(f / key)],
                           check=True)
        shutil.copyfile(f / "client.pub", f / "authorized_keys")
        os.chmod(f / "authorized_keys", 0o600)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        (f / "sshd_config").write_text(
            f"Port {port}\nListenAddress 127.0.0.1\nHostKey {f}/host\n"
            f"AuthorizedKeysFile {f}/authorized_keys\nPidFile {f}/sshd.pid\nStrictModes no\n"
            "UsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
            "PermitRootLogin prohibit-password\n")
        (f / "ssh_config").write_text(
            f"Host {REMOTE}\n  HostName 127.0.0.1\n  Port {port}\n  IdentityFile {f}/client\n"
            "  IdentitiesOnly yes\n  StrictHostKeyChecking no\n  UserKnownHostsFile /dev/null\n"
            "  BatchMode yes\n  LogLevel ERROR\n")
        if os.geteuid() == 0:
            # sshd running as root wants its privilege separation folder.
            os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
        self.log = open(f / "sshd.log", "w")
        self.process = subprocess.Popen([sshd, "-D", "-e", "-f", str(f / "sshd_config")],
                                        stdout=self.log, stderr=subprocess.STDOUT)
        for _ in range(100):
            if self.process.poll() is not None:
                break
            probe = subprocess.run(self.ssh() + [REMOTE, "true"], capture_output=True)
            if probe.returncode == 0:
                return None
            time.sleep(0.1)
        return "no SSH login to this machine: " + (f / "sshd.log").read_text()[-500:]

    def ssh(self):
        return ["ssh", "-F", str(self.folder / "ssh_config")]

    def home(self):
        out = subprocess.run(self.ssh() + [REMOTE, "pwd"], capture_output=True, text=True)
        return Path(out.stdout.strip())

    def logins(self):
        """How many logins sshd has let in so far."""
        return (self.folder / "sshd.log").read_text().count("Accepted publickey")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)


def run_parallel_recipes(args, login, failures):
    page = (args.source / "docs" / "scale-out.md").read_text(encoding="utf-8")
    environment = dict(os.environ,
                       PATH=f"{Path(args.tessarine).parent}:{os.environ['PATH']}",
                       PARALLEL_SSH=" ".join(login.ssh()),
                       # The remote jobs find the same tessarine; no
                       # citation notice, no state in the user's ~/.parallel.
                       PARALLEL="--env PATH --will-cite",
                       PARALLEL_HOME=str(args.work / "parallel-home"))
    hosts = f"2/:\n2/{REMOTE}\n"
    sources = small_documents(args.shared, 20)
    home = login.home()
    before = set(home.iterdir())

    shards = args.work / "shards"
    copy_documents(sources, shards / "docs", 200)
    (shards / "hosts.txt").write_text(hosts)
    started = time.monotonic()
    logins = login.logins()
    if run(["bash", "-e", "-c", recipe(page, "parallel-shards")], failures, "shard recipe",
           cwd=shards, env=environment):
        expected = reference_run(args.tessarine, list((shards / "docs").iterdir()), "number",
                                 args.work / "shards-single", failures)
        got = tree(shards / "site")
        compare("shard recipe against one run", got, expected, failures)
        pages = [name for name in got if name.endswith(".htm") and "/" not in name]
        if len(pages) != 200:
            failures.append(f"shard recipe: {len(pages)} pages for 200 documents")
    print(f"shard recipe over 200 documents: {time.monotonic() - started:.1f} s, "
          f"{login.logins() - logins} SSH logins", flush=True)
    if login.logins() == logins:
        failures.append("shard recipe: no job went to the SSH host")

    transfer = args.work / "transfer"
    copy_documents(sources, transfer / "docs", 20)
    (transfer / "hosts.txt").write_text(hosts)
    logins = login.logins()
    if run(["bash", "-e", "-c", recipe(page, "parallel-transfer")], failures, "transfer recipe",
           cwd=transfer, env=environment):
        expected = reference_run(args.tessarine, list((transfer / "docs").iterdir()), "file",
                                 args.work / "transfer-single", failures)
        compare("transfer recipe against one run", tree(transfer / "site"), expected, failures)
    if login.logins() == logins:
        failures.append("transfer recipe: no job went to the SSH host")

    left = sorted(str(p) for p in set(home.iterdir()) - before)
    if left:
        failures.append(f"the recipes left files in the SSH login's home: {left}")


def check_job_manifest(args, failures):
    manifest = yaml.safe_load((args.source / "deploy" / "batch-job.yaml").read_text())
    spec = manifest["spec"]
    pod = spec["template"]["spec"]
    container = pod["containers"][0]
    env = {e["name"]: e.get("value") for e in container.get("env", [])}
    completions = spec.get("completions")
    for label, holds in [
        ("a batch/v1 Job", manifest.get("apiVersion") == "batch/v1" and manifest.get("kind") == "Job"),
        ("indexed completion", spec.get("completionMode") == "Indexed"),
        ("SHARDS equal to completions", env.get("SHARDS") == str(completions)),
        ("parallelism at most completions", 0 < spec.get("parallelism", 1) <= completions),
        ("pods not restarted in place", pod.get("restartPolicy") == "Never"),
        ("a shell command", container.get("command") == ["/bin/sh", "-c"]),
    ]:
        if not holds:
            failures.append(f"deploy/batch-job.yaml: not {label}")
    script = container["args"][0]
    for needed in ("--shard", "JOB_COMPLETION_INDEX + 1", "$SHARDS", "--files-from", "--names number"):
        if needed not in script:
            failures.append(f"deploy/batch-job.yaml: the pod command lacks {needed}")
    mounts = {m["name"]: m["mountPath"] for m in container["volumeMounts"]}
    volumes = {v["name"] for v in pod["volumes"]}
    if len(mounts) != 1 or set(mounts) != volumes:
        failures.append("deploy/batch-job.yaml: expected one mounted volume")
        return
    mount = next(iter(mounts.values()))
    files_from = re.search(r"--files-from (\S+)", script)
    output = re.search(r"--output (\S+)", script)
    for option, match in (("--files-from", files_from), ("--output", output)):
        if not match or not match.group(1).startswith(mount + "/"):
            failures.append(f"deploy/batch-job.yaml: {option} is not on the volume {mount}")
    if failures:
        return

    # The pods, one after the other, on a folder standing in for the volume;
    # the list is the NUL-separated one the manifest's comment makes.
    volume = args.work / "volume"
    copy_documents(small_documents(args.shared, 20), volume / "docs", 30)
    list_path = Path(files_from.group(1).replace(mount, str(volume), 1))
    documents = sorted((volume / "docs").iterdir(), key=lambda p: p.name, reverse=True)
    list_path.write_bytes(b"".join(os.fsencode(p) + b"\0" for p in documents))
    pod_env = dict(os.environ, PATH=f"{Path(args.tessarine).parent}:{os.environ['PATH']}",
                   SHARDS=env["SHARDS"])
    for index in range(completions):
        pod_env["JOB_COMPLETION_INDEX"] = str(index)
        run(container["command"] + [script.replace(mount + "/", str(volume) + "/")], failures,
            f"pod {index}", env=pod_env, cwd=args.work)
    expected = reference_run(args.tessarine, documents, "number", args.work / "job-single",
                             failures)
    site = Path(output.group(1).replace(mount, str(volume), 1))
    compare("the Job's pods against one run", tree(site), expected, failures)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--tessarine", "--source", "--shared", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    args.source, args.shared, args.work = (Path(p).resolve()
                                           for p in (args.source, args.shared, args.work))
    args.tessarine = str(Path(args.tessarine).resolve())
    if not (args.shared / "corpus").is_dir():
        print(f"SKIPPED: no corpus in {args.shared}")
        return SKIPPED
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    failures = []

    check_job_manifest(args, failures)
    print(f"Kubernetes manifest: {'checked' if not failures else 'FAILED'}", flush=True)

    if not shutil.which("parallel"):
        failures.append("GNU parallel is not installed (Debian package parallel)")
    else:
        login = SshLogin(args.work / "ssh")
        try:
            problem = login.start()
            if problem:
                print(f"SKIPPED the GNU parallel recipes: {problem}")
                if not failures:
                    return SKIPPED
            else:
                run_parallel_recipes(args, login, failures)
        finally:
            login.stop()

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
