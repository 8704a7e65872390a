"""Both programs with a winmm.dll and a comctl32.dll planted beside them, as
in a Downloads folder, and Wine told to prefer DLLs found there as Windows
does for DLLs that are not known system DLLs: neither planted DLL is loaded.

Arguments: wine-run, the planted DLL, then each program and the arguments
that take it past its start (the window program runs until killed)."""
import os
import shutil
import subprocess
import sys
import tempfile

PLANTED = ["winmm.dll", "comctl32.dll"]


def main():
    wine_run, planted, runs = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = []
    with tempfile.TemporaryDirectory() as prefix, tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, QUIL_WINEPREFIX=prefix, WINEDLLOVERRIDES="winmm,comctl32=n,b;mscoree,mshtml=")
        for run in runs:
            program, *arguments = run.split(" ")
            unpacked = os.path.join(folder, os.path.basename(program))
            shutil.copy(program, unpacked)
            for name in PLANTED:
                shutil.copy(planted, os.path.join(folder, name))
            try:
                # The first run also makes the prefix.
                subprocess.run([wine_run, unpacked, *arguments], env=env,
                               timeout=15 if run != runs[0] else 300,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass  # the window program waits for its operator
            # Named as the program asked for the DLL, in any letter case.
            marks = [name for name in os.listdir(folder) if name.endswith(".loaded")]
            if marks:
                failures.append(f"{os.path.basename(program)} loaded {', '.join(marks)}")
            for name in marks:
                os.remove(os.path.join(folder, name))
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), check=False)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
