#!/usr/bin/python3
"""Times one download of URL by corvane-rest and by the curl command-line
tool, to a file and to /dev/null, best of a few runs each, with the peak
resident memory of the run.

    cli_bench.py CORVANE_REST URL SCRATCH_DIR
"""
import os
import sys
import time

RUNS = 3


def measure(argv, stdout):
    """Wall seconds and peak RSS (bytes) of one run of argv."""
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        fd = os.open(stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(fd, 1)
        os.execv(argv[0], argv)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("%s failed" % " ".join(argv))
    return seconds, usage.ru_maxrss * 1024


def main():
    cli, url, scratch = sys.argv[1:4]
    target = os.path.join(scratch, "cli_bench.out")
    size = None
    rows = [
        ("corvane-rest -o FILE", [cli, "-o", target, url], "/dev/null", target),
        ("curl -o FILE", ["/usr/bin/curl", "-s", "-o", target, url], "/dev/null", target),
        # The body kept in memory (it is parsed), then written out.
        ("corvane-rest > /dev/null", [cli, url], "/dev/null", None),
        # Streamed as it arrives.
        ("corvane-rest -o - >/dev/null", [cli, "-o", "-", url], "/dev/null", None),
        ("curl > /dev/null", ["/usr/bin/curl", "-s", url], "/dev/null", None),
    ]
    print("%-30s %9s %10s %12s" % ("download", "seconds", "MB/s", "peak RSS MB"))
    for name, argv, stdout, written in rows:
        best, peak = None, 0
        for _ in range(RUNS):
            seconds, rss = measure(argv, stdout)
            if written is not None:
                got = os.path.getsize(written)
                if size is not None and got != size:
                    raise SystemExit("%s wrote %d bytes, expected %d" % (name, got, size))
                size = got
            best = seconds if best is None else min(best, seconds)
            peak = max(peak, rss)
        print("%-30s %9.3f %10.1f %12.1f" % (name, best, size / best / 1e6, peak / 1e6))
    if os.path.exists(target):
        os.unlink(target)


if __name__ == "__main__":
    main()
