#!/usr/bin/env python3
"""The Windows programs as operators' PCs start them: on a Russian Windows the
files go to a folder named outside code page 1251, in UTF-8; an old Windows
gets one line; both .exe files carry their manifest.
Usage: winePc.py WINE_RUN WINDRES WORK_DIR FLASH_EXE BOOTLOADER_EXE"""
import os, shutil, subprocess, sys, tempfile, time

wine_run, windres, work_dir, flash, bootloader = sys.argv[1:6]
NOT_FOUND = "Файл не найден"  # the system's words for a port that is not there
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def windows(path):
    return "Z:" + path.replace("/", "\\")


def run(*arguments):
    result = subprocess.run([wine_run, flash, *arguments], env=env, capture_output=True,
                            timeout=300)
    output = result.stdout + result.stderr
    try:
        return output.decode("utf-8")
    except UnicodeDecodeError:
        failures.append(f"{arguments}: output is not UTF-8: {output!r}")
        return ""


folder = os.path.join(work_dir, "wine-pc", "Отчёты Сәуле")  # "ә" is not in code page 1251
shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
os.makedirs(folder)
report, trace, log, missing = (os.path.join(folder, name) for name in
                               ["отчёт.json", "трасса.txt", "журнал.jsonl", "нет\\отчёт.json"])
with tempfile.TemporaryDirectory() as prefix:
    env = dict(os.environ, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8", QUIL_WINEPREFIX=prefix,
               WINEPREFIX=prefix)
    try:
        output = run("--report", windows(report), "--trace", windows(trace), "COM99")
        check(os.path.exists(report) and f'"detail": "{NOT_FOUND}"' in open(report).read(),
              f"no report with the system's Russian words in {folder}:\n{output}")
        check(os.path.exists(trace), f"no trace in {folder}")
        output = run("--report", windows(missing), "COM99")
        check(f"cannot write the report {windows(missing)}: " in output, output)

        # The station opens its log at the start and runs until it is stopped.
        station = subprocess.Popen([wine_run, flash, "--station", "--log", windows(log), "COM99"],
                                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 120
        while not os.path.exists(log) and station.poll() is None and time.monotonic() < deadline:
            time.sleep(0.2)
        check(os.path.exists(log), f"the station made no log in {folder}")
        subprocess.run(["wineserver", "-k"], env=env, timeout=60)
        station.wait(timeout=60)

        for version, expected in [("winxp", "This program needs Windows 7 with Service Pack 1 or "
                                   "later.\r\n"), ("win7", "quilmatronx-flash ")]:
            subprocess.run([wine_run, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d",
                            version, "/f"], env=env, capture_output=True, timeout=120)
            output = run("--version")
            check(output.startswith(expected) and output.count("\n") == 1, f"{version}: {output!r}")
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=60)

for exe in [flash, bootloader]:
    resources = subprocess.run([windres, "-J", "coff", "-i", exe, "-O", "rc"], capture_output=True,
                               text=True, errors="replace", timeout=60).stdout
    manifest = resources[resources.find("1 24 /* RT_MANIFEST */"):]
    check(all(part in manifest for part in ['level=""asInvoker""', "<dpiAware", "</assembly>",
                                            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])
          and "Common-Controls" not in manifest, f"{os.path.basename(exe)}: not its manifest")

print("\n".join(failures) or "texts, paths, the version check and the manifests as expected")
sys.exit(1 if failures else 0)
