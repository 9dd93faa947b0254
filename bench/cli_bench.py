#!/usr/bin/env python3
"""kestrelpad-cli on many documents, against other tools in the same run.

usage: cli_bench.py KESTRELPAD_CLI [COUNT]

Makes COUNT copies (2000 by default; half .doc, half .docx, cycling through the readable documents
of tests/data) in a temporary folder and measures, in wall-clock time:
  show over all copies against "exiftool -j" over the same files (documents per second, ratio);
  set changing three properties on all copies against cp of them (ratio).
Each kestrelpad-cli and cp figure is the best of three runs; exiftool runs once.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
# Files that are no readable document on purpose (a text file, an empty file, damaged packages).
NOT_DOCUMENTS = {"x.doc", "z.docx", "truncated.docx", "renamed-doc-as.docx"}
RUNS = 3


def sources(extension):
    names = sorted(n for n in os.listdir(DATA) if n.lower().endswith(extension) and n not in NOT_DOCUMENTS)
    if not names:
        sys.exit("no %s documents in %s" % (extension, DATA))
    return names


def make_copies(folder, count):
    files = []
    for extension, half in ((".doc", count - count // 2), (".docx", count // 2)):
        names = sources(extension)
        for i in range(half):
            target = os.path.join(folder, "%05d%s" % (len(files), extension))
            shutil.copyfile(os.path.join(DATA, names[i % len(names)]), target)
            files.append(target)
    return files


def timed(command, **kwargs):
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kwargs)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("%s failed (%d): %s" % (command[0], result.returncode, result.stderr.decode(errors="replace")[:2000]))
    return elapsed


def best(command_for_run):
    return min(timed(command_for_run(run)) for run in range(RUNS))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    folder = tempfile.mkdtemp(prefix="kestrel-cli-bench-")
    try:
        docs = os.path.join(folder, "docs")
        os.mkdir(docs)
        files = make_copies(docs, count)
        size = sum(os.path.getsize(f) for f in files)
        print("%d copies (%d .doc, %d .docx), %.1f MiB, in %s" %
              (len(files), count - count // 2, count // 2, size / 2**20, folder))

        show = best(lambda run: [cli, "show"] + files)
        print("kestrelpad-cli show:  %8.3f s  %8.0f documents/s" % (show, len(files) / show))
        if shutil.which("exiftool"):
            exiftool = timed(["exiftool", "-j", "-q"] + files)
            print("exiftool -j:          %8.3f s  %8.0f documents/s" % (exiftool, len(files) / exiftool))
            print("show is %.1f times as fast as exiftool -j (aim: at least 30)" % (exiftool / show))
        else:
            print("exiftool -j: skipped, exiftool is not installed (Debian package libimage-exiftool-perl)")

        change = ["--title", "Benchmark title", "--author", "Benchmark author", "--company", "Benchmark company"]
        set_time = best(lambda run: [cli, "set"] + change + files)
        print("kestrelpad-cli set (3 properties): %8.3f s  %8.0f documents/s" % (set_time, len(files) / set_time))

        def copy_command(run):
            target = os.path.join(folder, "cp%d" % run)
            os.mkdir(target)
            return ["cp"] + files + [target]
        copy = best(copy_command)
        print("cp of the same files:              %8.3f s  %8.0f documents/s" % (copy, len(files) / copy))
        print("set takes %.1f times as long as cp" % (set_time / copy))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
