#!/usr/bin/env python3
"""kestrelpad-cli on many documents, against independent tools in the same run.

usage: cli_bench.py [--counts N,N...] [--memory-counts M,M...] [--no-syscalls] KESTRELPAD_CLI

For each N (100 and 1000 by default) makes N copies (half .doc, half .docx, cycling through the
readable documents of tests/data) in a temporary folder and prints, each figure against its
reference measured in the same run, as a ratio with its aim:
  show against "exiftool -j -q", bench/python_reader.py (olefile, zipfile, xml.etree) and Apache
  POI in one JVM (bench/peers/PoiPeer.java, built here from Debian's libapache-poi-java);
  set of two properties on the .doc copies, and on the .docx copies, against cp of them with each
  copy synced (a change puts each document on the disk before it says so), and against the peers:
  POI in place, python-docx (bench/peers/python_docx_set.py) on the .docx;
  set again with the values already stored, against show of the same files;
  set --backup against set;
then the peak memory of show and of set over each M documents (100 and 50000 by default), and the
system calls and syncs per document of show, set and set --backup from strace -c
(bench/syscalls.py). Each figure is the best of three runs, every first set on fresh copies;
exiftool runs once. Every command runs in the copies' folder with short relative names, as the
companion takes its files as arguments only and must see all of them in one process.
"""
import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

import syscalls

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
# Files that are no readable document on purpose (a text file, an empty file, damaged packages).
NOT_DOCUMENTS = {"x.doc", "z.docx", "truncated.docx", "renamed-doc-as.docx"}
RUNS = 3
# The Debian interpreter, which has python3-olefile, as for the other benchmarks.
READER_PYTHON = "/usr/bin/python3"
READER = os.path.join(HERE, "python_reader.py")
CHANGE = ["--title", "Benchmark title", "--subject", "Benchmark subject"]
PEERS = os.path.join(HERE, "peers")
POI_JARS = ["/usr/share/java/%s.jar" % j for j in ("poi", "poi-ooxml", "poi-ooxml-schemas", "xmlbeans", "commons-collections4", "commons-compress", "commons-codec", "commons-math3")]
# GNU time, not a Python child: the peak of a child forked from Python counts Python's own pages.
TIME = "/usr/bin/time"


def sources(extension):
    names = sorted(n for n in os.listdir(DATA) if n.lower().endswith(extension) and n not in NOT_DOCUMENTS)
    if not names:
        sys.exit("no %s documents in %s" % (extension, DATA))
    return names


def make_copies(folder, count):
    """Copies of the test documents, first the .doc half then the .docx half; their names."""
    os.mkdir(folder)
    names = []
    for extension, half in ((".doc", count - count // 2), (".docx", count // 2)):
        documents = sources(extension)
        for i in range(half):
            name = "%05d%s" % (len(names), extension)
            shutil.copyfile(os.path.join(DATA, documents[i % len(documents)]), os.path.join(folder, name))
            names.append(name)
    return names


def fresh_copies(source, names, folder):
    os.mkdir(folder)
    for name in names:
        shutil.copyfile(os.path.join(source, name), os.path.join(folder, name))
    return folder


def run(command, folder, stdout=subprocess.DEVNULL):
    result = subprocess.run(command, cwd=folder, stdout=stdout, stderr=subprocess.PIPE)
    if result.returncode != 0:
        sys.exit("%s failed (%d): %s" % (command[0], result.returncode, result.stderr.decode(errors="replace")[:2000]))
    return result


def timed(command, folder, stdout=subprocess.DEVNULL):
    """Wall-clock seconds, from a moment when no earlier write is still waiting for the disk."""
    os.sync()
    start = time.perf_counter()
    run(command, folder, stdout)
    return time.perf_counter() - start


def timed_into(command, folder, path):
    with open(path, "wb") as out:
        return timed(command, folder, out)


def peak_mb(command, folder):
    report = os.path.join(folder, "..", "peak-kib")
    run([TIME, "-f", "%M", "-o", report] + command, folder)
    with open(report) as kib:
        return int(kib.read()) * 1024 / 1e6


def best(command_for_run, folder, measure=timed):
    return min(measure(command_for_run(), folder) for _ in range(RUNS))


class Bench:
    def __init__(self, cli, folder):
        self.cli = cli
        self.folder = folder
        self.scratch = 0
        self.poi = None  # the class path of the Apache POI peer, once built

    def scratch_folder(self):
        self.scratch += 1
        return os.path.join(self.folder, "run%d" % self.scratch)

    def best_on_fresh_copies(self, source, names, command, measure=timed):
        """The best figure of the command over the runs, each on its own fresh copies of names."""
        figures = []
        for _ in range(RUNS):
            folder = fresh_copies(source, names, self.scratch_folder())
            figures.append(measure(command, folder))
            shutil.rmtree(folder)
        return min(figures)

    def show(self, names):
        return [self.cli, "show"] + names

    def set(self, names, *options):
        return [self.cli, "set"] + list(options) + CHANGE + names


def ratio_line(text, figure, reference, aim):
    """text holds %s where the ratio goes."""
    print(text % ("%.2f" % (figure / reference)) + " (aim: %s)" % aim)


def seconds_line(what, seconds, count):
    print("  %-44s %8.3f s  %8.0f documents/s" % (what, seconds, count / seconds))


def agreeing_documents(show_csv, reader_csv):
    """How many documents the Python reader gives the same 14 property values as show."""
    with open(show_csv, encoding="utf-8", newline="") as shown, open(reader_csv, encoding="utf-8", newline="") as read:
        rows = zip(list(csv.reader(shown))[1:], csv.reader(read))
        return sum(1 for ours, theirs in rows if ours[:16] == theirs[:16])


def reader_available():
    return os.path.exists(READER_PYTHON) and subprocess.run(
        [READER_PYTHON, "-c", "import olefile"], stderr=subprocess.DEVNULL).returncode == 0


def python_docx_available():
    return subprocess.run([READER_PYTHON, "-c", "import docx"], stderr=subprocess.DEVNULL).returncode == 0


def build_poi(folder):
    """The class path of the POI peer, compiled into folder; None, after saying why, without it."""
    missing = [j for j in POI_JARS if not os.path.exists(j)]
    if missing or not shutil.which("javac"):
        print("Apache POI peer: skipped: %s is not installed (libapache-poi-java, default-jdk-headless)"
              % (missing[0] if missing else "javac"))
        return None
    classes = os.path.join(folder, "poi-peer")
    class_path = ":".join(POI_JARS + [classes])
    run(["javac", "-d", classes, "-cp", class_path, os.path.join(PEERS, "PoiPeer.java")], folder)
    return class_path


def compare_reading(bench, docs, names):
    show_csv = os.path.join(bench.folder, "show.csv")
    show = min(timed_into(bench.show(names), docs, show_csv) for _ in range(RUNS))
    seconds_line("kestrelpad-cli show", show, len(names))
    if shutil.which("exiftool"):
        exiftool = timed(["exiftool", "-j", "-q"] + names, docs)
        seconds_line("exiftool -j -q", exiftool, len(names))
        print("show is %.1f times as fast as exiftool -j (aim: at least 150)" % (exiftool / show))
    else:
        print("show against exiftool -j: skipped: exiftool is not installed (libimage-exiftool-perl)")
    if reader_available():
        reader_csv = os.path.join(bench.folder, "reader.csv")
        reader = min(timed_into([READER_PYTHON, READER] + names, docs, reader_csv) for _ in range(RUNS))
        seconds_line("python_reader.py (olefile, zipfile, etree)", reader, len(names))
        print("show is %.1f times as fast as the Python reader (aim: at least 10); it reads the same values "
              "for %d of %d documents" % (reader / show, agreeing_documents(show_csv, reader_csv), len(names)))
    else:
        print("show against the Python reader: skipped: %s cannot import olefile (python3-olefile)" % READER_PYTHON)
    if bench.poi:
        poi = best(lambda: ["java", "-cp", bench.poi, "PoiPeer", "show"] + names, docs)
        seconds_line("Apache POI in one JVM", poi, len(names))
        print("show is %.1f times as fast as Apache POI (for reference)" % (poi / show))


def compare_changing(bench, docs, names):
    # A change puts each document on the disk before it says so; cp leaves its copies in memory.
    # The same copy with each file then synced is the like-for-like reference.
    def synced_copy_to_new_folder(files):
        target = bench.scratch_folder()
        os.mkdir(target)
        return ["sh", "-c", 'cp -- "$@" "$0" && cd "$0" && exec sync --data -- *', target] + files

    title, subject = CHANGE[1], CHANGE[3]
    for extension, aim in ((".doc", "for reference"), (".docx", "at most 1.1")):
        files = [n for n in names if n.endswith(extension)]
        synced = best(lambda: synced_copy_to_new_folder(files), docs)
        change = bench.best_on_fresh_copies(docs, files, bench.set(files))
        seconds_line("cp, then sync --data of each %s copy" % extension, synced, len(files))
        seconds_line("set --title --subject on them", change, len(files))
        ratio_line("set takes %%s times as long as cp with each of the %d %s copies synced" % (len(files), extension),
                   change, synced, aim)
        peers = []
        if bench.poi:
            peers.append(("Apache POI in one JVM, in place", ["java", "-cp", bench.poi, "PoiPeer", "set", title, subject]))
        if extension == ".docx" and python_docx_available():
            peers.append(("python-docx", [READER_PYTHON, os.path.join(PEERS, "python_docx_set.py"), title, subject]))
        elif extension == ".docx":
            print("python-docx peer: skipped: %s cannot import docx (python3-docx)" % READER_PYTHON)
        for name, command in peers:
            peer = bench.best_on_fresh_copies(docs, files, command + files)
            seconds_line(name, peer, len(files))
            print("set is %.1f times as fast as %s (for reference)" % (peer / change, name))

    changed = fresh_copies(docs, names, bench.scratch_folder())
    run(bench.set(names), changed)
    again = best(lambda: bench.set(names), changed)
    show = best(lambda: bench.show(names), changed)
    seconds_line("set again, the values already stored", again, len(names))
    seconds_line("show of the same files", show, len(names))
    ratio_line("set again takes %s times as long as show of the same files", again, show, "at most 1.5")

    plain = bench.best_on_fresh_copies(docs, names, bench.set(names))
    backup = bench.best_on_fresh_copies(docs, names, bench.set(names, "--backup"))
    seconds_line("set --title --subject", plain, len(names))
    seconds_line("set --backup --title --subject", backup, len(names))
    ratio_line("set --backup takes %s times as long as set", backup, plain, "at most 1.5")


def compare_memory(bench, counts):
    if not os.access(TIME, os.X_OK):
        print("peak memory: skipped: %s is not installed (Debian package time)" % TIME)
        return
    for documents in counts:
        source = os.path.join(bench.folder, "memory%d" % documents)
        names = make_copies(source, documents)
        show = best(lambda: bench.show(names), source, peak_mb)
        change = bench.best_on_fresh_copies(source, names, bench.set(names), peak_mb)
        shutil.rmtree(source)
        print("peak memory over %d documents: show %.1f MB, set %.1f MB (aim: flat, under 16 MB)"
              % (documents, show, change))


def count_syscalls(cli):
    if not shutil.which("strace"):
        print("system calls: skipped: strace is not installed")
        return
    named = syscalls.commands(cli)
    named["set --title"] = ["set"] + CHANGE
    named["set --backup --title"] = ["set", "--backup"] + CHANGE
    root = tempfile.mkdtemp(prefix="kestrel-syscalls-")
    try:
        for command, arguments in named.items():
            for kind in (".doc", ".docx"):
                figures = syscalls.per_document(cli, arguments, kind, 200, root)
                print("%-22s %-6s per document: %.1f system calls, %.2f syncs"
                      % (command, kind, figures["syscalls"], figures["syncs"]))
    finally:
        shutil.rmtree(root, ignore_errors=True)


def counts(text):
    return [int(c) for c in text.split(",")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli", help="the kestrelpad-cli program")
    parser.add_argument("--counts", type=counts, default=[100, 1000], help="documents timed (100,1000)")
    parser.add_argument("--memory-counts", type=counts, default=[100, 50000],
                        help="documents of the memory runs (100,50000)")
    parser.add_argument("--no-syscalls", action="store_true", help="leave out the strace counts")
    arguments = parser.parse_args()
    bench = Bench(os.path.abspath(arguments.cli), tempfile.mkdtemp(prefix="kestrel-cli-bench-"))
    try:
        bench.poi = build_poi(bench.folder)
        for count in arguments.counts:
            docs = os.path.join(bench.folder, "docs%d" % count)
            names = make_copies(docs, count)
            size = sum(os.path.getsize(os.path.join(docs, n)) for n in names)
            print("\n%d documents (%d .doc, %d .docx), %.1f MiB in all, copied from tests/data to %s"
                  % (len(names), count - count // 2, count // 2, size / 2**20, bench.folder))
            compare_reading(bench, docs, names)
            compare_changing(bench, docs, names)
            shutil.rmtree(docs)
        print()
        compare_memory(bench, arguments.memory_counts)
        if not arguments.no_syscalls:
            print()
            count_syscalls(bench.cli)
    finally:
        shutil.rmtree(bench.folder, ignore_errors=True)


if __name__ == "__main__":
    main()
