"""Checks the source distribution and the two wheels that tools/ci/packaging.sh built.

    python tools/ci/check_dists.py DIST_DIR SOURCE_DIR [--same-pyd PATH]

DIST_DIR holds exactly one sdist, one manylinux wheel and one win_amd64 wheel;
SOURCE_DIR is the clean export the sdist was made from (tracked files only).
The checks the standard tools do not make:

- the sdist holds exactly the exported files, plus PKG-INFO;
- both wheels and the sdist carry the same metadata (the wheels' METADATA
  files are identical), with the fields users and PyPI rely on, the README as
  the description, and a description that says what libwinsim.so is for;
- each wheel holds exactly the files its platform needs: on Windows the real
  module, opticatcher.pyd, and the notices of the runtime libraries linked
  into it; on Linux the module, winsim's control module and libwinsim.so; on
  both the licence and, when the source has them, the type stubs;
- opticatcher.pyd is a 64-bit Windows DLL that exports only its entry point,
  imports python3.dll and system DLLs only (Direct3D 11 among them: the real
  module, not one built against winsim), and carries no time stamp;
  --same-pyd PATH: it is byte for byte the .pyd of another build (the
  Windows cross-check's), made in another directory by another CMake run;
- opticatcher.abi3.so finds libwinsim.so through its run path.

Prints one line per distribution; exits 1 with every problem listed.
"""

from __future__ import annotations

import argparse
import email.parser
import email.policy
import io
import pathlib
import re
import sys
import tarfile
import tomllib
import zipfile

import pefile
from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile

# DLLs the .pyd may import besides python3.dll: ones every Windows 10/11 has
# (msvcrt.dll is mingw-w64's C runtime; api-ms-win-* are API sets). The same
# list as the cross-check's.
SYSTEM_DLL = re.compile(
    r"(kernel32|user32|gdi32|ole32|oleaut32|combase|advapi32|shell32|shcore|dwmapi|d3d11|dxgi"
    r"|d3dcompiler_47|msvcrt|ucrtbase|ntdll|version|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll",
    re.IGNORECASE,
)
WINDOWS_NOTICES = "mingw-w64-notices.txt"

problems: list[str] = []


def problem(text: str) -> None:
    problems.append(text)


def metadata_of(text: str) -> email.message.EmailMessage:
    return email.parser.Parser(policy=email.policy.compat32).parsestr(text)


def check_metadata(name: str, text: str, source: pathlib.Path, project: dict) -> None:
    meta = metadata_of(text)
    expected = {
        "Name": project["name"],
        "Version": project["version"],
        "Requires-Python": ">=3.9",
        "License-Expression": "MIT",
        "Description-Content-Type": "text/markdown",
    }
    for field, value in expected.items():
        if meta.get(field) != value:
            problem(f"{name}: {field} is {meta.get(field)!r}, expected {value!r}")
    if meta.get_all("License-File") != ["LICENSE"]:
        problem(f"{name}: License-File is {meta.get_all('License-File')}, expected ['LICENSE']")
    requires = meta.get_all("Requires-Dist") or []
    if not any(re.fullmatch(r"numpy\s*>=\s*[0-9.]+", r) for r in requires):
        problem(f"{name}: no unconditional Requires-Dist on numpy: {requires}")
    urls = meta.get_all("Project-URL") or []
    if not any(u.startswith(("Source, https://", "Homepage, https://")) for u in urls):
        problem(f"{name}: no Source or Homepage Project-URL: {urls}")
    description = meta.get_payload()
    readme = (source / "README.md").read_text(encoding="utf-8")
    if description.strip() != readme.strip():
        problem(f"{name}: the description is not README.md")
    if "libwinsim.so" not in description:
        problem(f"{name}: the description (README.md) does not say what libwinsim.so is for")


def source_stubs(source: pathlib.Path) -> set[str]:
    root = source / "stubs"
    if not (root / "opticatcher-stubs").is_dir():
        return set()
    return {
        p.relative_to(root).as_posix()
        for p in (root / "opticatcher-stubs").rglob("*")
        if p.is_file() and "__pycache__" not in p.parts
    }


def check_wheel(path: pathlib.Path, source: pathlib.Path, project: dict) -> tuple[str, bytes]:
    """Checks one wheel; returns its METADATA text and the module's bytes."""
    version = project["version"]
    dist_info = f"opticatcher-{version}.dist-info"
    with zipfile.ZipFile(path) as wheel:
        names = {n for n in wheel.namelist() if not n.endswith("/")}
        wheel_file = wheel.read(f"{dist_info}/WHEEL").decode()
        metadata = wheel.read(f"{dist_info}/METADATA").decode()
        windows = path.name.endswith("-win_amd64.whl")
        module_name = "opticatcher.pyd" if windows else "opticatcher.abi3.so"
        module = wheel.read(module_name) if module_name in names else b""
        winsim_lib = wheel.read("winsim/libwinsim.so") if "winsim/libwinsim.so" in names else b""

    tag = path.name.removesuffix(".whl").split("-", 2)[2]
    expected_tag = "cp39-abi3-win_amd64" if windows else r"cp39-abi3-manylinux_2_[0-9]+_x86_64"
    if not re.fullmatch(expected_tag, tag):
        problem(f"{path.name}: tag {tag}, expected {expected_tag}")
    if f"Tag: {tag}" not in wheel_file.splitlines() or "Root-Is-Purelib: false" not in wheel_file:
        problem(f"{path.name}: WHEEL does not say Tag: {tag} and Root-Is-Purelib: false")

    expected = {
        module_name,
        f"{dist_info}/METADATA",
        f"{dist_info}/WHEEL",
        f"{dist_info}/RECORD",
        f"{dist_info}/licenses/LICENSE",
    } | source_stubs(source)
    if windows:
        expected.add(f"{dist_info}/licenses/{WINDOWS_NOTICES}")
    else:
        expected.add("winsim/libwinsim.so")
        expected |= {
            f"winsim/{p.name}" for p in (source / "winsim/python/winsim").glob("*.py")
        }
    if names != expected:
        if expected - names:
            problem(f"{path.name}: missing {sorted(expected - names)}")
        if names - expected:
            problem(f"{path.name}: unexpected {sorted(names - expected)}")

    if windows and module:
        check_pyd(path.name, module)
    elif module:
        check_linux_module(path.name, module, winsim_lib)
    check_metadata(path.name, metadata, source, project)
    return metadata, module


def check_pyd(where: str, data: bytes) -> None:
    pe = pefile.PE(data=data)
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        problem(f"{where}: opticatcher.pyd is not an x86-64 image")
    if not pe.is_dll():
        problem(f"{where}: opticatcher.pyd is not a DLL")
    if pe.FILE_HEADER.TimeDateStamp != 0:
        problem(f"{where}: opticatcher.pyd carries a time stamp ({pe.FILE_HEADER.TimeDateStamp})")
    export_table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    exports = [s.name.decode() for s in export_table.symbols] if export_table else []
    if exports != ["PyInit_opticatcher"]:
        problem(f"{where}: opticatcher.pyd exports {exports}, expected only PyInit_opticatcher")
    imports = [e.dll.decode() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    lowered = {d.lower() for d in imports}
    foreign = [d for d in imports if d.lower() != "python3.dll" and not SYSTEM_DLL.fullmatch(d)]
    if foreign:
        problem(f"{where}: opticatcher.pyd imports DLLs that are not part of Windows: {foreign}")
    for needed in ("python3.dll", "d3d11.dll", "user32.dll"):
        if needed not in lowered:
            problem(f"{where}: opticatcher.pyd does not import {needed} (imports: {imports})")


def check_linux_module(where: str, module: bytes, winsim_lib: bytes) -> None:
    elf = ELFFile(io.BytesIO(module))
    needed, runpath = [], []
    for section in elf.iter_sections():
        if isinstance(section, DynamicSection):
            for tag in section.iter_tags():
                if tag.entry.d_tag == "DT_NEEDED":
                    needed.append(tag.needed)
                elif tag.entry.d_tag in ("DT_RUNPATH", "DT_RPATH"):
                    runpath.append(getattr(tag, "runpath", None) or getattr(tag, "rpath", None))
    if "libwinsim.so" not in needed or runpath != ["$ORIGIN/winsim"]:
        problem(f"{where}: opticatcher.abi3.so needs {needed} with run path {runpath}; "
                "expected libwinsim.so through $ORIGIN/winsim")
    if not winsim_lib.startswith(b"\x7fELF"):
        problem(f"{where}: winsim/libwinsim.so is not an ELF library")


def check_sdist(path: pathlib.Path, source: pathlib.Path, project: dict) -> str:
    prefix = f"opticatcher-{project['version']}/"
    with tarfile.open(path) as sdist:
        members = [m for m in sdist.getmembers() if m.isfile()]
        names = {m.name.removeprefix(prefix) for m in members}
        outside = [m.name for m in members if not m.name.startswith(prefix)]
        pkg_info = sdist.extractfile(prefix + "PKG-INFO").read().decode()
    if outside:
        problem(f"{path.name}: files outside {prefix}: {outside}")
    exported = {p.relative_to(source).as_posix() for p in source.rglob("*") if p.is_file()}
    if names - exported - {"PKG-INFO"}:
        problem(f"{path.name}: files that are not in the export: {sorted(names - exported - {'PKG-INFO'})}")
    if exported - names:
        problem(f"{path.name}: exported files missing: {sorted(exported - names)}")
    check_metadata(path.name, pkg_info, source, project)
    return pkg_info


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dist", type=pathlib.Path)
    parser.add_argument("source", type=pathlib.Path)
    parser.add_argument("--same-pyd", type=pathlib.Path,
                        help="a .pyd that the Windows wheel's must equal byte for byte")
    args = parser.parse_args()
    with open(args.source / "pyproject.toml", "rb") as f:
        project = tomllib.load(f)["project"]

    sdists = sorted(args.dist.glob("opticatcher-*.tar.gz"))
    linux = sorted(args.dist.glob("opticatcher-*-manylinux*_x86_64.whl"))
    windows = sorted(args.dist.glob("opticatcher-*-win_amd64.whl"))
    others = sorted(set(args.dist.glob("opticatcher-*")) - set(sdists) - set(linux) - set(windows))
    if len(sdists) != 1 or len(linux) != 1 or len(windows) != 1 or others:
        print(f"check_dists: expected one sdist, one manylinux and one win_amd64 wheel in "
              f"{args.dist}, found {[p.name for p in sorted(args.dist.glob('opticatcher-*'))]}",
              file=sys.stderr)
        return 1

    pkg_info = check_sdist(sdists[0], args.source, project)
    linux_metadata, _ = check_wheel(linux[0], args.source, project)
    windows_metadata, pyd = check_wheel(windows[0], args.source, project)
    if linux_metadata != windows_metadata:
        problem("the two wheels' METADATA differ")
    # The sdist's PKG-INFO is the same metadata (scikit-build-core writes both).
    if metadata_of(pkg_info).items() != metadata_of(linux_metadata).items():
        problem("the sdist's PKG-INFO and the wheels' METADATA differ")
    if args.same_pyd is not None and pyd != args.same_pyd.read_bytes():
        problem(f"{windows[0].name}: opticatcher.pyd differs from {args.same_pyd} "
                "(the build is not reproducible)")

    for path in (*sdists, *linux, *windows):
        print(f"check_dists: {path.name} ({path.stat().st_size} bytes)")
    if problems:
        for text in problems:
            print(f"check_dists: error: {text}", file=sys.stderr)
        return 1
    print(f"check_dists: OK: same metadata, expected contents"
          f"{', the .pyd identical to ' + str(args.same_pyd) if args.same_pyd else ''}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
