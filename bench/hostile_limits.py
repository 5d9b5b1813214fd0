#!/usr/bin/python3
"""Hostile-archive limits of tvk, measured: memory, key derivations and interrupt latency.

  bench/hostile_limits.py [--tvk PATH] [--scratch DIR] [--tools DIR]

Builds tvk with the release preset unless --tvk is given, writes three crafted archives with the
independent format tool of the shared tools folder (default ../shared/tools) and prints:
  1. peak memory of `tvk test` and `tvk extract` on a 33 KB archive whose one entry claims
     2^31-1 bytes and inflates to 1 GiB of zeros, against an honest small archive;
  2. the time `tvk test -p pw` needs to refuse a small archive of 1,000 entries under 1,000 salts;
  3. how long `tvk extract` takes to end after SIGINT (Ctrl-C) in the middle of a 1 GiB entry,
     the signal sent once its temporary file has appeared in the target folder.
Figures depend on the machine; none of this runs in the test suite. Needs GNU time
(Debian package time) and python3-zstandard.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)


def run(tvk, args):
    """Runs tvk; returns (exit status, peak resident MiB, seconds, stderr)."""
    start = time.monotonic()
    # GNU time reports the peak of tvk alone (a child forked from this process would start
    # with this process's pages counted).
    child = subprocess.run(["/usr/bin/time", "-f", "%M"] + [tvk] + args, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)
    seconds = time.monotonic() - start
    lines = child.stderr.decode("utf-8", "replace").splitlines()
    return child.returncode, int(lines[-1]) / 1024, seconds, "\n".join(lines[:-1])


def codes(err):
    return [line.split(":", 1)[0] for line in err.splitlines() if ":" in line]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tvk")
    parser.add_argument("--scratch")
    parser.add_argument("--tools", default=os.path.join(root, "..", "shared", "tools"))
    options = parser.parse_args()
    sys.path.insert(0, options.tools)
    import tvkcheck
    import zstandard

    tvk = os.path.abspath(options.tvk) if options.tvk else None
    if not tvk:
        subprocess.run(["cmake", "--preset", "release"], cwd=root, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "release", "--target", "tvk"], cwd=root, check=True)
        tvk = os.path.join(root, "build", "release", "bin", "tvk")
    scratch = tempfile.mkdtemp(prefix="tvk-hostile-", dir=options.scratch)
    try:
        gib = 1 << 30
        zeros = zstandard.ZstdCompressor(level=19).compress(bytes(gib))
        md5 = tvkcheck.digest(bytes(gib)).encode()
        honest = os.path.join(scratch, "honest.tvk")
        claimed = os.path.join(scratch, "claimed.tvk")
        large = os.path.join(scratch, "large.tvk")
        salts = os.path.join(scratch, "salts.tvk")
        with open(honest, "wb") as f:
            f.write(tvkcheck.build_archive([dict(path=b"a.txt", content=b"honest " * 100)]))
        with open(claimed, "wb") as f:
            f.write(tvkcheck.build_archive([dict(path=b"big.bin", block=zeros, original=0x7FFFFFFF,
                                                 flags=tvkcheck.F_COMPRESSED, md5=md5)]))
        with open(large, "wb") as f:
            f.write(tvkcheck.build_archive([dict(path=b"large.bin", block=zeros, original=gib,
                                                 flags=tvkcheck.F_COMPRESSED,
                                                 md5=md5)]))
        # Blocks that overlap in a 1 KiB data area, each starting one byte further: 1,000 salts.
        area = bytes((i * 7 + i // 3) & 0xFF for i in range(1024))
        entries = [dict(path=b"e%d" % i, block=b"", original=6, flags=tvkcheck.F_ENCRYPTED,
                        offset=i, stored=24, md5=md5) for i in range(1000)]
        with open(salts, "wb") as f:
            f.write(tvkcheck.build_archive(entries, data_area=area))

        print("archive sizes: claimed %d B, salts %d B" % (os.path.getsize(claimed), os.path.getsize(salts)))
        status, base, _, _ = run(tvk, ["test", honest])
        print("honest small archive, tvk test: exit %d, peak %.1f MiB" % (status, base))
        for label, args in (("test", ["test", claimed]),
                            ("extract", ["extract", claimed, "-o", os.path.join(scratch, "out")])):
            status, peak, seconds, err = run(tvk, args)
            print("claimed 2^31-1, inflates to 1 GiB, tvk %s: exit %d, messages %s, peak %.1f MiB "
                  "(+%.1f over honest), %.1f s" % (label, status, codes(err), peak, peak - base, seconds))
        out = os.path.join(scratch, "out")
        left = os.listdir(out) if os.path.isdir(out) else []
        print("  left in the target folder:", left)
        status, _, seconds, err = run(tvk, ["test", salts, "-p", "pw"])
        print("1,000 salts, tvk test -p pw: exit %d, messages %s, %.2f s" % (status, codes(err), seconds))

        target = os.path.join(scratch, "interrupted")
        os.makedirs(target)
        child = subprocess.Popen([tvk, "extract", large, "-o", target], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE)
        while not os.listdir(target) and child.poll() is None:
            time.sleep(0.001)  # a measuring script, not a test: polling is fine here
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        err = child.stderr.read().decode("utf-8", "replace")
        child.wait()
        print("SIGINT inside a 1 GiB entry: ended %.3f s after the signal, exit %d, messages %s, "
              "left %s" % (time.monotonic() - sent, child.returncode, codes(err), os.listdir(target)))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
