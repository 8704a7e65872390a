#!/usr/bin/env python3
"""The Windows .zip as an operator gets it, and its programs under Wine
against simulators mapped as COM ports, worked through wineWindowDriver.exe;
each step is a test case of the XML report. Runs on a display.

Usage: wineProgram.py CPACK_CONFIG DRIVER_EXE DEVSIM SHIM_SOURCE IMAGE VERSION_LINE WORK_DIR
                      REPORT_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from packages import make_package  # noqa: E402
from processes import ended, first_line, stop  # noqa: E402
from stepReport import StepFailed, Steps  # noqa: E402
from wineports import build_shim, com_port_prefix, thread_stacks, wine_tools  # noqa: E402

PORT = "COM7"
CLOSE_PORTS = {"transfer": "COM8", "pause": "COM9"}
HELD_PORT = "COM12"
CONSOLE_PORT = "COM13"
STALL_PORT = "COM16"
# Stations whose session ends during an upload: the console closed, signed out.
STATION_END_PORTS = {"console-close": "COM14", "sign-out": "COM15"}
FORM = "Quilmatronx bootloader"
INFO_BOX = "Zelkora Info"
WRITE = "Записать"
CHOOSE_PORT = "Выберите порт с подключённым устройством."
DEVICE_LINE = "Устройство: QX1   Текущая версия ПО: 1.00"
SUCCESS = ["ПО успешно обновлено!", "Сбросте настройки по умолчанию!"]
ERRORS = ["Ошибка при передаче данных!", "На этом порту устройств не найдено."]
CLOSE_LIMIT = 2.0  # seconds from the close to the end of the process
# The upload and its pause take under 75 s: a program not done by then hung.
UPLOAD_LIMIT = int(os.environ.get("QUIL_WINE_UPLOAD_LIMIT", "300"))
DEVICE_IDLE_LIMIT = 900  # the devices wait for their turn: the close tests come last
PROGRAM = "quilmatronx-bootloader.exe"
FLASH = "quilmatronx-flash.exe"
README = "readme.txt"


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

    def find(self, text):
        return next((window for window in self.windows if window["text"] == text), None)

    def shows(self, line):
        """A visible window has this line of text (blanks around it aside)."""
        return any(window["visible"] and line in (part.strip() for part in window["text"].split("\n"))
                   for window in self.windows)


class Session:
    def __init__(self, loader, driver, env):
        self.loader, self.driver, self.env = loader, driver, env

    def drive(self, *args, timeout=60):
        # Through files: a Wine helper the driver starts would hold a pipe open.
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
                         + (last.raw if last else "(no window)") + "\n"
                         + thread_stacks(self.env, PROGRAM))


def start(loader, exe, env, log, *args):
    return subprocess.Popen([loader, exe] + list(args), env=env, stdin=subprocess.DEVNULL,
                            stdout=log, stderr=subprocess.STDOUT)


def logged(log):
    """Everything written to the temporary file log so far."""
    log.seek(0)
    return log.read().decode(errors="replace")


def final_output(process, log, env, exe):
    """The program's output; one still running gets its threads' stacks added and is killed."""
    output = logged(log)
    if process.poll() is None:
        output += "\n" + thread_stacks(env, exe)
        stop(process)
    return output


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    cpack_config, driver, devsim, shim_source, image_path, version_line, work_dir, report_dir = \
        sys.argv[1:9]
    work_dir = os.path.abspath(work_dir)
    os.makedirs(work_dir, exist_ok=True)
    loader, _ = wine_tools()
    shim = build_shim(shim_source, work_dir)
    with open(image_path, "rb") as f:
        image = f.read()
    received_path = os.path.join(work_dir, "wine-received.bin")
    if os.path.exists(received_path):
        os.remove(received_path)
    unpacked = os.path.join(work_dir, "unpacked")
    shutil.rmtree(unpacked, ignore_errors=True)
    found = {}

    steps = Steps("WindowsProgramUnderWine")

    def zip_made():
        package = make_package(cpack_config, os.path.join(work_dir, "cpack"), "zip")
        # One folder named like the archive, holding exactly what operators need.
        folder = os.path.basename(package)[:-len(".zip")]
        with zipfile.ZipFile(package) as archive:
            archive.extractall(unpacked)
            if sorted(archive.namelist()) != sorted(f"{folder}/{f}" for f in (PROGRAM, FLASH, README)):
                raise StepFailed(f"the zip holds {archive.namelist()}")
        with open(os.path.join(unpacked, folder, README), "rb") as f:
            text = f.read()
        if text.count(b"\n") != text.count(b"\r\n") or "РУССКИЙ".encode() not in text \
                or b"ENGLISH" not in text:
            raise StepFailed("the read-me lacks Windows line ends or one of its languages")
        found["folder"] = os.path.join(unpacked, folder)

    simulator_log = tempfile.TemporaryFile()
    program_log = tempfile.TemporaryFile()

    def simulate(*options):
        process = subprocess.Popen([devsim, "--timeout", str(DEVICE_IDLE_LIMIT)] + list(options),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=simulator_log)
        return process, first_line(process, 30, "the simulator")

    paced = ["--baud", "38462"]
    simulators = {port: simulate(*options) for port, options in {
        # Answers cut by a USB-serial adapter's latency timer.
        PORT: ["--received", received_path, "--adapter", "latency", "--adapter-seed", "11"],
        CLOSE_PORTS["transfer"]: [], CLOSE_PORTS["pause"]: ["--early-final", "1"],
        HELD_PORT: [], CONSOLE_PORT: paced,
        # The transmit stops after two blocks: block 3's write must not wait.
        STALL_PORT: ["--stall-after", str(4 + 2 * 256)],
        **{port: paced for port in STATION_END_PORTS.values()}}.items()}
    ports = {port: tty for port, (_, tty) in simulators.items()}
    form_process = None
    steps.run("ZipHoldsTheProgramsAndTheReadMe", zip_made)
    try:
        with com_port_prefix(work_dir, ports) as env:
            ui = Session(loader, driver, env)
            run_env = dict(env, LD_PRELOAD=shim)
            program = os.path.join(found.get("folder", ""), PROGRAM)

            def versions():
                numbers = (re.findall(r"\d+", version_line.split()[0]) + ["0"] * 4)[:4]
                for exe in (PROGRAM, FLASH):
                    path = os.path.join(found["folder"], exe)
                    code, out, err = ui.drive("version", windows_path(path))
                    fields = dict(line.split("|", 1) for line in out.replace("\r", "").splitlines())
                    wanted = {"Fixed": ".".join(numbers), "OriginalFilename": exe,
                              "ProductName": "Quilmatronx bootloader", "ProductVersion": version_line}
                    wrong = {k: fields.get(k) for k, v in wanted.items() if fields.get(k) != v}
                    if code != 0 or wrong or not fields.get("FileDescription"):
                        raise StepFailed(f"{exe}: exit {code} {err.strip()}; wrong {wrong} in {fields}")

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
                status = ended(simulators[PORT][0], 60)
                if status != 0:
                    raise StepFailed(f"the simulator ended with status {status}")
                with open(received_path, "rb") as f:
                    received = f.read()
                if received != image:
                    raise StepFailed(f"received {len(received)} bytes that differ from the image")

            def run_flash(*args, meanwhile=lambda process: None):
                """The command-line uploader's exit status and output (what meanwhile returns)."""
                with tempfile.TemporaryFile() as log:
                    process = start(loader, os.path.join(found["folder"], FLASH), run_env, log, *args)
                    result = meanwhile(process)
                    status = ended(process, 60)
                    return status, final_output(process, log, run_env, FLASH), result

            def held_report_replaced():
                folder = os.path.join(work_dir, "held")
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)
                report = os.path.join(folder, "report.json")
                with open(report, "w") as f:
                    f.write("{}\n")
                holder = subprocess.Popen([loader, driver, "hold", windows_path(report)], env=env,
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                try:
                    if first_line(holder, 60, "the driver holding the report") != "held":
                        raise StepFailed("the report could not be held open")
                    def let_go_once_written(process):
                        deadline = time.monotonic() + 60
                        while (os.listdir(folder) == ["report.json"] and process.poll() is None
                               and time.monotonic() < deadline):
                            time.sleep(0.01)
                        time.sleep(1)
                        holder.stdin.write(b"\n")
                        holder.stdin.flush()

                    status, output, _ = run_flash("--probe-only", "--report", windows_path(report),
                                                  HELD_PORT, meanwhile=let_go_once_written)
                finally:
                    holder.stdin.close()
                    stop(holder, grace=30)
                with open(report) as f:
                    text = f.read()
                if status != 0 or '"found"' not in text:
                    raise StepFailed(f"status {status}, report {text!r}:\n{output[-4000:]}")

            def session_end_keeps_the_record(how, *args):
                # Windows ends the process soon after: the record must be written by then.
                record = os.path.join(work_dir, f"session-end-{len(args)}-{how}.json")
                if os.path.exists(record):
                    os.remove(record)
                def end_session(process):
                    time.sleep(6)  # the probe, then a few paced blocks
                    return ui.drive(how, FLASH)

                _, output, (code, out, err) = run_flash(*args[:-1], windows_path(record), args[-1],
                                                        meanwhile=end_session)
                outcomes = []
                if os.path.exists(record):
                    with open(record) as f:
                        outcomes = [p["outcome"] for p in json.load(f)["ports"]] \
                            if args[0] == "--report" else [json.loads(t)["outcome"] for t in f]
                # Busy: a sign-out is answered with a no first.
                refused = how != "sign-out" or out.startswith("answered 0")
                if code != 0 or outcomes != ["interrupted"] or not refused:
                    raise StepFailed(f"driver {code} {out.strip()} {err.strip()}, "
                                     f"outcomes {outcomes}:\n{output[-4000:]}")

            def stalled_transmit_fails_in_time():
                # The Windows port's own write limit cancels a block's write at 3 s.
                report = os.path.join(work_dir, "stalled.json")
                status, output, _ = run_flash("--report", windows_path(report), STALL_PORT)
                with open(report) as f:
                    port = json.load(f)["ports"][0]
                print(f"stalled transmit: {port.get('failure')} after {port.get('seconds')} s",
                      flush=True)
                if status != 1 or port.get("failure") != "write-failed" or \
                        port.get("seconds", 99) > 4.5:
                    raise StepFailed(f"status {status}, report {port}:\n{output[-4000:]}")

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
                        if ended(simulators[CLOSE_PORTS[when]][0], 60) is None:
                            raise StepFailed("the device did not get PUSK")
                    time.sleep(2)
                    ui.act("close", FORM, "App")
                    closed = time.monotonic()
                    status = ended(process, 30)
                    took = time.monotonic() - closed
                    if status is None and "fault" in logged(log):
                        # Wine's debugger prints a backtrace, then ends it.
                        ended(process, 120)
                    output = final_output(process, log, run_env, PROGRAM)
                    print(f"task bar close {when}: ended after {took:.1f} s, status {status}",
                          flush=True)
                    if status != 0 or took > CLOSE_LIMIT or "fault" in output:
                        raise StepFailed(f"status {status} after {took:.1f} s:\n{output[:10000]}")

            steps.run("VersionResourcesNameEachProgram", versions)
            steps.run("InfoSwitchShowsOnlyTheBox", info_switch)
            steps.run("PortIsListedInTheChoosingState", port_listed)
            steps.run("ChoosingThePortShowsTheDevice", probe)
            steps.run("WholeUploadEndsInTheSuccessText", upload)
            steps.run("SimulatorReceivedExactlyTheImage", image_received)
            steps.run("OkEndsTheProgram", ok_ends_program)
            steps.run("ReportHeldOpenIsReplacedOnceLetGo", held_report_replaced)
            steps.run("ConsoleCloseWaitsForTheReport",
                      lambda: session_end_keeps_the_record("console-close", "--report",
                                                           CONSOLE_PORT))
            for how, port in STATION_END_PORTS.items():
                name = "".join(word.title() for word in how.split("-"))
                steps.run(f"Station{name}RecordsTheUnitAsInterrupted",
                          lambda how=how, port=port: session_end_keeps_the_record(
                              how, "--station", "--log", port))
            steps.run("StalledTransmitFailsWithinTheWatchdogsTime", stalled_transmit_fails_in_time)
            steps.run("TaskBarCloseDuringTheTransferEndsTheProgram",
                      lambda: task_bar_close("transfer"))
            steps.run("TaskBarCloseInThePauseEndsTheProgram", lambda: task_bar_close("pause"))
            if form_process is not None:
                stop(form_process)
    finally:
        for process, _ in simulators.values():
            stop(process)

    if steps.failed:
        for log, what in ((simulator_log, "simulator"), (program_log, "program")):
            sys.stdout.write(f"--- {what} output (end) ---\n")
            sys.stdout.write(logged(log)[-4000:])
    steps.write(os.path.join(report_dir, "program_wine_tests.xml"))
    return 1 if steps.failed else 0


if __name__ == "__main__":
    sys.exit(main())
