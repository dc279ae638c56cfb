"""Checks that the docstrings of the stub file equal the module's own.

    python tools/ci/stub_docstrings.py PATH/TO/opticatcher-stubs/__init__.pyi

Every module function, class, method and property of the stub carries the
docstring that the imported module reports (its __doc__, without the text
signature, indentation cleaned as inspect.cleandoc does); of an overloaded
method, exactly one overload carries it. Exits 1 listing the differences.
"""

import ast
import inspect
import sys

import opticatcher


def runtime_doc(obj):
    doc = getattr(obj, "__doc__", None)
    return None if doc is None else inspect.cleandoc(doc)


def check_member(qualname, runtime, definitions, problems):
    docs = [ast.get_docstring(node) for node in definitions]
    docs = [doc for doc in docs if doc is not None]
    expected = runtime_doc(runtime)
    if len(docs) != 1:
        problems.append(f"{qualname}: {len(docs)} docstrings in the stub, expected 1")
    elif docs[0] != expected:
        problems.append(f"{qualname}: stub docstring\n{docs[0]!r}\ndiffers from the module's\n{expected!r}")


def defined(body):
    """Functions and classes of a body, by name (overloads under one name)."""
    found = {}
    for node in body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            found.setdefault(node.name, []).append(node)
    return found


def main(path):
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read(), path)
    problems = []
    if ast.get_docstring(tree) != runtime_doc(opticatcher):
        problems.append("module docstring differs from the module's")
    members = 0
    for name, nodes in defined(tree.body).items():
        if name.startswith("_"):
            continue
        runtime = getattr(opticatcher, name)
        check_member(name, runtime, nodes, problems)
        members += 1
        if isinstance(nodes[0], ast.ClassDef):
            for member, member_nodes in defined(nodes[0].body).items():
                if member.startswith("__"):
                    continue
                check_member(f"{name}.{member}", vars(runtime)[member], member_nodes, problems)
                members += 1
    for problem in problems:
        print(f"stub_docstrings: {problem}")
    if problems:
        return 1
    print(f"stub_docstrings: {members} docstrings match the module's")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
