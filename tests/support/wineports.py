"""A Wine prefix of its own with Linux ttys mapped as COM ports.

On a pty every WaitCommEvent fails because TIOCMGET does, so the Windows
program runs with a preload (tests/serial/ptyShim.c). Xvfb runs no window
manager, which Wine would wait for, so Wine places its windows itself.
"""
import contextlib
import os
import re
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
    # A first wineboot takes a minute or two; a call that hangs fails here.
    subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=600)


def thread_stacks(env, program):
    """The debugger's backtraces of every thread of the running program."""
    loader, _ = wine_tools()
    try:
        out = subprocess.run([loader, "winedbg"], input=b"bt all\nquit\n", env=env,
                             capture_output=True, timeout=120).stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return "(the debugger did not answer)"
    blocks = re.split(r"\n(?=Backtracing for thread)", out)
    return "\n".join(b for b in blocks if b.split("\n", 1)[0].endswith(program + "):"))


def build_shim(shim_source, work_dir):
    shim = os.path.join(work_dir, "pty-shim.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, shim_source, "-ldl"], check=True,
                   timeout=120)
    return shim


# Freed heap blocks filled and checked: a use after free faults where it is.
CHECKED_HEAP = "-all,warn+heap"


@contextlib.contextmanager
def com_port_prefix(work_dir, ports, debug=CHECKED_HEAP):
    """Yields the environment for Wine programs that see each tty of ports
    ({"COM7": "/dev/pts/3"}) under its name; one wineserver serves the block."""
    loader, server = wine_tools()
    prefix = tempfile.mkdtemp(prefix="wineprefix-", dir=work_dir)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG=debug, WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        quiet([loader, "wineboot", "-i"], env)
        quiet([loader, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/t",
               "REG_SZ", "/d", "N", "/f"], env)
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
