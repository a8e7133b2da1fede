#!/usr/bin/env python3
"""Long calls give way to an interrupt, and the host carries on.

  long_calls.py mexrun MEXDIR [OCTAVE_CLI OCTAVE_MEXDIR]

mexrun: SIGINT (and SIGTERM) during a long sorn, brint and matrix_pfq call
ends the call with "error: NAME: interrupted" and exit status 130, soon
after the signal. Octave: under a pseudo-terminal, Ctrl-C during a long
sorn and a long brint call returns to the prompt with the workspace intact,
and the next command answers.
"""
import os
import pty
import select
import signal
import subprocess
import sys
import time

# Calls that run for many seconds, far beyond the moment of the signal.
LONG_CALLS = {
    "sorn": "sorn(60, 2, [], [], [1 2 3 4 5 6 7 8])",
    "brint": "brint(200, 2, 5.5, 15.5, 10, 15)",
    "matrix_pfq": "matrix_pfq(1, 3, [2 4 6 8 10 12])",
}
ANSWER_SECONDS = 2.0   # from the signal to the end of the call
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what, flush=True)
    if not condition:
        failures.append(what)


def interrupt_mexrun(mexrun, mexdir, name, call, sig):
    process = subprocess.Popen([mexrun, "--path", mexdir, "v = " + call],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(1.0)
    check(process.poll() is None, f"{name} is still running after 1 s")
    sent = time.monotonic()
    process.send_signal(sig)
    try:
        out, err = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
    elapsed = time.monotonic() - sent
    label = f"mexrun {name} after {signal.Signals(sig).name}"
    check(process.returncode == 130, f"{label}: exit status 130 (got {process.returncode})")
    check(f"error: {name}: interrupted" in err, f"{label}: prints the interruption ({err.strip()!r})")
    check(elapsed < ANSWER_SECONDS, f"{label}: ends {elapsed:.2f} s after the signal")


class OctaveSession:
    """octave-cli under a pseudo-terminal, as a user at the keyboard has it."""

    def __init__(self, octave, mexdir):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execvp(octave, [octave, "--norc", "--no-history", "--quiet", "--interactive"])
        self.send(f"addpath('{mexdir}'); kept = 17;")
        self.expect_answer("kept + 25", "42", 30)

    def send(self, line):
        os.write(self.fd, (line + "\n").encode())

    def read_until(self, text, seconds):
        seen, deadline = "", time.monotonic() + seconds
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    seen += os.read(self.fd, 4096).decode(errors="replace")
                except OSError:
                    break
                if text in seen:
                    return True
        return False

    def expect_answer(self, expression, answer, seconds):
        marker = f"answer={answer}"
        self.send(f"printf('answer=%d\\n', {expression})")
        return self.read_until(marker, seconds)

    def close(self):
        self.send("exit")
        try:
            os.waitpid(self.pid, 0)
        except ChildProcessError:
            pass


def interrupt_octave(octave, mexdir):
    session = OctaveSession(octave, mexdir)
    for name in ("sorn", "brint"):
        session.send("v = " + LONG_CALLS[name] + ";")
        time.sleep(1.5)
        sent = time.monotonic()
        os.write(session.fd, b"\x03")                       # Ctrl-C
        answered = session.expect_answer("kept + 25", "42", 10)
        check(answered, f"octave {name}: Ctrl-C gives back the prompt, the workspace intact "
                        f"({time.monotonic() - sent:.2f} s)")
    session.close()


def main(argv):
    mexrun, mexdir = argv[1], argv[2]
    for name, call in LONG_CALLS.items():
        interrupt_mexrun(mexrun, mexdir, name, call, signal.SIGINT)
    interrupt_mexrun(mexrun, mexdir, "sorn", LONG_CALLS["sorn"], signal.SIGTERM)
    if len(argv) > 4:
        interrupt_octave(argv[3], argv[4])
    print(f"interrupt checks: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
