#!/usr/bin/env python3
"""Seeds the kept fuzz corpora (fuzz/corpus/NAME) from the tests' tables of cases.

Each seed is named by the SHA-1 of its bytes, as libFuzzer names what it keeps, so running this
again adds only what is new. Run from anywhere: python3 fuzz/seed_corpora.py
"""
import hashlib
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent
TESTS = ROOT / "tests"
CORPUS = ROOT / "fuzz" / "corpus"


def keep(name, data):
    folder = CORPUS / name
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)


def c_string(literal):
    """The bytes of a C++ string literal's body (simple escapes, UTF-8 source)."""
    return literal.encode("utf-8").decode("unicode_escape").encode("latin-1")


def table_text(literal):
    """Text of a table's Line("...") helper: '·' a space, '→' a tab."""
    return literal.replace("·", " ").replace("→", "\t")


def text_load_seeds():
    for path in sorted(TESTS.glob("tst_text_*.cpp")):
        for hexes in re.findall(r'HexBytes\("([0-9A-Fa-f ]*)"\)', path.read_text(encoding="utf-8")):
            yield bytes.fromhex(hexes)


def diff_seeds():
    source = (TESTS / "tst_engine_diff.cpp").read_text(encoding="utf-8")
    side = r'QStringList(?:\{([^}]*)\}|\(\))'
    for left, right in re.findall(side + r'\s*<<\s*' + side, source):
        lines = [[c_string(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', part)] for part in (left, right)]
        text = b"\x01".join(b"\n".join(ls) for ls in lines)
        for flags in (0x00, 0x01, 0x3F, 0x80, 0xA0):
            yield bytes([flags, 0x00]) + text


def intraline_seeds():
    source = (TESTS / "tst_engine_intraline.cpp").read_text(encoding="utf-8")
    for a, b, case in re.findall(r'Line\("([^"]*)"\)\s*<<\s*Line\("([^"]*)"\)\s*<<\s*(true|false)', source):
        flags = 1 if case == "true" else 0
        yield bytes([flags, 0x00]) + table_text(a).encode() + b"\x01" + table_text(b).encode()


for name, seeds in (("text_load", text_load_seeds()), ("diff", diff_seeds()),
                    ("intraline", intraline_seeds())):
    count = 0
    for seed in seeds:
        keep(name, seed)
        count += 1
    print(f"{name}: {count} seeds")
