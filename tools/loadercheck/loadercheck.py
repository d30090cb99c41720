#!/usr/bin/env python3
"""Checks that Windows can load an executable on its oldest supported system.

Wine exports every function whatever version it reports, so a program that imports a newer
function still starts there; on the real system the loader refuses it before any code runs.
This reads the import tables and the PE header's version fields and fails on
  - an import that is not on the list of known functions, or whose documented minimum Windows
    version is newer than the executable's oldest system,
  - operating-system or subsystem version fields other than that oldest system's version,
  - a delay-load slot that does not hold the address of code in the image: the first call through
    it would jump nowhere (a linker that drops the loader thunks leaves the slots 0).

  loadercheck.py [--list FILE] [--print] EXE...
"""
import argparse
import os
import struct
import sys

# Oldest system per machine type: i386 runs on Windows 2000 (5.0), x64 on Windows XP x64 and
# Server 2003 x64, which share one code base (5.2).
FLOORS = {0x014C: ("i686", (5, 0)), 0x8664: ("x86_64", (5, 2))}
# Minimums a list entry may name: nothing newer than the newest oldest system belongs on it.
VERSIONS = {"2000": (5, 0), "XP": (5, 1), "2003": (5, 2)}
DEFAULT_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports.txt")


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", self.data, pe + 4)
        opt_size = self.u16(pe + 20)
        opt = pe + 24
        magic = self.u16(opt)
        if magic not in (0x10B, 0x20B):
            raise PeError(f"unknown optional header magic {magic:#x}")
        self.pe32plus = magic == 0x20B
        self.image_base = struct.unpack_from("<Q", self.data, opt + 24)[0] if self.pe32plus \
            else self.u32(opt + 28)
        self.os_version = (self.u16(opt + 40), self.u16(opt + 42))
        self.subsystem_version = (self.u16(opt + 48), self.u16(opt + 50))
        dirs = opt + (112 if self.pe32plus else 96)
        count = self.u32(dirs - 4)
        self.dirs = [struct.unpack_from("<II", self.data, dirs + 8 * i) for i in range(count)]
        table = opt + opt_size
        self.sections = []
        self.code = []  # (start, end) RVAs of the executable sections
        for i in range(nsections):
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), raw))
            if self.u32(table + 40 * i + 36) & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
                self.code.append((va, va + vsize))

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError(f"RVA {rva:#x} lies in no section")

    def cstr(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii")

    def _entries(self, rva):
        """The values of a table of pointer-sized entries, up to the zero one."""
        size, fmt = (8, "<Q") if self.pe32plus else (4, "<I")
        off = self.offset(rva)
        while value := struct.unpack_from(fmt, self.data, off)[0]:
            yield value
            off += size

    def _thunks(self, rva):
        flag = 1 << 63 if self.pe32plus else 1 << 31
        for value in self._entries(rva):
            yield f"@{value & 0xFFFF}" if value & flag else self.cstr((value & 0x7FFFFFFF) + 2)

    def _descriptors(self, index, size):
        if index < len(self.dirs) and self.dirs[index][0]:
            off = self.offset(self.dirs[index][0])
            while any(self.data[off:off + size]):
                yield off
                off += size

    def imports(self):
        """(dll, function) pairs of the import table and the delay-load import table."""
        result = []
        # Import descriptor: lookup table, time stamp, forwarder, name, address table.
        # Delay-load descriptor: attributes, name, module handle, address table, lookup table.
        for index, entry_size, name_at, lookup_at, iat_at in ((1, 20, 12, 0, 16), (13, 32, 4, 16, 12)):
            for off in self._descriptors(index, entry_size):
                dll = self.cstr(self.u32(off + name_at))
                lookup = self.u32(off + lookup_at) or self.u32(off + iat_at)
                result += [(dll, fn) for fn in self._thunks(lookup)]
        return result

    def delay_slots(self):
        """(dll, function, slot value, file offset) of each delay-load slot: until its first call
        it holds the address of the loader thunk, which the file gives as a virtual address."""
        result = []
        for off in self._descriptors(13, 32):
            dll = self.cstr(self.u32(off + 4))
            names = list(self._thunks(self.u32(off + 16)))
            slot = self.offset(self.u32(off + 12))
            fmt, size = ("<Q", 8) if self.pe32plus else ("<I", 4)
            for i, fn in enumerate(names):
                at = slot + size * i
                result.append((dll, fn, struct.unpack_from(fmt, self.data, at)[0], at))
        return result

    def in_code(self, address):
        rva = address - self.image_base
        return any(start <= rva < end for start, end in self.code)


def read_list(path):
    """{(dll in lower case, function): (minimum version, name of it, architectures or None)}"""
    known = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if len(fields) not in (3, 4) or fields[2] not in VERSIONS:
                raise SystemExit(f"{path}:{number}: expected 'DLL function minimum [arch]' "
                                 f"with minimum one of {', '.join(VERSIONS)}")
            dll, fn, minimum = fields[:3]
            arch = fields[3] if len(fields) == 4 else None
            if arch not in (None, "i686", "x86_64"):
                raise SystemExit(f"{path}:{number}: unknown architecture {arch}")
            known[(dll.lower(), fn)] = (VERSIONS[minimum], minimum, arch)
    return known


def version_text(v):
    return f"{v[0]}.{v[1]}"


def check(path, known, show):
    pe = PeFile(path)
    if pe.machine not in FLOORS:
        return [f"unknown machine type {pe.machine:#x}"]
    arch, floor = FLOORS[pe.machine]
    faults = []
    for field, value in (("operating system version", pe.os_version),
                         ("subsystem version", pe.subsystem_version)):
        if value != floor:
            faults.append(f"{field} {version_text(value)}, expected {version_text(floor)}")
    imports = pe.imports()
    for dll, fn in imports:
        entry = known.get((dll.lower(), fn))
        if show:
            print(f"  {dll} {fn} {entry[1] if entry else '?'}")
        if entry is None:
            faults.append(f"{dll} {fn}: not on the list")
        elif entry[2] not in (None, arch):
            faults.append(f"{dll} {fn}: listed for {entry[2]} only")
        elif entry[0] > floor:
            faults.append(f"{dll} {fn}: needs Windows {entry[1]}, newer than {version_text(floor)}")
    for dll, fn, value, _ in pe.delay_slots():
        if show:
            print(f"  delay-load slot {dll} {fn} {value:#x}")
        if not pe.in_code(value):
            faults.append(f"{dll} {fn}: delay-load slot {value:#x} points to no code in the image")
    dlls = len({dll.lower() for dll, _ in imports})
    print(f"{path}: {arch}, oldest system {version_text(floor)}, {len(imports)} imports "
          f"from {dlls} DLLs, {len(faults)} faults")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--list", default=DEFAULT_LIST, help="known functions and minimums")
    parser.add_argument("--print", action="store_true", help="list every import")
    parser.add_argument("exe", nargs="+")
    args = parser.parse_args()
    known = read_list(args.list)
    failed = False
    for exe in args.exe:
        try:
            faults = check(exe, known, args.print)
        except (OSError, PeError, struct.error, ValueError) as e:
            faults = [f"cannot read: {e}"]
        for fault in faults:
            print(f"  FAIL {fault}")
        failed |= bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
