#!/usr/bin/env python3
"""Checks the include layering of the two libraries.

A folder of qndislib/ may include its own headers and those of folders of a
lower rank, never those of its rank or above; files at the root of qndislib/
may include any folder. Every folder includes the root's Export.h. The
driver-access library (w32n55/) may include, of qndislib/, only the contract
it shares with it. Prints each offending include and exits 1 when there is
one.
"""

import pathlib
import re
import sys

RANKS = {
    "w32n55abi": 0,
    "addr": 1,
    "ktools": 1,
    "platform": 1,
    "media": 2,
    "frame": 3,
    "filter": 4,
    "capture": 5,
    "adapter": 6,
}
ROOT_HEADERS_FOR_ALL = {"Export.h"}
CONTRACT = "w32n55abi"
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]qndislib/([^>"]+)[>"]')
SOURCES = ("*.h", "*.cpp")


def includes(path):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def files(folder):
    for pattern in SOURCES:
        yield from sorted(folder.rglob(pattern))


def qndislib_fault(folder, target):
    parts = target.split("/")
    if len(parts) == 1:
        return None if parts[0] in ROOT_HEADERS_FOR_ALL else "a root header"
    used = parts[0]
    if used == folder:
        return None
    if used not in RANKS:
        return f"the unranked folder {used}/"
    if RANKS[used] >= RANKS[folder]:
        return f"{used}/, which is not below {folder}/"
    return None


def check_qndislib(root):
    faults = []
    library = root / "qndislib"
    for child in sorted(library.iterdir()):
        if not child.is_dir():
            continue
        if child.name not in RANKS:
            faults.append(f"qndislib/{child.name}/ has no rank in the layering")
            continue
        for path in files(child):
            for number, target in includes(path):
                fault = qndislib_fault(child.name, target)
                if fault:
                    faults.append(f"{path.relative_to(root)}:{number}: includes {fault}")
    return faults


def check_driver_access(root):
    faults = []
    for path in files(root / "w32n55"):
        for number, target in includes(path):
            if not target.startswith(CONTRACT + "/"):
                faults.append(
                    f"{path.relative_to(root)}:{number}: includes qndislib/{target}, "
                    f"outside the contract"
                )
    return faults


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = check_qndislib(root) + check_driver_access(root)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
