#!/usr/bin/env python3
"""Links an executable so that every delay-loaded function it calls has its loader thunk.

The code calls a DLL function through its import pointer (__imp__Name@N), which a delay-import
library defines in the slot that should hold the thunk's address. The i686 GNU linker keeps that
slot but drops the thunk (binutils bug 14339): the slot stays 0 and the first call jumps there.
Naming each thunk to the linker keeps it. The names come from the link itself: the undefined
import pointers of the objects and archives on the command line that the delay libraries export.

Used as the linker launcher (CMake's CXX_LINKER_LAUNCHER):
  delay_link.py NM DELAYLIB... -- LINKER ARG...
"""
import os
import shlex
import subprocess
import sys


def expand(args):
    """The arguments with every @file replaced by the arguments it holds."""
    out = []
    for arg in args:
        if arg.startswith("@") and os.path.isfile(arg[1:]):
            with open(arg[1:], encoding="utf-8") as f:
                out += expand(shlex.split(f.read()))
        else:
            out.append(arg)
    return out


def symbols(nm, paths, option):
    """(kind letter, name) of each symbol nm lists in the files."""
    if not paths:
        return []
    text = subprocess.run([nm, option, *paths], check=True, capture_output=True,
                          text=True).stdout
    result = []
    for line in text.splitlines():
        fields = line.split()
        if len(fields) >= 2 and len(fields[-2]) == 1:
            result.append((fields[-2], fields[-1]))
    return result


def thunks(nm, delay_libs, inputs):
    """The thunk names of the delay-loaded functions that the inputs call, sorted."""
    exported = {name for kind, name in symbols(nm, delay_libs, "-g")
                if kind == "I" and name.startswith("__imp_")}
    called = {name for kind, name in symbols(nm, inputs, "-u") if kind == "U"}
    return sorted(name[len("__imp_"):] for name in exported & called)


def main(argv):
    if "--" not in argv or argv.index("--") < 2:
        sys.exit(__doc__)
    split = argv.index("--")
    nm, delay_libs, command = argv[0], argv[1:split], argv[split + 1:]
    delay = {os.path.realpath(lib) for lib in delay_libs}
    args = expand(command[1:])
    if any(os.path.realpath(a) in delay for a in args if a.endswith(".a")):
        inputs = [a for a in args if a.endswith((".o", ".obj", ".a")) and os.path.isfile(a)
                  and os.path.realpath(a) not in delay]
        command += [f"-Wl,--undefined={name}" for name in thunks(nm, delay_libs, inputs)]
    return subprocess.call(command)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
