"""Each program run with a winmm.dll and a comctl32.dll planted beside it and
Wine told to prefer DLLs found there: no planted DLL may load.
Arguments: wine-run, the planted DLL, then each program with its arguments."""
import os, shutil, subprocess, sys, tempfile

wine_run, planted, runs = sys.argv[1], sys.argv[2], sys.argv[3:]
failures = []
with tempfile.TemporaryDirectory() as prefix, tempfile.TemporaryDirectory() as folder:
    env = dict(os.environ, QUIL_WINEPREFIX=prefix, WINEPREFIX=prefix,
               WINEDLLOVERRIDES="winmm,comctl32=n,b;mscoree,mshtml=")
    for run in runs:
        program, *arguments = run.split(" ")
        unpacked = shutil.copy(program, folder)
        for name in ["winmm.dll", "comctl32.dll"]:
            shutil.copy(planted, os.path.join(folder, name))
        try:
            subprocess.run([wine_run, unpacked, *arguments], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300 if run == runs[0] else 15)
        except subprocess.TimeoutExpired:
            pass  # the window program waits for its operator
        for mark in [name for name in os.listdir(folder) if name.endswith(".loaded")]:
            failures.append(f"{os.path.basename(program)} loaded {mark[:-7]}")
            os.remove(os.path.join(folder, mark))
    subprocess.run(["wineserver", "-k"], env=env, check=False, timeout=60)
print("\n".join(failures))
sys.exit(1 if failures else 0)
