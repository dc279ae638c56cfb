"""The built module shows the dynamic linker one symbol: its entry point."""

import shutil
import subprocess

import pytest

import opticatcher


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
def test_only_the_entry_point_is_exported():
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", opticatcher.__file__],
        capture_output=True, text=True, check=True, timeout=60,
    ).stdout
    assert [line.split()[-1] for line in listing.splitlines() if line.strip()] == [
        "PyInit_opticatcher"
    ]
