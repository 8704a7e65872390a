"""A Wine prefix of its own with a Linux tty mapped as a COM port.

Wine lists a port under HARDWARE\\DEVICEMAP\\SERIALCOMM once it is named in
HKLM\\Software\\Wine\\Ports and a fresh wineserver has started. On a pty
every WaitCommEvent fails because TIOCMGET does, so the Windows program runs
with a small preload (tests/serial/tiocmgetShim.c) built by the host
compiler.
"""
import contextlib
import os
import shutil
import subprocess
import tempfile


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


def build_shim(shim_source, work_dir):
    shim = os.path.join(work_dir, "tiocmget-shim.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, shim_source, "-ldl"], check=True)
    return shim


@contextlib.contextmanager
def com_port_prefix(work_dir, ports, debug="-all"):
    """Yields the environment for Wine programs that see each tty of the
    dictionary ports under its port name ({"COM7": "/dev/pts/3"}).

    The wineserver stays up until the block ends, so later Wine starts are
    quick and share one window station."""
    loader, server = wine_tools()
    prefix = tempfile.mkdtemp(prefix="wineprefix-", dir=work_dir)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG=debug, WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        quiet([loader, "wineboot", "-i"], env)
        for port, tty_path in ports.items():
            quiet([loader, "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", port, "/t",
                   "REG_SZ", "/d", tty_path, "/f"], env)
        # The mapping is read when the server starts.
        quiet([server, "-k"], env)
        quiet([server, "-w"], env)
        quiet([server, "-p"], env)
        yield env
    finally:
        quiet([server, "-k"], env)
        shutil.rmtree(prefix, ignore_errors=True)
