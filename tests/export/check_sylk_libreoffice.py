#!/usr/bin/env python3
"""LibreOffice reads our SYLK files into the cell values we meant.

Usage: check_sylk_libreoffice.py EXPORT_SAMPLES OUTPUT_DIR

Runs the sample generator, converts the SYLK files to CSV with a headless LibreOffice that has
its own profile under OUTPUT_DIR, and compares every cell: texts as written (every line
break one space, at most 255 characters), numbers, day serials, day fractions and Booleans.
"""
import csv
import datetime
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys

EPOCH = datetime.datetime(1899, 12, 30)
CSV_FILTER = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false"


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def convert(out, names):
    profile = out / "lo-profile"
    env = dict(os.environ, HOME=str(out / "lo-home"))
    (out / "lo-home").mkdir(exist_ok=True)
    office = shutil.which("libreoffice") or shutil.which("soffice")
    if not office:
        fail("libreoffice is not installed (package libreoffice-calc-nogui)")
    cmd = [office, "--headless", "--norestore",
           f"-env:UserInstallation={profile.resolve().as_uri()}",
           "--convert-to", CSV_FILTER, "--outdir", str(out / "lo")]
    cmd += [str(out / n) for n in names]
    result = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=240)
    for n in names:
        if not (out / "lo" / (pathlib.Path(n).stem + ".csv")).exists():
            fail(f"LibreOffice did not convert {n}: {result.stdout} {result.stderr}")


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def sylk_text(text):
    """A text cell as the SYLK file holds it and a reader gets it back."""
    doubled = text.replace(";", ";;").replace("\r\n", " ").replace("\r", " ").replace("\n", " ")
    doubled = doubled[:255]
    return doubled.replace(";;", ";")


def serial(when):
    delta = when - EPOCH
    return delta.days + delta.seconds / 86400.0


SECOND = 1 / 86400.0
MINUTE = 1 / 1440.0


def parse_time(text):
    """(day fraction, precision): LibreOffice shows times to the second or the minute."""
    for fmt in ("%I:%M:%S %p", "%I:%M %p", "%H:%M:%S"):
        try:
            t = datetime.datetime.strptime(text, fmt)
            shown = SECOND if "%S" in fmt else MINUTE
            return (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0, shown
        except ValueError:
            pass
    fail(f"unreadable time {text!r}")


def parse_stamp(text):
    for fmt in ("%m/%d/%Y %H:%M:%S", "%m/%d/%Y %I:%M:%S %p", "%m/%d/%Y %I:%M %p",
                "%m/%d/%Y %H:%M"):
        try:
            shown = SECOND if "%S" in fmt else MINUTE
            return serial(datetime.datetime.strptime(text, fmt)), shown
        except ValueError:
            pass
    fail(f"unreadable date and time {text!r}")


def expected_cell(ftype, text, is_null, value):
    """(kind, value) a spreadsheet cell must hold; value is the cell's typed value."""
    if is_null:
        return ("text", "")
    if ftype == "integer":
        return ("number", float(text))
    if ftype == "largeint":
        # A spreadsheet number holds integers exactly up to 2^53; beyond, the digits are text.
        exact = re.fullmatch(r"-?\d{1,16}", text) and abs(int(text)) <= 2 ** 53
        return ("number", float(text)) if exact else ("text", sylk_text(text))
    if ftype in ("float", "date", "time", "stamp", "boolean") and value is None:
        # Dates no calendar has (2024-02-00, zero dates) are written as the grid shows them.
        return ("text", sylk_text(text))
    if ftype == "float":
        return ("number", value)
    if ftype in ("date", "time", "stamp"):
        return (ftype, value)
    if ftype == "boolean":
        return ("text", "TRUE" if value else "FALSE")
    return ("text", sylk_text(text))


def matches(kind, want, got):
    if kind == "text":
        return got == want
    if kind == "number":
        # LibreOffice shows about 15 significant digits.
        return abs(float(got) - want) <= 1e-14 * max(1.0, abs(want))
    if kind == "date":
        return serial(datetime.datetime.strptime(got, "%m/%d/%Y")) == want
    value, shown = parse_time(got) if kind == "time" else parse_stamp(got)
    return abs(value - want) < shown


def main():
    generator, out = sys.argv[1], pathlib.Path(sys.argv[2])
    subprocess.run([generator, str(out)], check=True)
    expected = json.loads((out / "expected.json").read_text(encoding="utf-8"))
    extras = [n for n in ("worked.slk", "numbers.slk") if (out / n).exists()]
    convert(out, ["sample.slk"] + extras)
    if extras:
        check_extras(out)
    check_sample(out, expected)


def check_extras(out):
    # Doubles read as numbers (LibreOffice itself keeps about 15 digits, so they are compared
    # to that); integers beyond 2^53 come back digit for digit as text, 2^53 itself as a number.
    numbers = read_csv(out / "lo" / "numbers.csv")
    reals = [1.7976931348623157e308, 0.1 + 0.2, -1.5, 5e-324]
    wholes = ["9007199254740992", "9007199254740993", "-9223372036854775808",
              "18446744073709551615"]
    if numbers[0] != ["real", "whole"] or len(numbers) != 5:
        fail(f"numbers.slk read as {numbers!r}")
    for (real, whole), want_real, want_whole in zip(numbers[1:], reals, wholes):
        number_ok = want_whole == wholes[0] and "E+" in whole and \
            abs(float(whole) - float(want_whole)) < 1e3
        real_ok = abs(float(real) - want_real) <= 1e-15 * abs(want_real)
        if not real_ok or (whole != want_whole and not number_ok):
            fail(f"numbers.slk row read as {real!r}, {whole!r}; expected {want_real!r}, "
                 f"{want_whole!r}")
    print("ok: numbers.slk: doubles read as numbers, 64-bit integers digit for digit")

    worked = read_csv(out / "lo" / "worked.csv")
    if worked != [["id", "note"], ["1", "a,b"], ["2", 'say "hi"'], ["3", ""]]:
        fail(f"worked example read as {worked!r}")
    print("ok: worked.slk reads as id/note, 1 a,b / 2 say \"hi\" / 3 (empty)")


def check_sample(out, expected):
    rows = read_csv(out / "lo" / "sample.csv")
    titles = [t.split("~")[0] for t in expected["titles"]]
    if rows[0] != titles:
        fail(f"titles read as {rows[0]!r}, expected {titles!r}")
    data = rows[1:]
    if len(data) != len(expected["rows"]):
        fail(f"{len(data)} data rows, {len(expected['rows'])} expected")
    for r, (got_row, texts, nulls, typed) in enumerate(
            zip(data, expected["rows"], expected["nulls"], expected["typed"]), start=1):
        got_row = got_row + [""] * (len(texts) - len(got_row))
        for c, ftype in enumerate(expected["types"]):
            kind, want = expected_cell(ftype, texts[c], nulls[c], typed[c])
            if not matches(kind, want, got_row[c]):
                fail(f"row {r} column {titles[c]}: LibreOffice read {got_row[c]!r}, "
                     f"expected {kind} {want!r}")
    print(f"ok: sample.slk: {len(data)} rows x {len(titles)} columns read back by LibreOffice")


if __name__ == "__main__":
    main()
