#!/usr/bin/env python3
"""Which lines the mutant maker changes, how, and which it leaves alone."""
import unittest

import mutants


CONDITIONAL = ("#if 0\nbool x = a == 1;\n#elif defined(_MSC_VER)\nbool y = a == 1;\n"
               "#else\nbool z = a == 1;\n#endif\n")


def in_function(*lines):
    """A function around the lines: they start at line 2."""
    return "void F() {\n" + "\n".join(lines) + "\n}\n"


def mutated(source, line):
    return sorted(m.mutated.strip() for m in mutants.file_mutants("x.cpp", source)
                  if m.line == line)


class MutatedLines(unittest.TestCase):
    CASES = [
        dict(what="comparison negated and at its boundary",
             source=in_function("    ok = a < b;"), line=2,
             expect=["ok = a <= b;", "ok = a >= b;"]),
        dict(what="logical operators swapped, negation dropped",
             source=in_function("    ok = !a && b;"), line=2,
             expect=["ok = !a || b;", "ok = a && b;"]),
        dict(what="condition forced both ways, operator flipped",
             source=in_function("    if (a == 0)", "        Run();"), line=2,
             expect=["if (a != 0)", "if (a == 1)", "if (false)", "if (true)"]),
        dict(what="a loop only forced to stop, not to run for ever",
             source=in_function("    while (busy)", "        Wait();"), line=2,
             expect=["while (false)"]),
        dict(what="the init-statement of a condition kept",
             source=in_function("    if (H old = Take(); Valid(old))", "        Close(old);"),
             line=2,
             expect=["if (H old = Take(); false)", "if (H old = Take(); true)"]),
        dict(what="numbers: 0 and 1 swapped, codes one more, large numbers a tenth more",
             source=in_function("    Put(0, 1, 0x3A, 7, 3420);"), line=2,
             expect=[";", "Put(0, 0, 0x3A, 7, 3420);", "Put(0, 1, 0x3A, 7, 3762);",
                     "Put(0, 1, 0x3A, 8, 3420);", "Put(0, 1, 0x3B, 7, 3420);",
                     "Put(1, 1, 0x3A, 7, 3420);"]),
        dict(what="each flag dropped from a chain",
             source="const DWORD style = WS_CHILD | WS_TABSTOP | WS_VISIBLE;", line=1,
             expect=["const DWORD style = WS_CHILD | WS_TABSTOP;",
                     "const DWORD style = WS_CHILD | WS_VISIBLE;",
                     "const DWORD style = WS_TABSTOP | WS_VISIBLE;"]),
        dict(what="a return value dropped", source=in_function("    return Count(list);"),
             line=2, expect=["return {};"]),
        dict(what="a returned truth flipped once, not also dropped",
             source=in_function("    return TRUE;"), line=2, expect=["return FALSE;"]),
        dict(what="a call statement dropped", source=in_function("    ::ShowWindow(h, SW_SHOW);"),
             line=2, expect=[";"]),
        dict(what="the branch MinGW compiles", source=CONDITIONAL, line=6,
             expect=["bool z = a != 1;", "bool z = a == 0;"]),
        dict(what="statements in a case's own block",
             source=in_function("    switch (k) {", "    case 1: {", "        Run();", "    }",
                                "    }"),
             line=4, expect=[";"]),
    ]

    def test_mutants_of_a_line(self):
        for case in self.CASES:
            with self.subTest(case["what"]):
                self.assertEqual(mutated(case["source"], case["line"]), case["expect"])


class LinesLeftAlone(unittest.TestCase):
    CASES = [
        dict(what="a comment", source=in_function("    // if (a == 1) return false;"), line=2),
        dict(what="a block comment's inner line",
             source=in_function("    /* first", "       a == 1 */", "    Run();"), line=3),
        dict(what="user text", source="const char* kText = \"a < b || 3 != 4\";", line=1),
        dict(what="a raw string's inner line",
             source=in_function("    Print(R\"(", "  a == 1 && 2", ")\");"), line=3),
        dict(what="a preprocessor line", source="#define kCount (a == 1 ? 2 : 3)", line=1),
        dict(what="code no build compiles", source=CONDITIONAL, line=2),
        dict(what="code only MSVC compiles", source=CONDITIONAL, line=4),
        dict(what="template brackets", source="std::vector<std::pair<int, int>> Rows();",
             line=1),
        dict(what="a compile-time check", source="static_assert(kCount == 3);", line=1),
        dict(what="default arguments", source="void Put(HWND to, int width = 0, bool on = true);",
             line=1),
        dict(what="an array's size", source=in_function("    wchar_t buffer[256];"), line=2),
        dict(what="a constructor's declaration in a class",
             source="class A {\n  public:\n    A(std::string name, int& count);\n};\n", line=3),
        dict(what="the last line of a call spread over lines",
             source=in_function("    const bool ok = Check(a) ||", "        Other(b);"), line=3),
        dict(what="a start-up trace mark", source=in_function("    StartupTrace::Mark(\"x\");"),
             line=2),
    ]

    def test_no_mutants(self):
        for case in self.CASES:
            with self.subTest(case["what"]):
                self.assertEqual(mutated(case["source"], case["line"]), [])


class Sampling(unittest.TestCase):
    SOURCE = in_function(*(f"    if (a == {n})\n        Run({n});" for n in range(2, 12)))

    def test_sample_depends_only_on_the_seed(self):
        found = mutants.file_mutants("x.cpp", self.SOURCE)
        first = mutants.sample(found, 5, seed=7)
        self.assertEqual(first, mutants.sample(list(reversed(found)), 5, seed=7))
        self.assertNotEqual(first, mutants.sample(found, 5, seed=8))
        self.assertEqual(len(first), 5)

    def test_larger_sample_begins_with_the_smaller(self):
        found = mutants.file_mutants("x.cpp", self.SOURCE)
        for seed in range(1, 6):
            with self.subTest(seed=seed):
                self.assertEqual(mutants.sample(found, 8, seed)[:5], mutants.sample(found, 5, seed))

    def test_no_size_takes_every_mutant(self):
        found = mutants.file_mutants("x.cpp", self.SOURCE)
        self.assertEqual(sorted(mutants.sample(found, 0, seed=1), key=str), sorted(found, key=str))


if __name__ == "__main__":
    unittest.main()
