#!/usr/bin/env python3
"""The loader check against copies of built executables with one delay-load slot spoilt: each
copy must fail, the executable itself must pass.

  test_loadercheck.py EXE...
"""
import os
import struct
import subprocess
import sys
import tempfile

import loadercheck

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "loadercheck.py")


def faults(path):
    result = subprocess.run([sys.executable, CHECK, path], capture_output=True, text=True)
    return result.returncode, [line for line in result.stdout.splitlines() if "FAIL" in line]


def main(exes):
    failed = 0
    for exe in exes:
        pe = loadercheck.PeFile(exe)
        slots = pe.delay_slots()
        if not slots:
            print(f"FAIL {exe}: no delay-load slots to spoil")
            failed += 1
            continue
        dll, fn, value, at = slots[-1]
        fmt = "<Q" if pe.pe32plus else "<I"
        data_section = next(va for va, _, _ in pe.sections
                            if not any(start == va for start, _ in pe.code))
        # What the slot is made to hold, and whether the check must fail.
        cases = [("unchanged", value, False),
                 ("zero", 0, True),
                 ("data section", pe.image_base + data_section, True),
                 ("outside the image", pe.image_base - 0x1000, True)]
        for name, new, fails in cases:
            data = bytearray(pe.data)
            struct.pack_into(fmt, data, at, new)
            with tempfile.NamedTemporaryFile(suffix=".exe", delete=False) as f:
                f.write(data)
            code, lines = faults(f.name)
            os.unlink(f.name)
            found = any(f"{dll} {fn}: delay-load slot" in line for line in lines)
            if found != fails or (code != 0) != fails:
                print(f"FAIL {os.path.basename(exe)} slot {name}: exit {code}, {lines}")
                failed += 1
    print(f"{len(exes) * 4 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1:]))
