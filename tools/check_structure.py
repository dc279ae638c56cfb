#!/usr/bin/env python3
"""Checks the structure rules of the sources, which a reviewer could check by
hand but should not have to:

1. No two units of src/ include each other's headers, directly or around a
   longer loop (a unit is a header with the source file of the same name).
2. No file includes a header of a layer above its own. From the bottom: the
   shared headers (include/opticatcher/ and the small headers at the top of
   src/), the error values (src/errors.*), the platform (src/platform/), the
   binding with the NumPy side of frame output (src/binding/), and the entry
   point (src/module.cpp). So neither the platform nor the error values see
   anything of Python. A file of src/ in none of these is reported too.
3. No file of the binding layer (src/binding/) reaches the platform header
   platform/windows/win32.h, directly or through other headers: the binding
   sees the platform only through its Windows-free face.
4. The Capture class's glue (src/binding/capture_type.cpp) takes no lock: the
   platform code owns its locks.
5. winsim's DLL folders may include the fault table and misuse log (faults/)
   but never the control facade (control/), which sits on top of them.
6. winsim's build exports no include folder of the module's own sources.

Prints each broken rule and exits 1; prints a one-line summary otherwise.
"""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
SOURCE_ROOTS = [ROOT / "src", ROOT / "include"]
WINSIM_DLL_FOLDERS = ["capture", "combase", "d3d11", "desktop", "dwmapi", "kernel32", "ntdll",
                      "oleaut32", "shcore", "user32", "common"]


def quoted_includes(path):
    return INCLUDE.findall(path.read_text(encoding="utf-8"))


def resolve(including, name):
    """The file a quoted include names, searched next to the including file
    and then in the module's include folders; None for system headers."""
    for folder in [including.parent, *SOURCE_ROOTS]:
        candidate = (folder / name).resolve()
        if candidate.is_file():
            return candidate
    return None


def unit_of(path):
    return path.with_suffix("")


def src_files():
    return sorted(p for p in (ROOT / "src").rglob("*") if p.suffix in (".h", ".cpp"))


def unit_cycles():
    graph = {}
    for path in src_files():
        unit = unit_of(path)
        graph.setdefault(unit, set())
        for name in quoted_includes(path):
            target = resolve(path, name)
            if target is not None and (ROOT / "src") in target.parents:
                if unit_of(target) != unit:
                    graph[unit].add(unit_of(target))
    # Strongly connected components (Tarjan): every component of more than
    # one unit is a loop.
    index, low, stack, on_stack, loops = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                loops.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return [[str(u.relative_to(ROOT / "src")) for u in loop] for loop in loops]


LAYERS = ["the shared headers", "the error values", "the platform", "the binding",
          "the entry point"]


def layer_of(path):
    """The index in LAYERS of a file of src/ or include/, or None."""
    relative = path.relative_to(ROOT)
    if relative.parts[0] == "include":
        return 0
    below_src = relative.parts[1:]
    if len(below_src) == 1:
        if below_src[0] == "module.cpp":
            return 4
        return 1 if path.stem == "errors" else 0
    return {"platform": 2, "binding": 3}.get(below_src[0])


def layer_problems():
    problems = []
    files = src_files() + sorted(p for p in (ROOT / "include").rglob("*") if p.suffix == ".h")
    for path in files:
        own = layer_of(path)
        name = path.relative_to(ROOT)
        if own is None:
            problems.append(f"{name} is in no layer (tools/check_structure.py names them)")
            continue
        for included in quoted_includes(path):
            target = resolve(path, included)
            if target is None or not any(root in target.parents for root in SOURCE_ROOTS):
                continue
            theirs = layer_of(target)
            if theirs is not None and theirs > own:
                problems.append(f"{name} ({LAYERS[own]}) includes {included} ({LAYERS[theirs]}), "
                                "a layer above its own")
    return problems


def reaches(path, forbidden, seen=None):
    """The include chain from `path` to `forbidden`, or None."""
    seen = set() if seen is None else seen
    for name in quoted_includes(path):
        target = resolve(path, name)
        if target is None or target in seen:
            continue
        seen.add(target)
        if target == forbidden:
            return [target]
        chain = reaches(target, forbidden, seen)
        if chain is not None:
            return [target, *chain]
    return None


def main():
    problems = []

    for loop in unit_cycles():
        problems.append("units of src/ include each other's headers: " + " <-> ".join(loop))

    problems.extend(layer_problems())

    win32 = (ROOT / "src/platform/windows/win32.h").resolve()
    for path in sorted((ROOT / "src/binding").glob("*")):
        chain = reaches(path, win32)
        if chain is not None:
            steps = " -> ".join(str(p.relative_to(ROOT)) for p in [path, *chain])
            problems.append(f"the binding layer reaches the platform header: {steps}")

    glue = ROOT / "src/binding/capture_type.cpp"
    for number, line in enumerate(glue.read_text(encoding="utf-8").splitlines(), 1):
        if re.search(r"\b(mutex|lock_guard|unique_lock|scoped_lock)\b|\.lock\(", line):
            problems.append(f"{glue.relative_to(ROOT)}:{number} takes a lock: {line.strip()}")

    for folder in WINSIM_DLL_FOLDERS:
        for path in sorted((ROOT / "winsim" / folder).glob("*")):
            for name in quoted_includes(path):
                if name.startswith("control/"):
                    problems.append(f"{path.relative_to(ROOT)} includes the control facade {name}")

    winsim_cmake = (ROOT / "winsim/CMakeLists.txt").read_text(encoding="utf-8")
    if re.search(r"\.\./src\b", winsim_cmake):
        problems.append("winsim/CMakeLists.txt exports the module's src/ folder")

    for problem in problems:
        print(f"structure: {problem}")
    if problems:
        return 1
    print(f"structure: OK ({len(src_files())} files of src/; 6 rules)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
