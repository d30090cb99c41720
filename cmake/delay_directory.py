#!/usr/bin/env python3
"""Points an executable's delay-import directory at its delay-load descriptors.

GNU ld links the descriptors that dlltool's delay-import libraries bring but leaves the
header's directory entry empty; the program runs all the same, but tools that read the
delay-load imports from the header (tools/loadercheck) would not see them. The descriptors'
addresses come from the linker map; they must lie one after another, ended by a zero one
(cmake/DelayImportEnd.c).

  delay_directory.py EXE MAP
"""
import re
import struct
import sys

DESCRIPTOR_SIZE = 32
DELAY_IMPORT_ENTRY = 13


def main(exe, map_path):
    with open(map_path, encoding="utf-8", errors="replace") as f:
        addresses = sorted({int(m.group(1), 16) for m in re.finditer(
            r"^\s+0x([0-9a-fA-F]+)\s+_+DELAY_IMPORT_DESCRIPTOR_\S+$", f.read(), re.M)})
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x20B:
        image_base, dirs = struct.unpack_from("<Q", data, opt + 24)[0], opt + 112
    else:
        image_base, dirs = struct.unpack_from("<I", data, opt + 28)[0], opt + 96
    entry = dirs + 8 * DELAY_IMPORT_ENTRY
    if not addresses:
        struct.pack_into("<II", data, entry, 0, 0)
    else:
        rvas = [a - image_base for a in addresses]
        if any(b - a != DESCRIPTOR_SIZE for a, b in zip(rvas, rvas[1:])):
            sys.exit(f"{exe}: delay-load descriptors are not one table: {[hex(r) for r in rvas]}")
        end = file_offset(data, pe, opt + opt_size, nsections, rvas[-1] + DESCRIPTOR_SIZE)
        if any(data[end:end + DESCRIPTOR_SIZE]):
            sys.exit(f"{exe}: no zero descriptor after the delay-load table")
        struct.pack_into("<II", data, entry, rvas[0], DESCRIPTOR_SIZE * (len(rvas) + 1))
    with open(exe, "wb") as f:
        f.write(data)


def file_offset(data, pe, sections, nsections, rva):
    for i in range(nsections):
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, sections + 40 * i + 8)
        if vaddr <= rva < vaddr + max(vsize, rsize):
            return raddr + rva - vaddr
    sys.exit(f"no section holds RVA {rva:#x}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
