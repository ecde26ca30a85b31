#!/usr/bin/env python3
"""Standard readers get back what the grid shows.

Usage: check_readers.py EXPORT_SAMPLES OUTPUT_DIR

Runs the sample generator, then reads the TAB and comma files with Python's csv module and the
HTML page with html.parser, and compares every cell with the expected display texts.
"""
import csv
import html.parser
import json
import pathlib
import subprocess
import sys


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def check_delimited(path, delimiter, expected):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, delimiter=delimiter))
    want = [[t.replace("~", " ") for t in expected["titles"]]] + expected["rows"]
    if len(rows) != len(want):
        fail(f"{path.name}: {len(rows)} rows read, {len(want)} expected")
    for i, (got, exp) in enumerate(zip(rows, want)):
        if got != exp:
            fail(f"{path.name} row {i}: read {got!r}, expected {exp!r}")
    # Every line ends with CR LF, the last one included.
    raw = path.read_bytes()
    if not raw.endswith(b"\r\n"):
        fail(f"{path.name}: last line without CR LF")
    print(f"ok: {path.name}: {len(rows)} rows read back exactly")


class TableReader(html.parser.HTMLParser):
    """Collects the text of every cell, row by row; <BR> reads as a line break."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self.cell = None
        self.tags = set()
        self.charset = None

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        fields = dict(attrs)
        if tag == "meta" and (fields.get("http-equiv") or "").lower() == "content-type":
            self.charset = (fields.get("content") or "").lower().partition("charset=")[2]
        if tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th"):
            self.cell = []
            self.rows[-1].append(self.cell)
        elif tag == "br" and self.cell is not None:
            self.cell.append("\n")

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)


def html_cell(text):
    text = text.rstrip("".join(chr(c) for c in range(33)))
    if not text:
        return "\xa0"
    # HTML reads every CR LF and lone CR as LF.
    return text.replace("\r\n", "\n").replace("\r", "\n")


def check_html(path, expected):
    reader = TableReader()
    reader.feed(path.read_text(encoding="utf-8"))
    reader.close()
    rows = [["".join(c) for c in r] for r in reader.rows]
    # A browser reads the page as UTF-8 only when the head says so.
    if reader.charset != "utf-8":
        fail(f"{path.name}: declared character set {reader.charset!r}, expected 'utf-8'")
    unexpected = reader.tags - {"html", "head", "meta", "title", "body", "table", "thead", "tbody",
                                "tr", "th", "td", "br"}
    if unexpected:
        fail(f"{path.name}: data became markup: {sorted(unexpected)}")
    want = [[""], [t.replace("~", "\n") for t in expected["titles"]], []]
    want += [[html_cell(t) for t in r] for r in expected["rows"]]
    if len(rows) != len(want):
        fail(f"{path.name}: {len(rows)} table rows, {len(want)} expected")
    for i, (got, exp) in enumerate(zip(rows, want)):
        if got != exp:
            fail(f"{path.name} row {i}: read {got!r}, expected {exp!r}")
    print(f"ok: {path.name}: {len(rows)} table rows parse back exactly")


def main():
    generator, out = sys.argv[1], pathlib.Path(sys.argv[2])
    subprocess.run([generator, str(out)], check=True)
    expected = json.loads((out / "expected.json").read_text(encoding="utf-8"))
    check_delimited(out / "sample.csv", "\t", expected)
    check_delimited(out / "sample.txt", ",", expected)
    check_html(out / "sample.html", expected)


if __name__ == "__main__":
    main()
