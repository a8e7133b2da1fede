#!/usr/bin/env python3
"""The README's mexrun claims, checked against the built mexrun.

    readme_test.py README.md MEXRUN PLUGIN_DIR

1. The quick start: the mexrun call of its first command, run as written, must
   print exactly the block the README shows after "The first command prints".
2. Every example shown as a shell session (`$ build/bin/mexrun ...` followed by
   its output) must print exactly that output.
3. The matrix_pfq table: every call in it must run, and its value must agree
   with the f column to the digits the column prints.

Values change on purpose sometimes (a better err bound, say): then the README
must change with them, and this test says where.
"""
import math
import re
import shlex
import subprocess
import sys

README, MEXRUN, PLUGIN_DIR = sys.argv[1:4]
failures = []


def run(calls):
    return subprocess.run([MEXRUN, "--path", PLUGIN_DIR] + calls, capture_output=True, text=True,
                          timeout=600)


def section(text, title):
    start = text.index("\n## " + title + "\n")
    end = text.find("\n## ", start + 1)
    return text[start:end if end >= 0 else len(text)]


def indented_block_after(text, marker):
    lines = text[text.index(marker):].splitlines()[1:]
    while lines and not lines[0].strip():
        lines.pop(0)
    block = []
    for line in lines:
        if not line.startswith("    "):
            break
        block.append(line[4:])
    return "\n".join(block) + "\n"


def check_quick_start(text):
    quick = section(text, "Quick start")
    command = next(line for line in quick.splitlines() if "bin/mexrun " in line)
    calls = shlex.split(command.split("bin/mexrun ", 1)[1])
    expected = indented_block_after(quick, "The first command prints")
    result = run(calls)
    if result.returncode != 0 or result.stdout != expected:
        failures.append("quick start: mexrun printed (exit %d)\n%s%s\nwhere the README shows\n%s"
                        % (result.returncode, result.stdout, result.stderr, expected))


def check_sessions(text):
    lines = text.splitlines()
    for k, line in enumerate(lines):
        if not line.startswith("    $ ") or "bin/mexrun " not in line:
            continue
        calls = shlex.split(line.split("bin/mexrun ", 1)[1])
        expected = []
        for output in lines[k + 1:]:
            if not output.startswith("    ") or output.startswith("    $ "):
                break
            expected.append(output[4:] + "\n")
        result = run(calls)
        if result.returncode != 0 or result.stdout != "".join(expected):
            failures.append("%s: mexrun printed (exit %d)\n%s%s\nwhere the README shows\n%s"
                            % (line.strip(), result.returncode, result.stdout, result.stderr,
                               "".join(expected)))


# One unit in the last printed digit of a table value such as 2.776184920115765e-4.
def last_digit_unit(printed):
    mantissa, _, exponent = printed.lower().partition("e")
    decimals = len(mantissa.split(".")[1]) if "." in mantissa else 0
    return 10.0 ** (int(exponent or 0) - decimals)


def check_pfq_table(text):
    table = section(text, "matrix_pfq: the value to a requested accuracy")
    rows = re.findall(r"^\| `(matrix_pfq\(.*?\))`[^|]*\| ([^ |]+) \|", table, re.MULTILINE)
    if not rows:
        failures.append("matrix_pfq table: no calls found")
    for call, printed in rows:
        result = run(["f = " + call])
        match = re.fullmatch(r"f = (\S+)\n", result.stdout)
        if result.returncode != 0 or not match:
            failures.append("%s: exit %d, printed %r %r" % (call, result.returncode, result.stdout,
                                                            result.stderr))
            continue
        value, claimed = float(match.group(1)), float(printed)
        if not abs(value - claimed) <= last_digit_unit(printed):
            failures.append("%s: mexrun gives %s, the table %s" % (call, match.group(1), printed))


text = open(README, encoding="utf-8").read()
check_quick_start(text)
check_sessions(text)
check_pfq_table(text)
for failure in failures:
    print("README claim not met:", failure)
sys.exit(1 if failures else 0)
