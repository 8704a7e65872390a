"""Bounded waits on the tests' child processes: a fault fails, never hangs."""
import select
import subprocess


def first_line(process, seconds, what):
    """The first line process prints in one write; fails when none comes in time."""
    ready, _, _ = select.select([process.stdout], [], [], seconds)
    line = process.stdout.readline() if ready else ""
    if not line:
        raise RuntimeError(f"{what} printed no line within {seconds} s")
    return line.decode().strip() if isinstance(line, bytes) else line.strip()


def ended(process, seconds):
    """The exit status; None when process is still running after seconds."""
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None


def stop(process, grace=0):
    """Gives process grace seconds to end, then kills it and waits a while."""
    if ended(process, grace) is None:
        process.kill()
        if ended(process, 30) is None:
            raise RuntimeError(f"{process.args[0]} did not end within 30 s of SIGKILL")
