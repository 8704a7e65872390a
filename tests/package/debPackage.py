#!/usr/bin/env python3
"""The Debian package as an operator gets it, unpacked; the programs run there.
Usage: debPackage.py CPACK_CONFIG IMAGE VERSION_LINE WORK_DIR REPORT_DIR"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from packages import make_package  # noqa: E402
from processes import first_line, stop  # noqa: E402
from stepReport import StepFailed, Steps  # noqa: E402


def run(*command, expect=0, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)
    if result.returncode != expect:
        raise StepFailed(f"{' '.join(command)}: exit {result.returncode}\n{result.stdout}{result.stderr}")
    return result


def main():
    cpack_config, image_path, version_line, work_dir, report_dir = sys.argv[1:6]
    work_dir = os.path.abspath(work_dir)
    shutil.rmtree(work_dir, ignore_errors=True)
    root = os.path.join(work_dir, "root")
    share = os.path.join(root, "usr", "share")
    program = {name: os.path.join(root, "usr", "bin", "quilmatronx-" + name)
               for name in ("bootloader", "flash", "devsim")}
    steps = Steps("DebianPackage")
    deb = []

    def unpacked():
        deb.append(make_package(cpack_config, os.path.join(work_dir, "cpack"), "deb"))
        run("dpkg-deb", "-x", deb[0], root)
        run("desktop-file-validate", os.path.join(share, "applications", "quilmatronx-bootloader.desktop"))
        icons = os.path.join(share, "icons", "hicolor", "{0}x{0}", "apps", "quilmatronx-bootloader.png")
        missing = [n for n in (16, 22, 24, 32, 48, 64, 128, 256) if not os.path.isfile(icons.format(n))]
        if missing:
            raise StepFailed(f"no icons of the sizes {missing}")

    def versions():
        for name in ("flash", "devsim"):
            out = run(program[name], "--version").stdout
            if out != f"quilmatronx-{name} {version_line}\n":
                raise StepFailed(f"quilmatronx-{name} --version printed {out!r}")

    def upload():
        received = os.path.join(work_dir, "received.bin")
        simulator = subprocess.Popen([program["devsim"], "--quiet", "--received", received],
                                     stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        try:
            run(program["flash"], first_line(simulator, 30, "the simulator"))
            if simulator.wait(timeout=60) != 0:
                raise StepFailed(f"the simulator ended with status {simulator.returncode}")
        finally:
            stop(simulator)
        with open(received, "rb") as f, open(image_path, "rb") as g:
            if f.read() != g.read():
                raise StepFailed("the simulator received something else than the image")

    def no_display():
        plain = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "QUIL_HEADLESS")}
        # No display at all, and one that nobody serves.
        for env in (plain, dict(plain, DISPLAY=":65000")):
            said = run(program["bootloader"], expect=69, env=env, stdin=subprocess.DEVNULL).stderr
            if len(said.splitlines()) != 1 or "quilmatronx-flash PORT" not in said:
                raise StepFailed(f"DISPLAY={env.get('DISPLAY')}: said {said!r}")

    def lintian_clean():
        print(run("lintian", "--fail-on", "error", deb[0]).stdout, end="")

    steps.run("PackageUnpacksWithValidDesktopEntryAndIcons", unpacked)
    steps.run("UnpackedProgramsTellTheirVersion", versions)
    steps.run("UnpackedFlashUploadsToUnpackedSimulator", upload)
    steps.run("WindowProgramWithoutDisplaySaysSo", no_display)
    steps.run("LintianFindsNoErrors", lintian_clean)
    steps.write(os.path.join(report_dir, "package_deb_tests.xml"))
    return 1 if steps.failed else 0


if __name__ == "__main__":
    sys.exit(main())
