#!/usr/bin/env python3
"""System calls of the companion per document, as strace sees them.

usage: syscalls.py [--count N] [--label NAME]... KESTRELPAD_CLI [KESTRELPAD_CLI]

For show, set --title and (when the companion has it) set --backup --title, and for each kind of
document (.doc and .docx from tests/data, .xls and .xlsx from ../shared/corpus-office when it is
there), runs the companion on N fresh copies under "strace -f -c" (every call) and under
"strace -ff -e trace=%file,%desc" (to tell which calls touch what), and prints per document:
  syscalls      every system call of every thread
  opens         open/openat/openat2/creat of the document's own name
  syncs         fsync, fdatasync and syncfs
  ranges        sync_file_range (not a sync, but the other half of how data reaches the disk)
  locks         flock and fcntl F_SETLK, F_SETLKW, F_OFD_SETLK, F_OFD_SETLKW
Given two companions, prints both and the ratio before/after.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
CORPUS = os.path.join(HERE, "..", "..", "shared", "corpus-office", "docs")
SOURCES = {
    ".doc": [os.path.join(DATA, n) for n in ("lo-ja-full.doc", "poi-ja-cp932.doc")],
    ".docx": [os.path.join(DATA, n) for n in ("lo-ja-full.docx", "pandoc-ja.docx")],
    ".xls": [os.path.join(CORPUS, "finance.xls")],
    ".xlsx": [os.path.join(CORPUS, "52716.xlsx")],
}
METRICS = ("syscalls", "opens", "syncs", "ranges", "locks")
CALL = re.compile(r'(\w+)\(([^"]*?)"((?:[^"\\]|\\.)*)"')
LOCK = re.compile(r'fcntl\(\d+, F_(OFD_)?SETLKW?[,)]')


def commands(cli):
    """The commands to measure, by name; --backup only when this companion knows it."""
    named = {"show": ["show"], "set --title": ["set", "--title", "Syscall title"]}
    usage = subprocess.run([cli, "set", "--help"], capture_output=True, text=True).stdout
    if "--backup" in usage:
        named["set --backup --title"] = ["set", "--backup", "--title", "Syscall title"]
    return named


def copies(folder, kind, count):
    os.makedirs(folder)
    names = ["d%05d%s" % (i, kind) for i in range(count)]
    for i, name in enumerate(names):
        shutil.copyfile(SOURCES[kind][i % len(SOURCES[kind])], os.path.join(folder, name))
    return names


def run(strace, cli, arguments, folder, env):
    result = subprocess.run(strace + [cli] + arguments, cwd=folder, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        print("  warning: %s %s exited %d: %s" % (os.path.basename(cli), " ".join(arguments[:2]),
              result.returncode, result.stderr.strip().splitlines()[-1:]), file=sys.stderr)


def measure(cli, arguments, kind, count, scratch):
    """Totals of each metric for one run over count fresh copies."""
    totals = dict.fromkeys(METRICS, 0)
    # Each run keeps its journal to itself, so no run finds another's or the user's.
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state"))
    folder = os.path.join(scratch, "docs")
    names = set(copies(folder, kind, count))
    run(["strace", "-f", "-c", "-o", os.path.join(scratch, "count")], cli, arguments + sorted(names), folder, env)
    with open(os.path.join(scratch, "count")) as summary:
        for line in summary:
            fields = line.split()
            if fields and fields[-1] == "total":
                totals["syscalls"] = int(fields[3])
    shutil.rmtree(folder)
    names = set(copies(folder, kind, count))
    # -ff: one file per thread, so no call is split into "unfinished" and "resumed" halves.
    run(["strace", "-ff", "-e", "trace=%file,%desc", "-o", os.path.join(scratch, "trace")], cli,
        arguments + sorted(names), folder, env)
    for path in glob.glob(os.path.join(scratch, "trace.*")):
        with open(path, errors="replace") as trace:
            for line in trace:
                call = line[:line.find("(")]
                quoted = CALL.match(line)
                if call in ("open", "openat", "openat2", "creat") and quoted \
                        and os.path.basename(quoted.group(3)) in names:
                    totals["opens"] += 1
                elif call in ("fsync", "fdatasync", "syncfs"):
                    totals["syncs"] += 1
                elif call == "sync_file_range":
                    totals["ranges"] += 1
                elif call == "flock" or LOCK.match(line):
                    totals["locks"] += 1
    shutil.rmtree(scratch)
    return totals


def per_document(cli, arguments, kind, count, root):
    """Per document, without the cost of starting the program.

    A run over count copies less a run over count / 2 copies, divided by count / 2: what both runs
    share (loading, starting Qt and the worker threads, the journal folder) cancels. A run over one
    copy would not do: it starts no worker thread, so the pool's start would count as documents'.
    """
    half = max(1, count // 2)
    big = measure(cli, arguments, kind, count, tempfile.mkdtemp(dir=root))
    small = measure(cli, arguments, kind, half, tempfile.mkdtemp(dir=root))
    return {m: (big[m] - small[m]) / (count - half) for m in METRICS}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cli", nargs="+", help="one companion, or two: before and after")
    parser.add_argument("--count", type=int, default=200, help="copies per run (200)")
    parser.add_argument("--label", action="append", default=[], help="column name, once per companion")
    options = parser.parse_args()
    if len(options.cli) > 2 or options.count < 2:
        parser.error("one or two companions, and at least 2 copies")
    labels = options.label + (["before", "after"] if len(options.cli) == 2
                              else [os.path.basename(options.cli[0])])[len(options.label):]
    if not shutil.which("strace"):
        sys.exit("syscalls.py: strace is not installed (apt-get install strace)")
    clis = [os.path.abspath(c) for c in options.cli]
    kinds = []
    for kind, paths in SOURCES.items():
        missing = [p for p in paths if not os.path.isfile(p)]
        if missing:
            print("skipping %s: %s is absent" % (kind, os.path.normpath(missing[0])))
        else:
            kinds.append(kind)
    named = [commands(c) for c in clis]
    root = tempfile.mkdtemp(prefix="kestrel-syscalls-")
    try:
        header = "%-22s %-6s %-9s" % ("command", "kind", "per doc") + "".join("%12s" % l[:12] for l in labels)
        print("%d copies per run, less a run over %d\n" % (options.count, max(1, options.count // 2)))
        print(header + ("%14s" % "before/after" if len(clis) == 2 else ""))
        for command in named[0]:
            for kind in kinds:
                figures = [per_document(c, n[command], kind, options.count, root) if command in n else None
                           for c, n in zip(clis, named)]
                for metric in METRICS:
                    row = "%-22s %-6s %-9s" % (command, kind, metric)
                    row += "".join("%12s" % ("-" if f is None else "%.2f" % f[metric]) for f in figures)
                    if len(figures) == 2 and None not in figures:
                        after = figures[1][metric]
                        row += "%14s" % ("%.2f" % (figures[0][metric] / after) if after else "-")
                    print(row, flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
