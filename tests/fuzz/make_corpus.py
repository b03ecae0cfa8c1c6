#!/usr/bin/env python3
"""Writes the seed corpus of the writer fuzz targets (tests/fuzz/corpus/<target>/).

Layout of an input (see injection_harness.h): byte 0 chooses the writer, then
fields separated by 0x1F, each a slot byte and a value. Slot 0xFF sets every
slot that is not a key, 0xFE every slot. ESC "BIG" + text becomes the text
repeated to 1 MiB at run time, so no large file is committed.

Run it again after changing the values below; it replaces the folders.
"""
import pathlib
import shutil

SEP = b"\x1f"
NOT_KEYS = 0xFF
ALL = 0xFE

TEXTS = {
    "quote": "O'Brien",
    "quotes-doubled": "it''s ''",
    "quote-alone": "'",
    "quote-paren": "x'),('y",
    "drop-table": "'; Drop Table CBASE; --",
    "backslash-quote": "a\\'b",
    "backslash-end": "C:\\dir\\",
    "semicolon": "1; Delete From CBASE",
    "dash-dash": "x' -- ",
    "block-comment": "a/*'*/b",
    "comment-open": "/*",
    "dollar-quotes": "$$ body $$",
    "dollar-tag": "$a$'$a$",
    "placeholders": "? :name @p $1",
    "nul": b"a\x00b'",
    "invalid-utf8": b"\xff\xfe'",
    "truncated-utf8": b"ab\xc3",
    "overlong-quote": b"\xc0\xa7",
    "overlong-3-bytes": b"\xe0\x80\xa7",
    "surrogate": b"\xed\xa0\x80",
    "beyond-unicode": b"\xf4\x90\x80\x80",
    "u2019": "O\u2019Brien",
    "u3000": "\u3000\u5c71\u7530\u3000",
    "fullwidth-digits": "\uff11\uff12\uff13",
    "fullwidth-quote": "\uff07",
    "tabs-newlines": "\ta\r\nb\t",
    "blanks": "   ",
    "blanks-quote": "  ' ",
    "unicode-escape": "U&'\\0027'",
    "e-string": "E'\\''",
}

NUMBERS = ["1,234", "1,234.5", "1e5", "-1.5E-3", "+.5", "1.", " 12 ", "1e999", "0e999999999",
           ",1", "1,,2", "--1", "- 1", "0x10", "1d5", "NaN", "2147483648", "-2.5", "9" * 400]

DATES = ["0001/01/01", "9999/12/31", "2016/02/29", "2015/02/29", "2016/13/01", "2016/1/1",
         "2016-02-29 23:59:59", "0000/01/01", "10000/01/01", "2016/02/29 24:00:00", "20160229"]

KEYS = ["1 or 1=1", "1;", "1)", "(1)", "1--", "-1", "+1", " 1 ", "1.0", "01", "\uff11", "1e3",
        "1,000", "", "99999999999999999999999", "1'", "1 -- x", "1\x00"]

BIG = {"big-text": "\x1bBIGO'Brien ", "big-quotes": "\x1bBIG'", "big-digits": "\x1bBIG1",
       "big-comment": "\x1bBIG;--"}


def raw(value):
    return value if isinstance(value, bytes) else value.encode("utf-8")


def field(slot, value):
    return bytes([slot]) + raw(value)


def entry(writer, *fields):
    return bytes([writer]) + SEP + SEP.join(fields)


def write(folder, files):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in files.items():
        assert len(data) < 4096, name
        (folder / name).write_bytes(data)


def master():
    # 0 SetBaseData (slot 1 UniqueKey, 6 FamilyKey, 7 FamilyKbn, 14 HomeTel);
    # 1 SetMENTEData (slot 0 StoreCd, 1 HtKbn, 2 UniqueKey). Customer 1 and
    # the maintenance row ('', 1, 1) exist: the writers UPDATE them.
    variants = [
        ("base-update", lambda v: entry(0, field(NOT_KEYS, v))),
        ("base-insert", lambda v: entry(0, field(NOT_KEYS, v), field(1, "2"))),
        ("mente-update", lambda v: entry(1, field(NOT_KEYS, v), field(0, ""))),
        ("mente-insert", lambda v: entry(1, field(NOT_KEYS, v))),
    ]
    files = {}
    for n, (label, value) in enumerate(list(TEXTS.items()) + [(d, d) for d in DATES[:6]]):
        name, make = variants[n % len(variants)]
        files[f"{name}-{label}".replace("/", "-")] = make(value)
    for n, value in enumerate(NUMBERS[:8]):
        name, make = variants[n % len(variants)]
        files[f"{name}-number-{n}"] = make(value)
    for n, key in enumerate(KEYS):
        files[f"base-key-{n}"] = entry(0, field(1, key))
        files[f"mente-key-{n}"] = entry(1, field(2 - n % 2, key))
    files["base-family-key"] = entry(0, field(7, "2"), field(6, "1 or 1=1"))
    files["base-family-member"] = entry(0, field(7, " 2 "), field(6, "7"))
    files["base-telephone"] = entry(0, field(14, " 03-1234-5678 "))
    files["base-telephone-overflow"] = entry(0, field(14, "9E99"))
    files["base-telephone-quote"] = entry(0, field(14, "'1234"))
    files["base-big-text"] = entry(0, field(NOT_KEYS, BIG["big-text"]))
    files["mente-big-quotes"] = entry(1, field(NOT_KEYS, BIG["big-quotes"]))
    return files


def history():
    # The eight history writers, each value sent to every parameter but the keys.
    files = {}
    values = list(TEXTS.items()) + [(f"number-{n}", v) for n, v in enumerate(NUMBERS)] + \
        [(f"date-{d}".replace("/", "-").replace(" ", "_").replace(":", ""), d) for d in DATES]
    for n, (label, value) in enumerate(values):
        files[f"w{n % 8}-{label}"] = entry(n % 8, field(NOT_KEYS, value))
    for n, key in enumerate(KEYS):
        files[f"w{n % 8}-keys-{n}"] = entry(n % 8, field(ALL, key))
    files["w7-big-text"] = entry(7, field(2, BIG["big-text"]))
    files["w7-big-quotes"] = entry(7, field(2, BIG["big-quotes"]))
    files["w0-big-digits"] = entry(0, field(NOT_KEYS, BIG["big-digits"]))
    files["w6-big-comment"] = entry(6, field(NOT_KEYS, BIG["big-comment"]))
    files["w7-blank-comment"] = entry(7, field(2, "   "))
    return files


def family():
    # 0 FamilyCnt_Update, 1 FamilyUpdate, 2 Execute, 3 DelExecute (after a
    # FamilyUpdate). Slots: 0 UniqueKey, 1 DaihyoKey, 2 KazokuKey.
    files = {}
    values = [(f"key-{n}", k) for n, k in enumerate(KEYS)] + \
        [(f"number-{n}", v) for n, v in enumerate(NUMBERS[:8])] + \
        [("quote", "O'Brien"), ("semicolon", "1; Delete From CBASE")]
    for n, (label, value) in enumerate(values):
        files[f"op{n % 4}-{label}"] = entry(n % 4, field(ALL, value))
        files[f"op{(n + 2) % 4}-first-{label}"] = entry((n + 2) % 4, field(0, value))
    files["op1-move"] = entry(1, field(1, "1"), field(2, "2"))
    files["op2-big-key"] = entry(2, field(ALL, BIG["big-digits"]))
    files["op3-big-key"] = entry(3, field(0, BIG["big-digits"]))
    return files


def main():
    root = pathlib.Path(__file__).resolve().parent / "corpus"
    write(root / "master", master())
    write(root / "history", history())
    write(root / "family", family())


if __name__ == "__main__":
    main()
