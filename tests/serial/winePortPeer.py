#!/usr/bin/env python3
"""Runs the Windows serial tests under Wine against a pty mapped as COM7.

Usage: winePortPeer.py TEST_EXE SHIM_SOURCE WORK_DIR REPORT_DIR

Makes a pty pair, maps its slave side as COM7 in a Wine prefix of its own
(HKLM\\Software\\Wine\\Ports, then a fresh wineserver so the port shows under
HARDWARE\\DEVICEMAP\\SERIALCOMM), builds the TIOCMGET preload with the host
compiler, runs the test program and plays the device on the master side:
every byte is echoed; after echoing "UNPLUG" the device hangs up.
"""
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

PORT = "COM7"
TIME_LIMIT = int(os.environ.get("QUIL_SERIAL_TIME_LIMIT", "300"))


def wine_tools():
    loader = "/usr/lib/wine/wine64"
    server = "/usr/lib/wine/wineserver64"
    if not os.access(loader, os.X_OK):
        loader = shutil.which("wine64") or shutil.which("wine")
    if not os.access(server, os.X_OK):
        server = shutil.which("wineserver")
    return loader, server


def quiet(command, env):
    # Wine's helper processes may outlive the call: keep them off our pipes.
    subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


def play_device(master, process):
    """Echoes until the program ends; hangs up after "UNPLUG"."""
    heard = b""
    deadline = time.monotonic() + TIME_LIMIT
    while process.poll() is None:
        if time.monotonic() > deadline:
            process.kill()
            print("winePortPeer: time limit reached", file=sys.stderr)
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
        os.write(master, data)
        heard = (heard + data)[-16:]
        if heard.endswith(b"UNPLUG"):
            time.sleep(0.1)  # let the echo be read first
            os.close(master)
            master = None
    return master


def main():
    exe, shim_source, work_dir, report_dir = sys.argv[1:5]
    work_dir = os.path.abspath(work_dir)
    loader, server = wine_tools()
    shim = os.path.join(work_dir, "tiocmget-shim.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, shim_source, "-ldl"], check=True)

    master, slave = pty.openpty()
    tty.setraw(slave)
    slave_path = os.ttyname(slave)

    prefix = tempfile.mkdtemp(prefix="serial-wineprefix-", dir=work_dir)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG=os.environ.get("QUIL_SERIAL_WINEDEBUG", "-all"),
               WINEDLLOVERRIDES="mscoree,mshtml=")
    status = 1
    try:
        quiet([loader, "wineboot", "-i"], env)
        quiet([loader, "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", PORT, "/t", "REG_SZ",
               "/d", slave_path, "/f"], env)
        # The mapping is read when the server starts.
        quiet([server, "-k"], env)
        quiet([server, "-w"], env)

        run_env = dict(env, LD_PRELOAD=shim, QUIL_SERIAL_TEST_PORT=PORT)
        report = "Z:" + os.path.join(os.path.abspath(report_dir), "serial_wine_tests.xml")
        with tempfile.TemporaryFile() as output:
            process = subprocess.Popen([loader, exe, "--gtest_output=xml:" + report] + sys.argv[5:],
                                       env=run_env, stdin=subprocess.DEVNULL, stdout=output,
                                       stderr=subprocess.STDOUT)
            master = play_device(master, process)
            status = process.wait()
            output.seek(0)
            sys.stdout.write(output.read().decode(errors="replace"))
    finally:
        if master is not None:
            os.close(master)
        os.close(slave)
        quiet([server, "-k"], env)
        shutil.rmtree(prefix, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
