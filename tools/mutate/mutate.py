#!/usr/bin/env python3
"""The steps of scripts/mutate that are easier in Python than in the shell.

  mutate.py plan ROOT PLAN SEED SAMPLE PATH...   mutants of files or folders of src, sampled
  mutate.py apply ROOT PLAN ID WORK               writes mutant ID into its file
  mutate.py suites ROOT BUILD PROGRAM PLAN OUT    which suites see each planned file
  mutate.py fingerprint SUITES TIMES OUT          hashes of what each suite runs, its time
  mutate.py order SUITES PRISTINE TREE [FILE]     the suites that see the file, quickest first
  mutate.py changed SUITES PRISTINE SUITE         exit status 0: the suite's executables differ
                                                  from those of its last unmutated pass
  mutate.py record PLAN ID STATUS SECONDS BY DETAIL RESULTS
                                                  one result row, and its line on screen
  mutate.py report RESULTS [OLD]                  survivors, the score per folder, changes
"""
import hashlib
import json
import os
import re
import sys

import mutants

SOURCES = (".cpp", ".h")
COLUMNS = ["id", "status", "seconds", "folder", "file", "line", "kind", "caught_by",
           "original", "mutated"]


def _read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def _plan_rows(plan):
    with open(plan, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def plan(root, out, seed, size, paths):
    files = []
    for path in paths:
        full = os.path.realpath(path)
        rel = os.path.relpath(full, root)
        if not rel.startswith("src" + os.sep) and rel != "src":
            sys.exit(f"mutate: {path} is not in src/")
        if os.path.isdir(full):
            for folder, _, names in os.walk(full):
                files += [os.path.join(folder, n) for n in names if n.endswith(SOURCES)]
        elif full.endswith(SOURCES):
            files.append(full)
        else:
            sys.exit(f"mutate: {path} is neither a folder nor a C++ file")
    found = []
    for full in sorted(set(files)):
        found += mutants.file_mutants(os.path.relpath(full, root), _read(full))
    chosen = mutants.sample(found, size, seed)
    with open(out, "w", encoding="utf-8") as f:
        for number, m in enumerate(chosen):
            f.write(json.dumps({"id": number, **m.__dict__}, ensure_ascii=False) + "\n")
    print(f"{len(found)} mutants in {len(set(files))} files; running {len(chosen)} (seed {seed})")


def apply(root, plan_file, number, work):
    """Keeps a pristine copy of the file and names it in work/active before writing the mutant,
    so that whatever ends the run can put the file back."""
    row = _plan_rows(plan_file)[int(number)]
    path = os.path.join(root, row["file"])
    text = _read(path)
    lines = text.split("\n")
    if lines[row["line"] - 1] != row["original"]:
        sys.exit(f"mutate: {row['file']}:{row['line']} changed since the mutants were made")
    with open(os.path.join(work, "pristine"), "w", encoding="utf-8", newline="") as f:
        f.write(text)
    with open(os.path.join(work, "active"), "w", encoding="utf-8") as f:
        f.write(row["file"])
    lines[row["line"] - 1] = row["mutated"]
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("\n".join(lines))
    print(f"{row['file']}:{row['line']} {row['kind']}")


# --- Which suites see a file: from CMake's file API (targets, their sources and dependencies)
# --- and CTest's list of tests, with the #include graph for headers.

def _tests(build):
    """Each test's name and command, as CTest's files in the build tree hold them (CTest itself
    names a command only once its executable is built)."""
    add_test = re.compile(r'^add_test\(\[=\[(.+?)\]=\] (.*)\)$', re.M)
    for folder, _, names in os.walk(build):
        if "CTestTestfile.cmake" in names:
            for name, args in add_test.findall(_read(os.path.join(folder, "CTestTestfile.cmake"))):
                yield name, re.findall(r'"([^"]*)"', args)


def _includers(root):
    """For each file, the files that include it (directly)."""
    by_included = {}
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
    for top in ("src", "tests"):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not name.endswith((".cpp", ".h", ".rc")):
                    continue
                path = os.path.join(folder, name)
                for inc in include.findall(_read(path)):
                    for base in (folder, os.path.join(root, "src"),
                                 os.path.join(root, "tests", "win"),
                                 os.path.join(root, "src", "resources")):
                        target = os.path.normpath(os.path.join(base, inc))
                        if os.path.exists(target):
                            by_included.setdefault(target, set()).add(path)
                            break
    return by_included


def _reaching(path, includers):
    """The file and every file that includes it, directly or not."""
    seen, todo = {path}, [path]
    while todo:
        for includer in includers.get(todo.pop(), ()):
            if includer not in seen:
                seen.add(includer)
                todo.append(includer)
    return seen


class _Model:
    """A build tree's targets as CMake's file API gives them."""

    def __init__(self, root, build):
        self.root, self.build = root, build
        reply = os.path.join(build, ".cmake", "api", "v1", "reply")
        index = sorted(n for n in os.listdir(reply) if n.startswith("index-"))[-1]
        with open(os.path.join(reply, index)) as f:
            model = next(o for o in json.load(f)["objects"] if o["kind"] == "codemodel")
        with open(os.path.join(reply, model["jsonFile"])) as f:
            config = json.load(f)["configurations"][0]
        self.targets = {}
        for entry in config["targets"]:
            with open(os.path.join(reply, entry["jsonFile"])) as f:
                self.targets[entry["id"]] = json.load(f)
        self.by_artifact = {self.path(a["path"]): t for t in self.targets.values()
                            for a in t.get("artifacts", [])}

    def path(self, relative):
        return os.path.normpath(os.path.join(self.build, relative))

    def closure(self, target):
        """The target and every target it depends on, directly or not."""
        seen, todo = {target["id"]}, [target["id"]]
        while todo:
            for d in self.targets[todo.pop()].get("dependencies", []):
                if d["id"] not in seen:
                    seen.add(d["id"])
                    todo.append(d["id"])
        return [self.targets[i] for i in seen]

    def sees(self, target, reach):
        """Whether the target or one it depends on compiles a file of reach."""
        return any({os.path.normpath(os.path.join(self.root, s["path"]))
                    for s in t.get("sources", [])} & reach for t in self.closure(target))

    def runs(self, target):
        """The executables and DLLs that running the target involves."""
        return [self.path(a["path"]) for t in self.closure(target)
                if t["type"] in ("EXECUTABLE", "SHARED_LIBRARY", "MODULE_LIBRARY")
                for a in t.get("artifacts", []) if not a["path"].endswith((".pdb", ".a", ".lib"))]


def _tree_suites(model, tree, reaches, program, program_sees):
    """The tree's suites, each with what it runs and which of the files it sees: what it links,
    and for a suite that starts the program (named in its compile definitions) what the program
    links."""
    suites = {}
    for test, command in _tests(model.build):
        exe = next((model.by_artifact[c] for c in map(os.path.normpath, command)
                    if c in model.by_artifact), None)
        if exe is None:
            continue
        starts = any(program in d["define"] for g in exe.get("compileGroups", [])
                     for d in g.get("defines", []))
        see = {f for f, reach in reaches.items() if model.sees(exe, reach)}
        suites[test] = {"tree": tree, "target": exe["name"], "program": starts,
                        "files": model.runs(exe) + ([program] if starts else []),
                        "see": sorted(see | (set(program_sees) if starts else set()))}
    return suites


def suites(root, build, program, plan_file, out):
    files = sorted({row["file"] for row in _plan_rows(plan_file)})
    includers = _includers(root)
    reaches = {f: _reaching(os.path.join(root, f), includers) for f in files}
    model = _Model(root, os.path.join(build, "program-x86_64"))
    exe = model.by_artifact[os.path.normpath(program)]
    program_sees = [f for f in files if model.sees(exe, reaches[f])]
    found = {}
    for tree, folder in (("native", "native"), ("win", "win-x86_64")):
        found.update(_tree_suites(_Model(root, os.path.join(build, folder)), tree, reaches,
                                  program, program_sees))
    found = {n: s for n, s in found.items() if s["see"]}
    with open(out, "w") as f:
        json.dump({"program_sees": program_sees, "suites": found}, f, indent=1)
    for tree in ("native", "win"):
        names = sorted(n for n, s in found.items() if s["tree"] == tree)
        print(f"suites that see these files ({tree}): {' '.join(names) or 'none'}")


def _suites(suites_file):
    with open(suites_file) as f:
        return json.load(f)["suites"]


def _fingerprint(suite):
    h = hashlib.sha256()
    for path in sorted(suite["files"]):
        with open(path, "rb") as f:
            h.update(hashlib.sha256(f.read()).digest())
    return h.hexdigest()


def fingerprint(suites_file, times_file, out):
    """Keeps the hashes of what each suite ran when it last passed unmutated, and its time
    ("NAME SECONDS" lines; suites not run this time keep theirs)."""
    kept = {"prints": {}, "seconds": {}}
    if os.path.exists(out):
        with open(out) as f:
            kept = json.load(f)
    with open(times_file) as f:
        kept["seconds"].update({name: float(value) for name, value in map(str.split, f)})
    kept["prints"].update({name: _fingerprint(suite)
                           for name, suite in _suites(suites_file).items()})
    with open(out, "w") as f:
        json.dump(kept, f)


def order(suites_file, pristine_file, tree, file=None):
    """The suites of a tree that see the file (or any planned file), quickest first, each as
    "NAME TARGET STARTS_PROGRAM"."""
    seconds = {}
    if os.path.exists(pristine_file):
        with open(pristine_file) as f:
            seconds = json.load(f)["seconds"]
    found = _suites(suites_file)
    names = [n for n, s in found.items()
             if s["tree"] == tree and (file is None or file in s["see"])]
    for name in sorted(names, key=lambda n: (seconds.get(n, 0), n)):
        print(name, found[name]["target"], int(found[name]["program"]))


def changed(suites_file, pristine_file, suite):
    """Whether what the suite runs differs from what it ran when it last passed unmutated: exit
    status 0 if so."""
    pristine = {}
    if os.path.exists(pristine_file):
        with open(pristine_file) as f:
            pristine = json.load(f)["prints"]
    sys.exit(0 if _fingerprint(_suites(suites_file)[suite]) != pristine.get(suite) else 1)


# --- Results: one row per mutant, kept as TSV so that a later run can be compared.

def _escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "r": "\r"}.get(m.group(1), m.group(1)), text)


def record(plan_file, number, status, seconds, caught_by, detail, results):
    row = _plan_rows(plan_file)[int(number)]
    fields = [row["id"], status, seconds, os.path.dirname(row["file"]), row["file"], row["line"],
              row["kind"], caught_by or "-", row["original"], row["mutated"]]
    new = not os.path.exists(results)
    with open(results, "a", encoding="utf-8", newline="") as f:
        if new:
            f.write("\t".join(COLUMNS) + "\n")
        f.write("\t".join(_escape(str(field)) for field in fields) + "\n")
    by = f" by {caught_by}" if caught_by else ""
    print(f"  {status}{by} ({seconds} s{detail})")
    if status == "survived":
        _show(row["file"], row["line"], row["original"], row["mutated"])


def _show(file, line, original, mutated):
    print(f"SURVIVED {file}:{line}\n  - {original.strip()}\n  + {mutated.strip()}")


def _results(path):
    with open(path, encoding="utf-8", newline="") as f:
        lines = f.read().splitlines()
    return [dict(zip(COLUMNS, map(_unescape, line.split("\t")))) for line in lines[1:]]


def _keyed(rows):
    """Each row under a key that survives lines moving: the file, the line before and after, and
    which of the same change in that file it is."""
    seen = {}
    for r in sorted(rows, key=lambda r: (r["file"], int(r["line"]))):
        change = (r["file"], r["original"], r["mutated"])
        seen[change] = seen.get(change, 0) + 1
        yield change + (seen[change],), r


def report(results, old=None):
    rows = _results(results)
    survivors = [r for r in rows if r["status"] == "survived"]
    if survivors:
        print("\nSurvivors:")
        for r in sorted(survivors, key=lambda r: (r["file"], int(r["line"]))):
            _show(r["file"], r["line"], r["original"], r["mutated"])
    print(f"\n{'folder':<20} {'killed/mutants':>14} {'score':>6} {'build failed':>13} "
          f"{'unseen':>7} {'s/mutant':>9}")
    for folder in sorted({r["folder"] for r in rows}):
        mine = [r for r in rows if r["folder"] == folder]
        count = {s: sum(r["status"] == s for r in mine) for s in
                 ("killed", "survived", "build-failed", "unseen")}
        counted = count["killed"] + count["survived"]
        score = f"{100 * count['killed'] // counted}%" if counted else "-"
        seconds = sum(int(r["seconds"]) for r in mine) // len(mine)
        print(f"{folder:<20} {count['killed']:>7}/{counted:<6} {score:>6} "
              f"{count['build-failed']:>13} {count['unseen']:>7} {seconds:>9}")
    if old:
        before = dict(_keyed(_results(old)))
        moved = [(r, before[k]["status"]) for k, r in _keyed(rows)
                 if k in before and before[k]["status"] != r["status"]]
        print(f"\nChanged since {old}: {len(moved)}")
        for r, was in moved:
            print(f"  {r['file']}:{r['line']} {r['kind']}: {was} -> {r['status']}")


def main(args):
    commands = {"plan": lambda a: plan(a[0], a[1], int(a[2]), int(a[3]), a[4:]),
                "apply": lambda a: apply(*a),
                "suites": lambda a: suites(*a),
                "fingerprint": lambda a: fingerprint(*a),
                "order": lambda a: order(*a),
                "changed": lambda a: changed(*a),
                "record": lambda a: record(*a),
                "report": lambda a: report(*a)}
    if not args or args[0] not in commands:
        sys.exit(__doc__)
    commands[args[0]](args[1:])


if __name__ == "__main__":
    main(sys.argv[1:])
