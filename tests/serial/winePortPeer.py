#!/usr/bin/env python3
"""Runs the Windows serial tests under Wine against a pty mapped as COM7.

Usage: winePortPeer.py TEST_EXE SHIM_SOURCE WORK_DIR REPORT_DIR

Plays the device on the master side: echoes every byte but "UNPLUG", on
which it hangs up (which throws away what the program has not read yet).
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from processes import stop  # noqa: E402
from wineports import CHECKED_HEAP, build_shim, com_port_prefix, thread_stacks, wine_tools  # noqa: E402

PORT = "COM7"
TIME_LIMIT = int(os.environ.get("QUIL_SERIAL_TIME_LIMIT", "300"))


def play_device(master, process, env, exe):
    """Echoes until the program ends; hangs up on "UNPLUG"."""
    heard = b""
    deadline = time.monotonic() + TIME_LIMIT
    while process.poll() is None:
        if time.monotonic() > deadline:
            print("winePortPeer: time limit reached\n" + thread_stacks(env, os.path.basename(exe)),
                  file=sys.stderr)
            process.kill()
            break
        if master is None:
            time.sleep(0.05)
            continue
        ready, _, _ = select.select([master], [], [], 0.05)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            data = b""
        if not data:
            time.sleep(0.01)
            continue
        heard = (heard + data)[-16:]
        if not heard.endswith(b"UNPLUG"):
            os.write(master, data)
            continue
        os.write(master, data[:-len(b"UNPLUG")])
        os.close(master)
        master = None
    return master


def main():
    exe, shim_source, work_dir, report_dir = sys.argv[1:5]
    work_dir = os.path.abspath(work_dir)
    loader, _ = wine_tools()
    shim = build_shim(shim_source, work_dir)

    master, slave = pty.openpty()
    tty.setraw(slave)
    status = 1
    try:
        with com_port_prefix(work_dir, {PORT: os.ttyname(slave)},
                             os.environ.get("QUIL_SERIAL_WINEDEBUG", CHECKED_HEAP)) as env:
            run_env = dict(env, LD_PRELOAD=shim, QUIL_SERIAL_TEST_PORT=PORT)
            report = "Z:" + os.path.join(os.path.abspath(report_dir), "serial_wine_tests.xml")
            with tempfile.TemporaryFile() as output:
                process = subprocess.Popen([loader, exe, "--gtest_output=xml:" + report] + sys.argv[5:],
                                           env=run_env, stdin=subprocess.DEVNULL, stdout=output,
                                           stderr=subprocess.STDOUT)
                master = play_device(master, process, run_env, exe)
                stop(process)
                status = process.returncode
                output.seek(0)
                sys.stdout.write(output.read().decode(errors="replace"))
    finally:
        if master is not None:
            os.close(master)
        os.close(slave)
    return status


if __name__ == "__main__":
    sys.exit(main())
