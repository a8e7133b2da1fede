"""Calls and outputs in mexrun's call language, read into Python values.

A call such as `[v, d] = brint([4 4], 2, [], [], 2, [0.5 Inf -1])` becomes
the function name, the output names and the arguments as a MATLAB host
holds them: a number is a float, `[...]` a 2-d array of its rows and
columns (`[]` is 0-by-0), `'text'` a str, true/false a bool. Decimal
numbers are read with Python's correctly rounded float(), as mexrun reads
them with strtod, so both sides get the same doubles.
"""
import re

import numpy as np

_NUMBER = r"[+-]?(?:Inf|NaN|(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)"
_COMPLEX = re.compile(rf"^({_NUMBER})([+-](?:Inf|NaN|(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))i$")
_FILLED = re.compile(r"^(zeros|ones)\((\d+),\s*(\d+)\)$")
_CALL = re.compile(r"^(?:\[?\s*([\w\s,~]*?)\s*\]?\s*=\s*)?(\w+)\((.*)\)$")


def number(text):
    text = text.strip()
    complex_parts = _COMPLEX.match(text)
    if complex_parts:
        return complex(number(complex_parts.group(1)), number(complex_parts.group(2)))
    if text.endswith("i"):
        return complex(0, number(text[:-1]))
    return float(text.replace("Inf", "inf").replace("NaN", "nan"))


def split_top_level(text, separator):
    """Pieces of text between separators outside brackets and quotes."""
    pieces, depth, quoted, start = [], 0, False, 0
    for index, char in enumerate(text):
        if char == "'":
            quoted = not quoted
        elif not quoted and char in "[(":
            depth += 1
        elif not quoted and char in "])":
            depth -= 1
        elif not quoted and depth == 0 and char == separator:
            pieces.append(text[start:index])
            start = index + 1
    pieces.append(text[start:])
    return pieces


def value(text):
    """A literal of the call language as a Python value."""
    text = text.strip()
    if text.startswith("'"):
        return text[1:-1].replace("''", "'")
    if text in ("true", "false"):
        return text == "true"
    filled = _FILLED.match(text)
    if filled:
        maker = np.zeros if filled.group(1) == "zeros" else np.ones
        return maker((int(filled.group(2)), int(filled.group(3))))
    if text.startswith("["):
        rows = [row.replace(",", " ").split() for row in text[1:-1].split(";")]
        rows = [[number(entry) for entry in row] for row in rows if row]
        if not rows:
            return np.zeros((0, 0))
        return np.array(rows)
    return number(text)


def parse_call(text):
    """(outputs, function, arguments) of a call."""
    match = _CALL.match(text.strip())
    if not match:
        raise ValueError(f"not a call: {text}")
    outputs = [name.strip() for name in (match.group(1) or "").split(",") if name.strip()]
    arguments = [value(piece) for piece in split_top_level(match.group(3), ",") if piece.strip()]
    return outputs, match.group(2), arguments


def parse_outputs(stdout):
    """{name: value} from mexrun's `name = value` lines (struct fields as
    `info.degree`)."""
    outputs = {}
    for line in stdout.splitlines():
        if " = " in line:
            name, text = line.split(" = ", 1)
            outputs[name.strip()] = value(text)
    return outputs


def literal(x):
    """A Python number or array as a literal of the call language; numbers
    print with repr, the shortest decimal that reads back to the same
    double."""
    if isinstance(x, str):
        return "'" + x + "'"
    array = np.asarray(x, dtype=float)
    if array.ndim == 0:
        return _number_text(float(array))
    if array.ndim == 1:
        array = array.reshape(1, -1)
    if array.size == 0:
        return f"zeros({array.shape[0]},{array.shape[1]})"
    return "[" + "; ".join(" ".join(_number_text(v) for v in row) for row in array) + "]"


def _number_text(v):
    if np.isnan(v):
        return "NaN"
    if np.isinf(v):
        return "Inf" if v > 0 else "-Inf"
    return repr(float(v))
