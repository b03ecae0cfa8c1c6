#!/usr/bin/env python3
"""Writes the seed corpora of the import and script fuzz targets
(tests/fuzz/corpus/import/, tests/fuzz/corpus/script/).

demo-small, demo-full and demo-family are import lines of the demo data
(cli::DemoCustomerLine(1, i): i = 2; i = 0; i = 2 and its family member
i = 3); they stay as they are. Every other seed is derived from demo-small:
hostile lines alone, and mixed with good ones. Run it again after changing
the cases below; it replaces the derived seeds. The script seeds are the
example host script and the hostile values of the import seeds as steps.
"""
import json
import pathlib

ROOT = pathlib.Path(__file__).resolve().parent
HERE = ROOT / "corpus" / "import"
SCRIPT = ROOT / "corpus" / "script"
KEPT = {"demo-small", "demo-full", "demo-family"}

small_line = (HERE / "demo-small").read_bytes().rstrip(b"\n")
small = json.loads(small_line)
key = small["key"]


def line(document):
    return json.dumps(document, ensure_ascii=False, separators=(",", ":")).encode()


def with_call(method, arguments, base=None):
    document = json.loads(json.dumps(base or small))
    document["calls"].append({method: arguments})
    return line(document)


def with_base_argument(name, value):
    document = json.loads(json.dumps(small))
    document["calls"][0]["SetBaseData"][name] = value
    return line(document)


def nested(open_, close, levels):
    return open_ * levels + close * levels


base_data = small["calls"][0]["SetBaseData"]
INT32_MIN, INT32_MAX = -(2 ** 31), 2 ** 31 - 1
BOUNDS_AT_LIMITS = [
    {"array": [], "lbound": INT32_MIN},
    {"array": ["1"], "lbound": INT32_MAX},
    {"array": ["1", "2"], "lbound": INT32_MAX},
    {"array": ["1"], "lbound": INT32_MAX + 1},
    {"array": [["1"]], "lbounds": [INT32_MIN, INT32_MAX]},
    {"array": [[], []], "lbounds": [1, INT32_MIN]},
]
BOUNDS_OF_WRONG_TYPE = [
    {"array": ["1"], "lbound": "x"},
    {"array": ["1"], "lbound": 1.5},
    {"array": [["1"]], "lbounds": [1, "x"]},
    {"array": [["1"]], "lbounds": [None, 1]},
    {"array": ["1"], "lbound": [1]},
    {"object": 1},
]

SEEDS = {
    # Cut short.
    "truncated-half": small_line[: len(small_line) // 2],
    "truncated-in-string": b'{"key":"10003","calls":[{"SetBaseData":{"KanjiNm":"\xe4\xb8',
    "truncated-open-call": b'{"key":"10099","calls":[{"SetBaseData":{',
    # Shapes and types the document does not allow.
    "key-missing": b'{"calls":[]}',
    "key-types": b'{"key":1.5}\n{"key":true}\n{"key":null}\n{"key":["1"]}\n{"key":{"a":1}}\n',
    "key-huge": b'{"key":99999999999999999999}\n{"key":-9223372036854775809}\n{"key":1e400}\n'
                b'{"key":9223372036854775807,"calls":[]}\n',
    "calls-object": b'{"key":"1","calls":{"SetBaseData":{}}}',
    "call-shapes": b'{"key":"1","calls":[1,"x",[],{},{"SetBaseData":1},'
                   b'{"SetBaseData":{},"SetMENTEData":{}}]}',
    "delete-not-boolean": b'{"key":"10003","delete":"yes"}\n{"key":"10003","delete":1}\n',
    "delete": small_line + b'\n{"key":"' + key.encode() + b'","delete":true}\n',
    "not-an-object": b'[1,2,3]\n"text"\n42\nnull\n',
    "argument-types": with_base_argument("KanjiNm", {"x": 1}) + b"\n" +
                      with_base_argument("UniqueKey", [1, 2]) + b"\n" +
                      with_base_argument("C_Sex", True) + b"\n",
    "script-argument-forms": with_base_argument("BuyFlg", {"array": ["1"] * 16, "lbound": 1}) +
                             b"\n" + with_base_argument("KanjiNm", {"missing": True}) + b"\n",
    "huge-numbers": with_base_argument("BuyTimes", 1e308) + b"\n" +
                    with_base_argument("BuyTimes", 2 ** 70) + b"\n" +
                    with_base_argument("C_Sex", -(2 ** 63) - 1) + b"\n" +
                    with_base_argument("BuyTimes", -0.0) + b"\n",
    # Array parameters given other shapes.
    "nested-arrays": with_base_argument("BuyFlg", [[["1"]]]) + b"\n" +
                     with_base_argument("BuyFlg", [["1"], ["1", "2"]]) + b"\n" +
                     with_base_argument("BuyFlg", []) + b"\n" +
                     with_base_argument("BuyFlg", [{"a": 1}]) + b"\n" +
                     with_base_argument("BuyFlg", ["1"] * 40) + b"\n",
    # Bounds at the 32-bit limits and of the wrong type; nesting too deep.
    "bounds-int32-limits": b"\n".join(
        with_base_argument("BuyFlg", value) for value in BOUNDS_AT_LIMITS) + b"\n",
    "bounds-wrong-types": b"\n".join(
        with_base_argument("BuyFlg", value) for value in BOUNDS_OF_WRONG_TYPE) + b"\n",
    "deep-calls": b'{"key":"1","calls":[' + nested(b"[", b"]", 2000) + b"]}\n",
    "deep-arrays": with_base_argument("BuyFlg", "DEEP").replace(
        b'"DEEP"', nested(b'{"array":[', b"]}", 300)) + b"\n",
    # Bytes around and inside the text.
    "bom": b"\xef\xbb\xbf" + small_line + b"\n",
    "bom-alone": b"\xef\xbb\xbf\n" + small_line,
    "bom-twice": b"\xef\xbb\xbf\xef\xbb\xbf" + small_line + b"\n",
    "bom-second-line": b"\n\xef\xbb\xbf" + small_line + b"\n",
    "crlf": small_line + b"\r\n\r\n  \t\r\n" + b'{"key":"5","delete":true}\r\n',
    "cr-only": small_line + b"\r" + small_line + b"\r",
    "nul-in-value": small_line.replace(base_data["KanjiNm"].encode(), b"a\x00b", 1),
    "nul-outside": small_line + b"\x00\n\x00\n",
    "invalid-utf8": small_line.replace(base_data["KanjiNm"].encode(), b"\xff\xfe\xc3", 1) +
                    b"\n\xff\xff\n",
    "escaped-surrogate": with_base_argument("KanjiNm", "x").replace(b'"x"', b'"\\ud800"') + b"\n",
    "blank-lines": b"\n \n\t\n\r\n" + small_line + b"\n\n",
    # Members that are not writers, or that the import runs itself.
    "unknown-method": with_call("SetEverything", {"UniqueKey": key}),
    "unknown-parameter": with_base_argument("Nickname", "Taro"),
    "parameter-case": with_base_argument("uniquekey", key),
    "initialize-in-calls": with_call("Initialize", {}),
    "execute-in-calls": with_call("Execute", {"UniqueKey": key}) + b"\n" +
                        with_call("delexecute", {"UniqueKey": key}) + b"\n",
    # Good and bad together; the same key twice.
    "mixed": small_line + b"\n" + b'{"key":"10003","calls":[{"SetBaseData":{\n' +
             with_call("SetEverything", {}) + b"\n" + small_line + b"\n",
}


CREATE = b'{"create":"KVT710.KVT710C3","as":"v"}\n'


def steps(values):
    return CREATE + b"".join(b'{"call":"v.SetSYOKANData","args":["001","1",' + line(value) +
                             b"]}\n" for value in values)


example = (ROOT.parent.parent / "examples" / "first-customer.jsonl").read_bytes()
SCRIPT_SEEDS = {
    "first-customer": example,
    "bounds-int32-limits": example + steps(BOUNDS_AT_LIMITS),
    "bounds-wrong-types": example + steps(BOUNDS_OF_WRONG_TYPE),
    "deep-args": example + CREATE + b'{"call":"v.SetSYOKANData","args":[' +
                 nested(b"[", b"]", 2000) + b"]}\n" + b'{"call":"v.SetSYOKANData","args":[' +
                 nested(b'{"array":[', b"]}", 300) + b"]}\n",
    "not-steps": b'[1]\n"x"\n{}\n{"get":1}\n{"create":1,"as":"x"}\n{"call":"b."}\n\n \r\n',
}

for folder, seeds, kept in ((HERE, SEEDS, KEPT), (SCRIPT, SCRIPT_SEEDS, set())):
    folder.mkdir(exist_ok=True)
    for stale in folder.iterdir():
        if stale.name not in kept:
            stale.unlink()
    for name, data in seeds.items():
        (folder / name).write_bytes(data)
    print(f"{len(seeds)} seeds written to {folder}")
