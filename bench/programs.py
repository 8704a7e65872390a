#!/usr/bin/env python3
"""Upload time of the real programs against the device simulator.

Usage: bench/programs.py [--baud RATE] [--adapter latency|polled] [--byte-writes] [--runs N]
                         [--native BUILD_DIR] [--mingw BUILD_DIR] [KIND...]
       bench/programs.py --cpu RUNS [--native BUILD_DIR]

KIND is any of flash, window, flash.exe, window.exe (default: all four).
The Linux programs come from BUILD_DIR (default build/default), the Windows
programs from the mingw build (default build/mingw) and run under Wine with
the simulator's pty mapped as COM7. The window programs run on a private
Xvfb display and are worked as an operator would: the port chosen, then
"Записать". The time is the simulator's own, from the first block to "PUSK",
so start-up and the 15 s pause after the upload do not count. --adapter hands
the answers over as that USB-serial adapter would; --byte-writes gives the
command-line uploaders one write per image byte; --runs prints the median
of that many uploads of each kind.

--cpu runs quilmatronx-flash and bench/direct_upload (the same exchange with
one write() per image byte, nothing else) RUNS times each, alternately,
against an unpaced simulator, and prints the medians of the whole
processes' CPU time (user + system, from the kernel's account of each
child), the uploader's and the simulator's, and flash's ratio to direct.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from wineports import build_shim, com_port_prefix, wine_tools  # noqa: E402

FORM = "Quilmatronx bootloader"
WRITE = "Записать"
PORT = "COM7"


def upload_seconds(log_text):
    """First block to PUSK, from the simulator's time-stamped log."""
    stamps = {}
    for line in log_text.splitlines():
        match = re.match(r"\s*([0-9.]+) (upload begins|PUSK received)", line)
        if match:
            stamps[match.group(2)] = float(match.group(1))
    if len(stamps) != 2:
        raise RuntimeError("the upload did not complete:\n" + log_text[-2000:])
    return stamps["PUSK received"] - stamps["upload begins"]


class Simulator:
    def __init__(self, devsim, baud, adapter=None):
        self.log = tempfile.NamedTemporaryFile(prefix="devsim-", suffix=".log")
        options = ["--timeout", "600"] + (["--baud", str(baud)] if baud else []) + \
            (["--adapter", adapter] if adapter else [])
        self.process = subprocess.Popen([devsim] + options, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=self.log)
        self.port = self.process.stdout.readline().decode().strip()

    def wait(self, seconds=900):
        self.process.wait(timeout=seconds)
        with open(self.log.name, encoding="utf-8", errors="replace") as f:
            return upload_seconds(f.read())

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def run_quietly(command, env=None):
    return subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def cpu_seconds(process):
    """Waits for a child; its exit code and CPU time (user + system)."""
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return process.returncode, usage.ru_utime + usage.ru_stime


def cpu_runs(native, runs):
    devsim = os.path.join(native, "tools", "devsim", "quilmatronx-devsim")
    uploaders = {"direct": os.path.join(native, "bench", "direct_upload"),
                 "flash": os.path.join(native, "app", "quilmatronx-flash")}
    cpu = {kind: {"uploader": [], "simulator": [], "both": []} for kind in uploaders}
    print(f"load average before: {os.getloadavg()[0]:.2f}")
    # Alternately, so that a change in the machine's load meets both alike.
    for _ in range(runs):
        for kind, program in uploaders.items():
            simulator = Simulator(devsim, 0)
            try:
                code, uploader = cpu_seconds(run_quietly([program, simulator.port]))
                if code != 0:
                    raise RuntimeError(f"{kind} failed with {code}")
                simulator_code, device = cpu_seconds(simulator.process)
                if simulator_code != 0:
                    raise RuntimeError(f"{kind}: the simulator ended with {simulator_code}")
            finally:
                simulator.close()
            for part, seconds in (("uploader", uploader), ("simulator", device),
                                  ("both", uploader + device)):
                cpu[kind][part].append(seconds)
    print(f"load average after: {os.getloadavg()[0]:.2f}")
    print(f"CPU seconds, median of {runs} runs   uploader  simulator   both")
    median = {kind: {part: statistics.median(values) for part, values in parts.items()}
              for kind, parts in cpu.items()}
    for kind, parts in median.items():
        print(f"{kind:31} {parts['uploader']:9.3f} {parts['simulator']:10.3f} {parts['both']:6.3f}")
    print(f"flash / direct: {median['flash']['both'] / median['direct']['both']:.2f} "
          f"(uploaders alone {median['flash']['uploader'] / median['direct']['uploader']:.2f})")


def xdotool(*args, env):
    return subprocess.run(["xdotool"] + list(args), env=env, check=True, capture_output=True,
                          text=True).stdout


def linux_window(native, simulator, env):
    env = dict(env, QUILMATRONX_EXTRA_PORTS=simulator.port)
    program = run_quietly([os.path.join(native, "app", "quilmatronx-bootloader")], env)
    try:
        window = xdotool("search", "--sync", "--name", f"^{FORM}$", env=env).split()[0]
        time.sleep(0.5)
        geometry = dict(line.split("=") for line in
                        xdotool("getwindowgeometry", "--shell", window, env=env).split())
        x, y = int(geometry["X"]), int(geometry["Y"])
        # The port list (its last item is the simulator's port), then the button.
        xdotool("mousemove", str(x + 45), str(y + 22), "click", "1", env=env)
        time.sleep(0.5)
        xdotool("key", "Up", "Return", env=env)
        time.sleep(1)
        xdotool("mousemove", str(x + 47), str(y + 65), "click", "1", env=env)
        return simulator.wait()
    finally:
        program.kill()
        program.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--baud", type=int, default=0)
    parser.add_argument("--adapter", choices=["latency", "polled"])
    parser.add_argument("--byte-writes", action="store_true")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--cpu", type=int, metavar="RUNS")
    parser.add_argument("--native", default=os.path.join(ROOT, "build", "default"))
    parser.add_argument("--mingw", default=os.path.join(ROOT, "build", "mingw"))
    parser.add_argument("kinds", nargs="*", default=["flash", "window", "flash.exe", "window.exe"])
    options = parser.parse_args()
    if options.cpu:
        cpu_runs(options.native, options.cpu)
        return 0
    devsim = os.path.join(options.native, "tools", "devsim", "quilmatronx-devsim")
    work = tempfile.mkdtemp(prefix="quil-programs-")
    loader, _ = wine_tools()
    driver = os.path.join(options.mingw, "tests", "app", "wine_window_driver.exe")
    windows_app = os.path.join(options.mingw, "app")

    flash_options = ["--byte-writes"] if options.byte_writes else []
    results = {}
    for kind in [kind for kind in options.kinds for _ in range(options.runs)]:
        simulator = Simulator(devsim, options.baud, options.adapter)
        try:
            if kind == "flash":
                run_quietly([os.path.join(options.native, "app", "quilmatronx-flash")] +
                            flash_options + [simulator.port]).wait()
                results.setdefault(kind, []).append(simulator.wait())
            elif kind == "window":
                results.setdefault(kind, []).append(
                    linux_window(options.native, simulator, dict(os.environ)))
            else:
                shim = build_shim(os.path.join(ROOT, "tests", "serial", "ptyShim.c"), work)
                # Without the heap checks: they are for tests, not for timings.
                with com_port_prefix(work, {PORT: simulator.port}, "-all") as env:
                    env = dict(env, LD_PRELOAD=shim)
                    if kind == "flash.exe":
                        run_quietly([loader, os.path.join(windows_app, "quilmatronx-flash.exe")] +
                                    flash_options + [PORT], env).wait()
                        results.setdefault(kind, []).append(simulator.wait())
                    else:
                        program = run_quietly(
                            [loader, os.path.join(windows_app, "quilmatronx-bootloader.exe")], env)
                        # No pipes: Wine processes the driver may start (the desktop,
                        # services) inherit them and would hold them open for ever.
                        def drive(*args):
                            return run_quietly([loader, driver] + list(args), env).wait()

                        if drive("texts", FORM, "60") != 0 or drive("choose", FORM, PORT) != 0:
                            raise RuntimeError("the window program did not come up")
                        # The button is enabled once the device answered.
                        while drive("click", FORM, WRITE) != 0:
                            time.sleep(0.5)
                        results.setdefault(kind, []).append(simulator.wait())
                        program.kill()
                        program.wait()
        finally:
            simulator.close()
        print(f"{kind:11} {results[kind][-1]:7.2f} s", flush=True)
    results = {kind: statistics.median(times) for kind, times in results.items()}
    if options.runs > 1:
        for kind, median in results.items():
            print(f"{kind:11} {median:7.2f} s, median of {options.runs}")
    line_time = (130048 + 508 * 2 + 2) * 10 / options.baud if options.baud else None
    if line_time:
        print(f"line time plus answers at {options.baud} Bd: {line_time:.2f} s")
    for native, windows in (("flash", "window"), ("flash.exe", "window.exe")):
        if native in results and windows in results:
            print(f"{windows} / {native}: {results[windows] / results[native]:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
