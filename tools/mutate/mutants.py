"""One-line mutants of C++ source: each is the file with a single line changed, a fault of the
kind a slip of the hand makes (a comparison turned round, a condition forced, a constant off, a
flag, a return value or a call dropped).

Comments, string and character literals (user texts, log texts), preprocessor lines, code that
no build compiles (#if 0) and declarations (templates, prototypes with their default arguments,
using, static_assert) give no mutants. The source is clang-formatted: binary operators stand
between spaces, which tells a comparison from a template bracket.
"""
import random
import re
from dataclasses import dataclass


@dataclass(frozen=True)
class Mutant:
    file: str
    line: int  # 1-based
    kind: str
    original: str
    mutated: str


# --- Masking: the code of each line with comments blanked and literal contents emptied, at the
# --- same columns, so that operators and numbers are found only where the compiler sees code.

def mask(text):
    """Returns one masked line per line of text: comment characters become spaces, the inside of
    string and character literals spaces, preprocessor lines (with their continuations) and
    lines under #if 0 nothing but spaces."""
    out = []
    state = "code"  # code, block (comment), raw (string)
    raw_end = ""
    dead = []  # per open #if: whether its lines are compiled by no build
    continued = False  # a preprocessor line ending in a backslash
    for line in text.split("\n"):
        chars = list(line)
        if state == "code" and (continued or line.lstrip().startswith("#")):
            if not continued:
                _directive(line.strip(), dead)
            continued = line.endswith("\\")
            out.append(" " * len(line))
            continue
        if any(dead):
            out.append(" " * len(line))
            continue
        i = 0
        while i < len(chars):
            c = line[i]
            if state == "block":
                end = line.find("*/", i)
                stop = len(line) if end < 0 else end + 2
                chars[i:stop] = " " * (stop - i)
                if end >= 0:
                    state = "code"
                i = stop
            elif state == "raw":
                end = line.find(raw_end, i)
                stop = len(line) if end < 0 else end + len(raw_end) - 1
                chars[i:stop] = " " * (stop - i)
                if end >= 0:
                    state = "code"
                i = stop + (1 if end >= 0 else 0)
            elif line.startswith("//", i):
                chars[i:] = " " * (len(line) - i)
                break
            elif line.startswith("/*", i):
                state = "block"
            elif c == '"' and re.search(r"(?:^|[^\w])(?:u8|[uUL])?R$", line[:i]):
                start = line.index("(", i)
                raw_end = ")" + line[i + 1:start] + '"'
                chars[i + 1:start + 1] = " " * (start - i)
                state = "raw"
                i = start + 1
            elif c in "\"'" and not (c == "'" and _in_number(line, i)):
                j = i + 1
                while j < len(line) and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                stop = min(j, len(line))
                chars[i + 1:stop] = " " * (stop - i - 1)
                i = stop + 1
            else:
                i += 1
        out.append("".join(chars))
    return out


def _directive(directive, dead):
    words = re.sub(r"^#\s*", "", directive).split(None, 1)
    name, arg = (words + [""])[:2] if words else ("", "")
    # Compiled by no build: #if 0, and what only MSVC compiles (MinGW builds everything). Any
    # other branch may be compiled: the build tells.
    never = name != "ifndef" and bool(re.fullmatch(r"0|(defined\s*\(?\s*)?_MSC_VER\)?",
                                                    arg.strip()))
    if name in ("if", "ifdef", "ifndef"):
        dead.append(never)
    elif name == "elif" and dead:
        dead[-1] = never
    elif name == "else" and dead:
        dead[-1] = False
    elif name == "endif" and dead:
        dead.pop()


def _in_number(line, i):
    """A quote inside a number is a digit separator (1'000)."""
    m = re.search(r"[\w.']*$", line[:i])
    return bool(m and m.group(0)[:1].isdigit())


# --- Which lines are declarations: their numbers and operators are types, sizes and defaults.

_DECLARATION_START = re.compile(
    r"(template\b|using\b|typedef\b|namespace\b|static_assert\b|friend\b|extern\b|"
    r"(class|struct|union|enum)\b[^=;(]*(\{|$)|(public|private|protected)\s*:)")
# A parameter with a type, a name and a default value: "int width = 0".
_DEFAULT_ARGUMENT = re.compile(r"[\w:<>]+[\s*&]+\w+\s*=")
_SPECIAL_MEMBER = re.compile(r"\)\s*(const\s*)?(noexcept\s*)?=\s*(0|default|delete)\s*;$")


def _is_declaration(code):
    if _DECLARATION_START.match(code) or _SPECIAL_MEMBER.search(code):
        return True
    # A function head or prototype with default arguments: a call never has "Type name = x".
    head = re.match(r"([\w:~<>,*&\s]+?)\s*\(", code)
    if head and not re.match(r"(return|if|while|for|switch|case|else|do)\b", head.group(1)):
        close = _closing_paren(code, head.end() - 1) or len(code)
        items = _split_top_level(code[head.end():close])
        return any(_DEFAULT_ARGUMENT.match(item.strip()) for item in items)
    return False


def _split_top_level(text):
    items, depth, item = [], 0, ""
    for c in text:
        depth += (c in "(<{[") - (c in ")>}]")
        if c == "," and depth == 0:
            items.append(item)
            item = ""
        else:
            item += c
    return items + [item]


# --- The mutation operators. Each yields (start, end, replacement) on the line.

_NEGATE = {"==": "!=", "!=": "==", "<": ">=", ">": "<=", "<=": ">", ">=": "<"}
_BOUNDARY = {"<": "<=", ">": ">=", "<=": "<", ">=": ">"}
_LOGIC = {"&&": "||", "||": "&&"}
_OPERATOR = re.compile(r"<<=|>>=|<=>|==|!=|<=|>=|&&|\|\||<<|>>|->|\|=|[<>!|]")
# Calls whose only effect is a trace nobody but the start-up benchmark reads.
_LOGGING_CALLS = ("StartupTrace::",)
_KEYWORDS = {"return", "if", "while", "for", "switch", "sizeof", "static_assert", "delete",
             "throw", "case", "do", "else", "new", "alignof", "decltype", "noexcept"}


def _operators(code):
    for m in _OPERATOR.finditer(code):
        op, start, end = m.group(0), m.start(), m.end()
        spaced = code[start - 1:start] == " " and code[end:end + 1] == " "
        if re.search(r"operator\s*$", code[:start]):
            continue
        if op in _NEGATE and spaced:
            yield "negate", start, end, _NEGATE[op]
            if op in _BOUNDARY:
                yield "boundary", start, end, _BOUNDARY[op]
        elif op in _LOGIC and spaced:
            yield "logic", start, end, _LOGIC[op]
        elif op == "!" and re.match(r"[\w(:*]", code[end:end + 1]):
            yield "not", start, end, ""
        elif op == "|" and spaced:
            yield from _flag_drops(code, start)


_OPERAND = r"[\w:]+(?:\([\w:, ]*\))?"


def _flag_drops(code, bar):
    """A flag dropped from an "A | B" chain: the operand right of this bar, and for the first bar
    of a chain also the one left of it."""
    right = re.match(r" \| (" + _OPERAND + r")(?=$|[ ),;}])", code[bar - 1:])
    if right and not code[bar - 1 + right.end():].startswith((" .", " ->", " (")):
        yield "flag", bar - 1, bar - 1 + right.end(), ""
    left = re.search(r"(^|[(={,] ?|return )(" + _OPERAND + r") $", code[:bar])
    if left:
        yield "flag", left.start(2), bar + 2, ""


_NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F']+|\d[\d']*(?:\.\d+)?)([uUlLfF]*)(?![\w.])")
# An array's size in its declaration: a larger buffer changes nothing that can be seen.
_ARRAY_SIZE = re.compile(r"\w\s+[*&]?\w+\s*\[\s*$")


def _changed_number(text):
    digits = text.replace("'", "")
    if digits[:2] in ("0x", "0X"):
        value = int(digits, 16) + 1
        width = len(digits) - 2
        return digits[:2] + (f"{value:0{width}X}" if digits[2:].isupper() or digits[2:].isdigit()
                             else f"{value:0{width}x}")
    if "." in digits:
        return repr(float(digits) + 1)
    value = int(digits)
    if value in (0, 1):
        return str(1 - value)
    # Sizes and layout numbers: one more would often be lost in rounding; a tenth is not.
    return str(value + value // 10 if value >= 100 else value + 1)


_FLIPPED = {"true": "false", "false": "true", "TRUE": "FALSE", "FALSE": "TRUE"}


def _constants(code):
    for m in _NUMBER.finditer(code):
        if _ARRAY_SIZE.search(code[:m.start()]):
            continue
        yield "const", m.start(1), m.end(1), _changed_number(m.group(1))
    for m in re.finditer(r"\b(true|false|TRUE|FALSE)\b", code):
        yield "const", m.start(), m.end(), _FLIPPED[m.group(1)]


def _conditions(code):
    for m in re.finditer(r"\b(if|while)\s*\(", code):
        close = _closing_paren(code, m.end() - 1)
        if close is None:
            continue
        start = m.end()
        semicolon = _top_level(code, start, close, ";")
        if semicolon is not None:  # if (init; condition)
            start = semicolon + 1
            while code[start] == " ":
                start += 1
        condition = code[start:close]
        forced = ["false"] if m.group(1) == "while" else ["true", "false"]
        for value in forced:
            if condition.strip() != value:
                yield f"cond-{value}", start, close, value


def _closing_paren(code, open_at):
    depth = 0
    for i in range(open_at, len(code)):
        if code[i] == "(":
            depth += 1
        elif code[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return None


def _top_level(code, start, stop, char):
    depth = 0
    for i in range(start, stop):
        if code[i] in "([{":
            depth += 1
        elif code[i] in ")]}":
            depth -= 1
        elif code[i] == char and depth == 0:
            return i
    return None


def _statements(code, previous):
    """A return value, a whole call or a flag statement dropped: only statements on one line, the
    previous line having ended its own."""
    stripped = code.strip()
    if not re.search(r"([;{}:)]|\belse)$", previous.rstrip()):
        return
    indent = len(code) - len(code.lstrip())
    ret = re.fullmatch(r"return (.+);", stripped)
    if ret:
        value = ret.group(1).strip()
        if value in _FLIPPED:
            return  # the constant's flip is the same mutant
        trivial = value in ("nullptr", "{}", "NULL", "std::nullopt", "*this")
        if not trivial and not _NUMBER.fullmatch(value.lstrip("-")):
            yield "return", indent + len("return "), indent + len(stripped) - 1, "{}"
        return
    call = re.fullmatch(r"(::)?([A-Za-z_]\w*(?:(?:::|\.|->)~?[A-Za-z_]\w*)*)\s*\(.*\);", stripped)
    if call and call.group(2) not in _KEYWORDS and not stripped.startswith(_LOGGING_CALLS):
        first = indent + stripped.index("(")
        if _closing_paren(code, first) == indent + len(stripped) - 2:
            yield "call", indent, len(code.rstrip()), ";"
    if re.fullmatch(r"[\w.\->\[\]]+ (\|=|&=) [^;]+;", stripped):
        yield "flag", indent, len(code.rstrip()), ";"


def line_mutants(original, code, previous=";", in_block=True):
    """The mutants of one line: original is the line as written, code its masked form, previous
    the masked code of the line before it (blank lines and comments passed over), in_block
    whether the line starts among a function's statements (not in a class or an initializer)."""
    stripped = code.strip()
    if not stripped or _is_declaration(stripped):
        return []
    sites = [*_operators(code), *_constants(code)]
    if in_block:
        sites += [*_conditions(code), *_statements(code, previous)]
    return [(kind, original[:start] + replacement + original[end:])
            for kind, start, end, replacement in sites]


def file_mutants(path, text):
    masked = mask(text)
    mutants = []
    previous = ";"
    scopes = _Scopes()
    for number, (original, code) in enumerate(zip(text.split("\n"), masked), start=1):
        for kind, mutated in line_mutants(original, code, previous, scopes.in_block()):
            mutants.append(Mutant(path, number, kind, original, mutated))
        scopes.read(code)
        if code.strip():
            previous = code
    return mutants


class _Scopes:
    """Which braces a line stands in: a namespace or class body, a brace initializer, or a block
    of statements (a function's body and the blocks in it)."""

    def __init__(self):
        self.stack = []
        self.head = ""  # the code since the last ; { or }

    def in_block(self):
        return bool(self.stack) and self.stack[-1] == "block"

    def read(self, code):
        for c in code:
            if c == "{":
                self.stack.append(self._opened())
                self.head = ""
            elif c == "}":
                if self.stack:
                    self.stack.pop()
                self.head = ""
            elif c == ";":
                self.head = ""
            else:
                self.head += c
        self.head += " "

    def _opened(self):
        head = " ".join(self.head.split())
        if self.stack and self.stack[-1] == "init":
            return "init"
        if re.search(r"\bnamespace\b|^extern\b", head):
            return "class"
        if re.search(r"\b(class|struct|union|enum)\b( [\w:]+)*( ?:[^;=]*)?$", head):
            return "class"
        in_function = "block" in self.stack
        if re.search(r"\)( ?(const|noexcept|override|final|mutable|-> ?[\w:<>*&]+))* ?$", head):
            return "block"  # a function's body, a lambda's, or that of if, for, while, switch
        if re.search(r"(^|\b(else|do|try)|[]:])$", head.strip()) and (in_function or not head):
            return "block"  # also a case's own block, and a lambda's without parameters
        return "init"


def sample(mutants, size, seed):
    """A sample that depends only on the mutants and the seed, in the order to run them; a
    larger sample begins with a smaller one, as a run cut short by its budget does."""
    ordered = sorted(mutants, key=lambda m: (m.file, m.line, m.kind, m.mutated))
    random.Random(seed).shuffle(ordered)
    return ordered[:size] if size else ordered
