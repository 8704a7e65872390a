#!/usr/bin/env python3
"""The Windows programs as operators' PCs start them:
- on a Russian Windows (Wine with a Russian locale: code page 1251) with
  files in a folder whose name has a letter outside that code page: the
  report, the trace and the station's log are written there, and what the
  command-line uploader says is whole UTF-8, the system's own words
  included;
- on a Windows older than the lowest supported: one clear line, no start;
- each .exe carries its application manifest.

Usage: winePc.py WINE_RUN WINDRES WORK_DIR FLASH_EXE BOOTLOADER_EXE
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

wine_run, windres, work_dir, flash, bootloader = sys.argv[1:6]
FOLDER = "Отчёты Сәуле"  # "ә" is not in code page 1251
NOT_FOUND = "Файл не найден"  # the system's text for a port that is not there
OLD_WINDOWS = "This program needs Windows 7 with Service Pack 1 or later."
failures = []


def windows(path):
    return "Z:" + path.replace("/", "\\")


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def run(env, *arguments, seconds=120):
    result = subprocess.run([wine_run, flash, *arguments], env=env, capture_output=True,
                            timeout=seconds)
    try:
        return result.returncode, result.stdout.decode("utf-8") + result.stderr.decode("utf-8")
    except UnicodeDecodeError:
        failures.append(f"{arguments}: output is not UTF-8: {result.stdout + result.stderr!r}")
        return result.returncode, ""


folder = os.path.join(work_dir, "wine-texts", FOLDER)
shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
os.makedirs(folder)
report = os.path.join(folder, "отчёт.json")
trace = os.path.join(folder, "трасса.txt")
log = os.path.join(folder, "журнал.jsonl")
with tempfile.TemporaryDirectory() as prefix:
    env = dict(os.environ, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8", QUIL_WINEPREFIX=prefix)
    env.pop("LANGUAGE", None)
    try:
        code, output = run(env, "--report", windows(report), "--trace", windows(trace), "COM99",
                           seconds=300)
        check(NOT_FOUND in output, f"the system's Russian text is missing (no Russian locale?):\n"
              f"{output}")
        if check(os.path.exists(report), f"no report in {folder} (exit {code}):\n{output}"):
            with open(report, encoding="utf-8") as f:
                check(f'"detail": "{NOT_FOUND}"' in f.read(), "the report lacks the system's text")
        check(os.path.exists(trace), f"no trace in {folder}:\n{output}")

        missing = os.path.join(folder, "нет такой папки", "отчёт.json")
        code, output = run(env, "--report", windows(missing), "COM99")
        check(f"cannot write the report {windows(missing)}: " in output,
              f"the failed report's line does not name its path:\n{output}")

        # The station runs until it is stopped: its log is opened at the start.
        station = subprocess.Popen([wine_run, flash, "--station", "--log", windows(log), "COM99"],
                                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 120
        while not os.path.exists(log) and station.poll() is None and time.monotonic() < deadline:
            time.sleep(0.2)
        check(os.path.exists(log), f"the station made no log in {folder}")
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), check=False,
                       timeout=60)
        station.wait(timeout=60)

        # Windows XP for the programs, then Windows 7 SP1, the lowest supported.
        for version, expected in [("winxp", OLD_WINDOWS), ("win7", "quilmatronx-flash ")]:
            subprocess.run([wine_run, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d",
                            version, "/f"], env=env, capture_output=True, timeout=120)
            code, output = run(env, "--version")
            check(output.startswith(expected) and output.count("\n") == 1,
                  f"{version}: exit {code}, said {output!r}")
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), check=False,
                       timeout=60)

for exe in [flash, bootloader]:
    resources = subprocess.run([windres, "-J", "coff", "-i", exe, "-O", "rc"], capture_output=True,
                               text=True, errors="replace", timeout=60).stdout
    manifest = resources[resources.find("1 24 /* RT_MANIFEST */"):]
    for part in ['level=""asInvoker""', "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                 "<dpiAware", "</assembly>"]:
        check(part in manifest, f"{os.path.basename(exe)}: no {part} in its manifest")
    check("Common-Controls" not in manifest, f"{os.path.basename(exe)} asks for comctl32 6")

print("\n".join(failures) or "texts, paths, the version check and the manifests as expected")
sys.exit(1 if failures else 0)
