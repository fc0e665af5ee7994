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


def literals(joined):
    """The bytes of adjacent C++ string literals ("a" "b")."""
    return b"".join(c_string(x) for x in re.findall(r'"((?:[^"\\]|\\.)*)"', joined))


def row_byte_arrays(path):
    """The first QByteArray("...") of each table row of a test file."""
    source = path.read_text(encoding="utf-8")
    return [literals(m) for m in
            re.findall(r'newRow\("[^"]*"\)\s*<<\s*QByteArray\(((?:\s*"(?:[^"\\]|\\.)*")+)\)', source)]


def settings_seeds():
    source = (TESTS / "tst_settings_record.cpp").read_text(encoding="utf-8")
    for joined in re.findall(r'HexBytes\(((?:\s*"[0-9A-Fa-f ]*")+)\)', source):
        yield bytes.fromhex("".join(re.findall(r'"([0-9A-Fa-f ]*)"', joined)))


def version_seeds():
    bodies = row_byte_arrays(TESTS / "tst_update_versionnews.cpp")
    for i, version in enumerate(bodies):
        if len(version) < 256:
            yield bytes([10, len(version)]) + version + bodies[(i * 7) % len(bodies)]


def tika_answer_seeds():
    for answer in row_byte_arrays(TESTS / "tst_tika_client.cpp"):
        for pieces in (b"\x00\x00\x00\x00", b"\x00\x01\x02\x03"):
            yield b"\x00" + pieces + answer


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


def merge3_seeds():
    source = (TESTS / "tst_engine_merge3.cpp").read_text(encoding="utf-8")
    for base, local, remote in re.findall(r'newRow\("[^"]*"\)\s*<<\s*"([^"]*)"\s*<<\s*"([^"]*)"\s*<<\s*"([^"]*)"', source):
        text = b"\x01".join("\n".join(w.replace("_", "").replace("~", " ") for w in side.split()).encode()
                            for side in (base, local, remote))
        for bits in (0x0000, 0x01C0, 0x0200, 0x0400, 0x0800, 0xE1C0):
            yield bytes([bits & 0xFF, bits >> 8, 6]) + text


SEEDS = {"merge3": merge3_seeds, "text_load": text_load_seeds, "diff": diff_seeds, "intraline": intraline_seeds,
         "settings": settings_seeds, "version": version_seeds, "tika_answer": tika_answer_seeds}
for name, make in SEEDS.items():
    if not (ROOT / "fuzz" / f"fuzz_{name}.cpp").exists():
        continue
    seeds = make()
    count = 0
    for seed in seeds:
        keep(name, seed)
        count += 1
    print(f"{name}: {count} seeds")
