#!/usr/bin/env python3
"""Runs each ctest case of a coverage tree alone and prints, per test, the
product lines that no other test reaches (fewest first), then the union; then
the same per test function, its cases on every database taken together. Every
case's reached lines are kept in TREE/by-test.json.

  coverage-by-test.py TREE SKIP_REGEX    (run from the source root; scripts/coverage --by-test)
"""
import collections
import glob
import json
import os
import re
import subprocess
import sys

PRODUCT = ("batch/", "catalogue/", "cli/", "component/", "deletion/", "fieldlist/", "history/",
           "master/", "platform/", "policy/", "sql/")


def clear(tree):
    for data in glob.glob(f"{tree}/**/*.gcda", recursive=True):
        os.remove(data)


def reached(tree, root):
    """The product lines with a count, as 'file:line', from the tree's .gcda files."""
    lines = set()
    data = glob.glob(f"{tree}/**/*.gcda", recursive=True)
    for i in range(0, len(data), 50):
        out = subprocess.run(["gcov", "--json-format", "--stdout"] + data[i:i + 50], cwd=tree,
                             capture_output=True, text=True).stdout
        for document in out.splitlines():
            try:
                files = json.loads(document).get("files", [])
            except ValueError:
                continue
            for f in files:
                path = os.path.relpath(os.path.normpath(os.path.join(tree, f["file"])), root)
                if path.startswith(PRODUCT):
                    lines.update(f"{path}:{l['line_number']}" for l in f["lines"] if l["count"])
    return lines


def ranges(lines):
    by_file = collections.defaultdict(list)
    for line in lines:
        path, number = line.rsplit(":", 1)
        by_file[path].append(int(number))
    return " ".join(f"{p}:{','.join(map(str, sorted(n)))}" for p, n in sorted(by_file.items()))


def main():
    tree, skip = os.path.abspath(sys.argv[1]), sys.argv[2]
    root = os.getcwd()
    listed = subprocess.run(["ctest", "--test-dir", tree, "-N"], capture_output=True, text=True).stdout
    names = [m.group(1) for m in re.finditer(r"Test +#\d+: (\S+)", listed) if not re.search(skip, m.group(1))]
    per_test = {}
    for n, name in enumerate(names, 1):
        clear(tree)
        run = subprocess.run(["ctest", "--test-dir", tree, "-R", f"^{re.escape(name)}( |$)"],
                             capture_output=True, text=True)
        per_test[name] = reached(tree, root)
        print(f"{n}/{len(names)} {name}{' FAILED' if run.returncode else ''}", file=sys.stderr)
    with open(os.path.join(tree, "by-test.json"), "w") as out:
        json.dump({name: sorted(lines) for name, lines in per_test.items()}, out)
    alone_per(per_test)
    print(f"{len(set().union(*per_test.values()))} product lines reached by the suite")
    # Backends/Suite.Name/SQLite, Servers/Suite.Name/MariaDB_ODBC ... -> Suite.Name
    functions = collections.defaultdict(set)
    for name, lines in per_test.items():
        functions[re.sub(r"/\w+$", "", re.sub(r"^\w+/", "", name)) if "/" in name else name] |= lines
    print("\nper test function, its cases on every database together:")
    alone_per(functions)


def alone_per(tests):
    count = collections.Counter(line for lines in tests.values() for line in lines)
    for name, lines in sorted(tests.items(), key=lambda t: (sum(count[l] == 1 for l in t[1]), t[0])):
        alone = {l for l in lines if count[l] == 1}
        print(f"{len(alone):5d} alone {len(lines):5d} reached  {name}  {ranges(alone)}")


if __name__ == "__main__":
    main()
