#!/usr/bin/env python3
"""Reads a JSON or CSV report with Python's own parsers and prints what they
found, one value a line, for the C++ test to compare bit for bit.

  report_read.py json FILE   ->  PATH<TAB>KIND<TAB>TEXT
      PATH is the keys and indices joined by '/', KIND one of num, str,
      null, true, false; TEXT the number exactly as written, or the string.
      Strict JSON: bare NaN or Infinity is an error; the file must be UTF-8.
  report_read.py csv FILE    ->  ROW<TAB>COLUMN<TAB>TEXT
      ROW 0 is the header; every row must have the header's length.

Exit status 1 with a message when the file does not parse.
"""
import csv
import io
import json
import sys


class Number:
    def __init__(self, text):
        self.text = text


def refuse_constant(name):
    raise ValueError("not JSON: " + name)


def walk(path, value, out):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(path + [key], item, out)
    elif isinstance(value, list):
        for index, item in enumerate(value):
            walk(path + [str(index)], item, out)
    elif isinstance(value, Number):
        out.append((path, "num", value.text))
    elif value is None:
        out.append((path, "null", ""))
    elif value is True:
        out.append((path, "true", ""))
    elif value is False:
        out.append((path, "false", ""))
    else:
        out.append((path, "str", value))


def clean(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def main():
    kind, name = sys.argv[1], sys.argv[2]
    with open(name, "rb") as f:
        data = f.read().decode("utf-8")
    out = []
    try:
        if kind == "json":
            document = json.loads(data, parse_float=Number, parse_int=Number,
                                  parse_constant=refuse_constant)
            walk([], document, out)
            for path, what, text in out:
                print("/".join(path) + "\t" + what + "\t" + clean(text))
        else:
            rows = list(csv.reader(io.StringIO(data, newline=""), strict=True))
            if not data.endswith("\r\n"):
                raise ValueError("the last row does not end with CR LF")
            for r, row in enumerate(rows):
                if len(row) != len(rows[0]):
                    raise ValueError("row %d has %d fields, the header %d" % (r, len(row), len(rows[0])))
                for c, text in enumerate(row):
                    print("%d\t%d\t%s" % (r, c, clean(text)))
    except ValueError as e:
        print("parse error: %s" % e, file=sys.stderr)
        sys.exit(1)


main()
