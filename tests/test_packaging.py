"""The sdist builds from a checkout in seconds whatever build/ holds, also the
Wine step's prefix, whose dosdevices/z: links to the whole machine."""

import os
import shutil
import subprocess
import sys
import tarfile

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir))
# What a checkout holds besides the sources: never copied, never walked.
OUTPUTS = {".git", "build", "dist", ".hypothesis", ".pytest_cache", "__pycache__"}


def test_the_sdist_skips_a_wine_prefix_in_build(tmp_path):
    pytest.importorskip("scikit_build_core.build")
    if not os.path.exists(os.path.join(ROOT, "pyproject.toml")):
        pytest.skip("the tests run outside a source tree")
    tree = tmp_path / "tree"
    shutil.copytree(ROOT, tree, ignore=lambda _, names: OUTPUTS.intersection(names))
    prefix = tree / "build" / "wine" / "prefix" / "dosdevices"
    prefix.mkdir(parents=True)
    os.symlink("/", prefix / "z:")
    out = tmp_path / "dist"
    result = subprocess.run(
        [sys.executable, "-c",
         "import sys; from scikit_build_core.build import build_sdist; build_sdist(sys.argv[1])",
         str(out)],
        cwd=tree, capture_output=True, text=True, timeout=30, stdin=subprocess.DEVNULL,
    )
    assert result.returncode == 0, result.stderr
    (sdist,) = out.glob("opticatcher-*.tar.gz")
    with tarfile.open(sdist) as archive:
        names = archive.getnames()
    assert any(name.endswith("/pyproject.toml") for name in names)
    assert not [name for name in names if "/build/" in name]
