#!/usr/bin/env python3
"""The Windows window program under Wine against the device simulator.

Usage: wineProgram.py PROGRAM_EXE DRIVER_EXE DEVSIM SHIM_SOURCE IMAGE WORK_DIR REPORT_DIR

Runs on a display (tests/ui/with-xvfb). Starts the simulator on a pty,
maps that pty as COM7 in a Wine prefix of its own, then works the program
through wineWindowDriver.exe as an operator would: the "/ih" box; the port
list; choosing COM7 and the device line; "Записать" and the whole upload to
the success text; "OK" ending the program. The simulator must end complete
(VERS, 508 blocks, PUSK) with exactly the image received. Then the task
bar's close (WM_CLOSE to the window of class "App") ends the program during
a transfer (COM8) and in the pause after the last answer (COM9, a device
that answers block 1 as the last): within 2 s, status 0, no fault. Writes a
GoogleTest-style XML report with one test case per step.
"""
import os
import re
import subprocess
import sys
import tempfile
import time
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wineports import build_shim, com_port_prefix, wine_tools  # noqa: E402

PORT = "COM7"
CLOSE_PORTS = {"transfer": "COM8", "pause": "COM9"}
FORM = "Quilmatronx bootloader"
INFO_BOX = "Zelkora Info"
WRITE = "Записать"
CHOOSE_PORT = "Выберите порт с подключённым устройством."
DEVICE_LINE = "Устройство: QX1   Текущая версия ПО: 1.00"
SUCCESS = ["ПО успешно обновлено!", "Сбросте настройки по умолчанию!"]
ERRORS = ["Ошибка при передаче данных!", "На этом порту устройств не найдено."]
CLOSE_LIMIT = 2.0  # seconds from the close to the end of the process
UPLOAD_LIMIT = int(os.environ.get("QUIL_WINE_UPLOAD_LIMIT", "1200"))


class StepFailed(Exception):
    pass


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)


class Controls:
    """One snapshot of a window and its children as the driver prints them."""

    def __init__(self, text):
        self.windows = []
        self.items = []
        for line in text.replace("\r", "").splitlines():
            parts = line.split("|", 3)
            if parts[0] == "item" and len(parts) == 2:
                self.items.append(unescape(parts[1]))
            elif len(parts) == 4:
                self.windows.append({"class": parts[0].lower(), "visible": parts[1] == "1",
                                     "enabled": parts[2] == "1", "text": unescape(parts[3])})
        self.raw = text

    def find(self, text, kind=None):
        for window in self.windows:
            if window["text"] == text and (kind is None or window["class"] == kind):
                return window
        return None

    def shows(self, line):
        """A visible window has this line of text (blanks around it aside)."""
        return any(window["visible"] and line in (part.strip() for part in window["text"].split("\n"))
                   for window in self.windows)


class Session:
    def __init__(self, loader, driver, env):
        self.loader, self.driver, self.env = loader, driver, env

    def drive(self, *args, timeout=60):
        # Through files: a Wine helper process (the desktop) that the driver
        # happens to start inherits its output and would hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.loader, self.driver] + list(args), env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")

    def controls(self, title, wait=0):
        code, out, err = self.drive("texts", title, str(wait), timeout=wait + 60)
        return Controls(out) if code == 0 else None

    def act(self, *args):
        code, _, err = self.drive(*args)
        if code != 0:
            raise StepFailed(f"driver {' '.join(args)}: exit {code}: {err.strip()}")

    def wait_for(self, title, condition, seconds, what):
        deadline = time.monotonic() + seconds
        last = None
        while time.monotonic() < deadline:
            last = self.controls(title)
            if last is not None and condition(last):
                return last
            time.sleep(1)
        raise StepFailed(f"{what} not seen within {seconds} s; last view:\n"
                         + (last.raw if last else "(no window)"))


def start(loader, exe, env, log, *args):
    return subprocess.Popen([loader, exe] + list(args), env=env, stdin=subprocess.DEVNULL,
                            stdout=log, stderr=subprocess.STDOUT)


def ended(process, seconds):
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None


def write_report(path, results):
    failures = sum(1 for _, message in results if message)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<testsuites tests="{len(results)}" failures="{failures}" disabled="0" errors="0" '
             'name="AllTests">',
             f'  <testsuite name="WindowsProgramUnderWine" tests="{len(results)}" '
             f'failures="{failures}" disabled="0" errors="0">']
    for name, message in results:
        lines.append(f'    <testcase name="{name}" status="run" result="completed" '
                     'classname="WindowsProgramUnderWine">')
        if message:
            lines.append(f'      <failure message={quoteattr(message)}/>')
        lines.append('    </testcase>')
    lines += ['  </testsuite>', '</testsuites>']
    with open(path, "w", encoding="utf-8") as report:
        report.write("\n".join(lines) + "\n")


def main():
    program, driver, devsim, shim_source, image_path, work_dir, report_dir = sys.argv[1:8]
    work_dir = os.path.abspath(work_dir)
    os.makedirs(work_dir, exist_ok=True)
    loader, _ = wine_tools()
    shim = build_shim(shim_source, work_dir)
    with open(image_path, "rb") as f:
        image = f.read()
    received_path = os.path.join(work_dir, "wine-received.bin")
    if os.path.exists(received_path):
        os.remove(received_path)

    results = []
    simulator_log = tempfile.TemporaryFile()
    program_log = tempfile.TemporaryFile()
    def simulate(*options):
        process = subprocess.Popen([devsim, "--timeout", str(UPLOAD_LIMIT)] + list(options),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=simulator_log)
        return process, process.stdout.readline().decode().strip()

    simulator, tty_path = simulate("--received", received_path)
    closing = {"transfer": simulate(), "pause": simulate("--early-final", "1")}
    ports = {PORT: tty_path}
    ports.update({CLOSE_PORTS[when]: closing[when][1] for when in closing})
    form_process = None
    try:
        with com_port_prefix(work_dir, ports) as env:
            ui = Session(loader, driver, env)
            run_env = dict(env, LD_PRELOAD=shim)

            def step(name, body):
                # Each step needs the ones before it.
                if results and results[-1][1]:
                    results.append((name, "not reached"))
                    return
                try:
                    body()
                    results.append((name, ""))
                    print(f"[       OK ] {name}", flush=True)
                except Exception as failure:  # noqa: BLE001 - any fault fails the step, not the run
                    results.append((name, str(failure)))
                    print(f"[  FAILED  ] {name}: {failure}", flush=True)

            def info_switch():
                box_program = start(loader, program, run_env, program_log, "/ih")
                box = ui.controls(INFO_BOX, wait=60)
                if box is None or not box.shows("Сделано в Zelkora."):
                    box_program.kill()
                    raise StepFailed("no box with the maker's line:\n" + (box.raw if box else ""))
                if ui.controls(FORM) is not None:
                    raise StepFailed("the form was created as well")
                ui.act("click", INFO_BOX, "OK")
                if ended(box_program, 30) != 0:
                    box_program.kill()
                    raise StepFailed("the program did not end with status 0 after the box")

            def port_listed():
                nonlocal form_process
                form_process = start(loader, program, run_env, program_log)
                view = ui.controls(FORM, wait=60)
                if view is None:
                    raise StepFailed("the form did not appear")
                if PORT not in view.items:
                    raise StepFailed(f"{PORT} not in the port list {view.items}")
                if not view.shows(CHOOSE_PORT) or view.find(WRITE)["enabled"]:
                    raise StepFailed("not the choosing state:\n" + view.raw)

            def probe():
                ui.act("choose", FORM, PORT)
                ui.wait_for(FORM, lambda v: v.shows(DEVICE_LINE) and v.find(WRITE)["enabled"], 60,
                            "the device line with an enabled write button")

            def upload():
                began = time.monotonic()
                ui.act("click", FORM, WRITE)
                ui.wait_for(FORM, lambda v: all(v.shows(t) for t in SUCCESS)
                            or any(v.shows(t) for t in ERRORS), UPLOAD_LIMIT, "the end of the upload")
                view = ui.controls(FORM)
                if not all(view.shows(t) for t in SUCCESS):
                    raise StepFailed("the error display instead of success:\n" + view.raw)
                print(f"upload to the success text: {time.monotonic() - began:.1f} s", flush=True)

            def image_received():
                status = ended(simulator, 60)
                if status != 0:
                    raise StepFailed(f"the simulator ended with status {status}")
                with open(received_path, "rb") as f:
                    received = f.read()
                if received != image:
                    raise StepFailed(f"received {len(received)} bytes that differ from the image")

            def ok_ends_program():
                ui.act("click", FORM, "OK")
                if ended(form_process, 30) != 0:
                    raise StepFailed("the program did not end with status 0 after OK")

            def task_bar_close(when):
                with tempfile.TemporaryFile() as log:
                    process = start(loader, program, run_env, log)
                    ui.controls(FORM, wait=60)
                    ui.act("choose", FORM, CLOSE_PORTS[when])
                    ui.wait_for(FORM, lambda v: v.find(WRITE)["enabled"], 60, "the device line")
                    ui.act("click", FORM, WRITE)
                    if when == "pause":
                        if ended(closing[when][0], 60) is None:
                            raise StepFailed("the device did not get PUSK")
                    time.sleep(2)
                    ui.act("close", FORM, "App")
                    closed = time.monotonic()
                    status = ended(process, 30)
                    took = time.monotonic() - closed
                    log.seek(0)
                    output = log.read().decode(errors="replace")
                    if status is None:
                        process.kill()
                        process.wait()
                    print(f"task bar close {when}: ended after {took:.1f} s, status {status}",
                          flush=True)
                    if status != 0 or took > CLOSE_LIMIT or "fault" in output:
                        raise StepFailed(f"status {status} after {took:.1f} s:\n{output[-2000:]}")

            step("InfoSwitchShowsOnlyTheBox", info_switch)
            step("PortIsListedInTheChoosingState", port_listed)
            step("ChoosingThePortShowsTheDevice", probe)
            step("WholeUploadEndsInTheSuccessText", upload)
            step("SimulatorReceivedExactlyTheImage", image_received)
            step("OkEndsTheProgram", ok_ends_program)
            step("TaskBarCloseDuringTheTransferEndsTheProgram", lambda: task_bar_close("transfer"))
            step("TaskBarCloseInThePauseEndsTheProgram", lambda: task_bar_close("pause"))
            if form_process is not None and form_process.poll() is None:
                form_process.kill()
                form_process.wait()
    finally:
        for process in [simulator] + [process for process, _ in closing.values()]:
            if process.poll() is None:
                process.kill()
            process.wait()

    failed = any(message for _, message in results)
    if failed:
        for log, what in ((simulator_log, "simulator"), (program_log, "program")):
            log.seek(0)
            sys.stdout.write(f"--- {what} output (end) ---\n")
            sys.stdout.write(log.read().decode(errors="replace")[-4000:])
    write_report(os.path.join(report_dir, "program_wine_tests.xml"), results)
    print(f"{len(results) - sum(1 for _, m in results if m)} of {len(results)} steps passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
