"""Checks that every entry into libwinsim.so has its exception guard.

An entry is a function that the library exports (as `nm -D` lists them: the
simulated Windows API and the control API) or a method of one of winsim's COM
and Windows Runtime objects (a member function declared `override`, `final` or
STDMETHODCALLTYPE). Every definition of one must be a function-try-block whose
only handler is `catch (...)` handing the exception to winsim::entry (see
winsim/common/entry_guard.h), and must not be noexcept, which would end the
process on a forced unwind instead of letting it through.

    python3 tools/check_entry_guards.py path/to/libwinsim.so [path/to/nm]

Prints what it checked; exits 1, naming each definition, when one is not
guarded or an exported function has no definition in winsim/.
"""

import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
WINSIM = ROOT / "winsim"
IDENTIFIER = re.compile(r"[A-Za-z_]\w*")
# What may stand between a definition's parameter list and its body.
SPECIFIERS = {"const", "override", "final", "volatile", "&", "&&"}
LITERAL_PREFIXES = {"u", "U", "L", "u8"}


def blank_comments_and_literals(text):
    """The text with comments and string/character literals replaced by
    spaces (line breaks kept), so that braces and names inside them do not
    count."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.index("*/", i) + 2
            blank(i, end)
            i = end
        elif c in "\"'":
            word = re.search(r"\w*$", text[:i]).group()
            if c == "'" and word and word not in LITERAL_PREFIXES:
                i += 1  # a digit separator: 1'000'000
                continue
            if c == '"' and word.endswith("R"):
                raise SystemExit("check_entry_guards: raw string literals are not handled")
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, j)
            i = j + 1
        else:
            i += 1
    return "".join(out)


def matching(text, start, opening, closing):
    """The index just past the bracket that closes the one at `start`."""
    depth = 0
    for i in range(start, len(text)):
        if text[i] == opening:
            depth += 1
        elif text[i] == closing:
            depth -= 1
            if depth == 0:
                return i + 1
    raise ValueError(f"unbalanced {opening}{closing}")


def tokens_from(text, i):
    """Yields (token, start) from index i on, skipping white space."""
    for match in re.finditer(r"\w+|&&|\S", text[i:]):
        yield match.group(), i + match.start()


def definitions(text, names):
    """(name, line, problem or None) for each definition of a function named
    in `names`: a name followed by a parameter list and then a body."""
    for match in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", text):
        name = match.group(1)
        if name not in names:
            continue
        after_parameters = matching(text, match.end() - 1, "(", ")")
        line = text.count("\n", 0, match.start()) + 1
        noexcept = False
        guarded = False
        for token, at in tokens_from(text, after_parameters):
            if token in SPECIFIERS:
                continue
            if token == "noexcept":
                noexcept = True
                continue
            if token == "try":
                guarded = True
                continue
            if token != "{":
                break  # a declaration or a call, not a definition
            yield name, line, check_body(text, at, guarded, noexcept)
            break


def check_body(text, body_start, guarded, noexcept):
    if noexcept:
        return "noexcept: a forced unwind would end the process"
    if not guarded:
        return "not a function-try-block"
    handler = re.compile(r"\s*catch\s*\(\s*\.\.\.\s*\)\s*\{")
    match = handler.match(text, matching(text, body_start, "{", "}"))
    if not match:
        return "its handler is not catch (...)"
    handler_end = matching(text, match.end() - 1, "{", "}")
    if "entry::" not in text[match.end():handler_end]:
        return "its handler does not go through winsim::entry"
    if re.match(r"\s*catch\b", text[handler_end:]):
        return "more than one handler"
    return None


def com_method_names(sources):
    names = set()
    for text in sources.values():
        for match in re.finditer(r"\bSTDMETHODCALLTYPE\s+(?:\w+::)*([A-Za-z_]\w*)\s*\(", text):
            names.add(match.group(1))
        for match in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", text):
            end = matching(text, match.end() - 1, "(", ")")
            following = next(tokens_from(text, end), ("", 0))[0]
            if following in ("override", "final"):
                names.add(match.group(1))
    return names


def exported_functions(library, nm="nm"):
    listing = subprocess.run(
        [nm, "-D", "--defined-only", str(library)], check=True, capture_output=True, text=True
    ).stdout
    return {fields[2] for fields in map(str.split, listing.splitlines())
            if len(fields) == 3 and fields[1] in "TWi"}


def main(argv):
    if len(argv) not in (2, 3):
        raise SystemExit(__doc__)
    exported = exported_functions(*argv[1:])
    paths = [p for p in sorted(WINSIM.rglob("*")) if p.suffix in (".cpp", ".h")
             and (WINSIM / "tests") not in p.parents
             and WINSIM / "include" not in p.parents]
    sources = {p: blank_comments_and_literals(p.read_text()) for p in paths}
    methods = com_method_names(sources)
    problems = []
    defined = {}
    count = 0
    for path, text in sources.items():
        for name, line, problem in definitions(text, exported | methods):
            count += 1
            defined[name] = defined.get(name, 0) + 1
            if problem:
                problems.append(f"{path.relative_to(ROOT)}:{line}: {name}: {problem}")
    for name in sorted(exported):
        if defined.get(name, 0) != 1:
            problems.append(f"{name}: exported, defined {defined.get(name, 0)} times in winsim/")
    for problem in problems:
        print(problem)
    print(f"check_entry_guards: {len(exported)} exported functions, {len(methods)} COM method "
          f"names, {count} entry definitions, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
