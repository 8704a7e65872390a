"""The shipped packages made by CPack, each checked against its SHA-256 file."""
import glob
import hashlib
import os
import subprocess

from stepReport import StepFailed


def make_package(cpack_config, out_dir, extension):
    """Runs CPack into out_dir; answers the one package file it made."""
    made = subprocess.run(["cpack", "--config", cpack_config, "-B", out_dir],
                          capture_output=True, text=True, timeout=300)
    packages = glob.glob(os.path.join(out_dir, "*." + extension))
    if made.returncode != 0 or len(packages) != 1:
        raise StepFailed(f"cpack: exit {made.returncode}, made {packages}\n{made.stdout}{made.stderr}")
    with open(packages[0] + ".sha256", encoding="ascii") as f, open(packages[0], "rb") as g:
        listed, actual = f.read().split(), hashlib.sha256(g.read()).hexdigest()
    if listed != [actual, os.path.basename(packages[0])]:
        raise StepFailed(f"{packages[0]}.sha256 lists {listed}; the file's sum is {actual}")
    return packages[0]
