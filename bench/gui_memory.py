#!/usr/bin/env python3
"""Peak memory of the program's batch change and batch CSV export at two list lengths.

usage: gui_memory.py GUI_MEMORY_BENCH [SMALL LARGE]

For each count (200 and 2000 by default) makes that many copies of the test documents (half .doc,
half .docx, as cli_bench.py makes them), then runs gui_memory_bench under /usr/bin/time -v twice on
them: the CSV export first (it only reads), then the batch change. Prints the resident memory the
program itself reports after start-up, after listing and after the run, and the peak resident size
(the larger of the program's VmHWM and what /usr/bin/time saw), then what each document beyond the
smaller list cost at the peak.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from cli_bench import make_copies


def run(bench, mode, folder, csv_file):
    result = subprocess.run(["/usr/bin/time", "-v", bench, mode, folder, csv_file], capture_output=True, text=True,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if result.returncode != 0:
        sys.exit("%s %s failed (%d): %s" % (bench, mode, result.returncode, result.stderr[-2000:]))
    reported = {moment: (int(rss), int(high)) for moment, rss, high in
                re.findall(r"^(\w+)\s+rss_kib=(\d+) peak_kib=(\d+)$", result.stdout, re.M)}
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr).group(1))
    listed = re.search(r"^listed (\d+) documents$", result.stdout, re.M).group(1)
    changed = re.search(r"^changed (\d+) documents$", result.stdout, re.M).group(1)
    # The larger of the program's own high-water mark and what the kernel told /usr/bin/time.
    return {"started": reported["started"][0], "listed": reported["listed"][0], "after": reported["after"][0],
            "peak": max(peak, reported["after"][1]), "documents": int(listed), "changed": int(changed)}


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    bench = os.path.abspath(sys.argv[1])
    counts = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) == 4 else (200, 2000)
    peaks = {}
    for count in counts:
        folder = tempfile.mkdtemp(prefix="kestrel-gui-memory-")
        try:
            docs = os.path.join(folder, "docs")
            os.mkdir(docs)
            make_copies(docs, count)
            for mode in ("export", "batch"):
                figures = run(bench, mode, docs, os.path.join(folder, "list.CSV"))
                peaks[(mode, count)] = figures["peak"]
                if mode == "export":
                    extra = ", CSV file %d KiB" % (os.path.getsize(os.path.join(folder, "list.CSV")) // 1024)
                else:
                    extra = ", %d changed" % figures["changed"]
                print("%-6s %5d documents: RSS started %6d KiB, listed %6d KiB, after the run %6d KiB; peak %6d KiB%s"
                      % (mode, figures["documents"], figures["started"], figures["listed"], figures["after"],
                         figures["peak"], extra))
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    small, large = counts
    for mode in ("export", "batch"):
        growth = (peaks[(mode, large)] - peaks[(mode, small)]) * 1024 / (large - small)
        print("%-6s peak grows by %.0f bytes per document from %d to %d documents" % (mode, growth, small, large))


if __name__ == "__main__":
    main()
