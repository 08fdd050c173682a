# SPDX-License-Identifier: Apache-2.0
"""The bindings against the C headers and the export lists, and where the
library is loaded from."""
import glob
import os
import re
import shutil
import subprocess
import sys

import pytest

from conftest import BUILD, ROOT
import kelo
from kelo import _library, records

C_TYPES = {
    "int32_t": "i32", "uint32_t": "u32", "uint16_t": "u16", "uint8_t": "u8", "double": "f64",
    "void": "void", "KeloGroupResult": "handle", "ScannerConnection*": "conn",
    "MultipleScanner*": "group", "const char*": "str", "char*": "buf", "int32_t*": "i32*",
    "double*": "f64*", "ScannerInfo*": "info*", "KeloSafeArray**": "safearray**",
    "ProfileRecord*": "record", "LargeProfileRecord*": "record", "ScanRecord*": "record",
    "ImageRecord*": "record", "const ImageRecord*": "record", "const uint8_t*": "record", "uint32_t*": "u32*",
    "OldPositionCalibration*": "record",
}


HEADERS = "\n".join(open(p).read() for p in glob.glob(os.path.join(ROOT, "include", "kelo_dll", "*.h")))


def c_type(declaration):
    words = declaration.replace("*", "* ").split()
    if len(words) > 1 and re.fullmatch(r"[A-Za-z_]\w*", words[-1]):
        words = words[:-1]  # the parameter's name
    return C_TYPES[re.sub(r"\s+\*", "*", " ".join(words))]


def test_every_export_has_the_prototype_of_its_declaration():
    declared = {}
    for result, name, arguments in re.findall(r"KELO_API\s+([\w\s*]+?)\s*KELO_CALL\s+(\w+)\s*\(([^)]*)\)", HEADERS):
        declared[name] = (c_type(result), [c_type(a) for a in arguments.split(",") if a.strip() != "void"])
    exported = {re.sub(r"^_?(\w+)@\d+$", r"\1", line.split("#")[0].split("=")[0].strip())
                for path in glob.glob(os.path.join(ROOT, "src", "*", "*.exports")) for line in open(path)} - {""}
    assert set(declared) == exported
    assert _library.prototype_codes() == declared


def test_record_layouts_match_the_headers():
    defines = {name: eval(re.sub(r"(\d)u\b", r"\1", value))
               for name, value in re.findall(r"#define (KELO_\w+) ([\d.()u* ]+)\n", HEADERS)}
    for name in ("PROFILE_HEADER_VALUES", "PROFILE_MAX_POINTS", "LARGE_PROFILE_MAX_POINTS", "SCAN_HEADER_VALUES",
                 "SCAN_MAX_POINTS", "IMAGE_MAX_PIXELS", "IMAGE_HEADER_SIZE", "TRANSFORM_VALUES",
                 "OLD_POSITION_TEXT_SIZE"):
        assert defines["KELO_" + name] == getattr(records, name), name
    assert defines["KELO_DLL_MAJOR_VERSION"] == _library.MAJOR_VERSION == kelo.version()[0]
    assert (records.PROFILE_DTYPE.fields["points"][1], records.SCAN_DTYPE.fields["points"][1],
            records.IMAGE_DTYPE.fields["pixels"][1]) == (40, 36, 20)
    assert records.ScannerInfo.identity.offset == 11 and records.ScannerInfoVB.identity.offset == 12


LIBRARY = os.path.join(BUILD, "lib", _library.FILE_NAME)


@pytest.mark.parametrize("variable, library_inside, installed, expected", [
    (os.path.dirname(LIBRARY), False, False, LIBRARY),        # a directory
    (LIBRARY, False, False, LIBRARY),                         # a file
    ("/nonexistent/libkelo_dll.so", True, True, "KELO_DLL_PATH"),  # final, even with copies
    (None, True, True, "PACKAGE"),                            # next to the modules first
    (None, False, True, LIBRARY),                             # the prefix's library directory
])
def test_library_location(tmp_path, variable, library_inside, installed, expected):
    package = tmp_path / "kelo"
    shutil.copytree(os.path.join(ROOT, "python", "kelo"), package, ignore=shutil.ignore_patterns("__pycache__"))
    (package / "_version.py").write_text(f"VERSION = {_library.VERSION!r}\n")
    if library_inside:
        shutil.copy(LIBRARY, package)
    if installed:
        (package / "_location.py").write_text(f"LIBRARY_DIR = {os.path.relpath(os.path.dirname(LIBRARY), package)!r}\n")
    env = {k: v for k, v in os.environ.items() if k not in ("KELO_DLL_PATH", "LD_LIBRARY_PATH")}
    env.update({"KELO_DLL_PATH": variable} if variable else {})
    run = subprocess.run([sys.executable, "-c", "import kelo; print(kelo.library().path)"],
                         cwd=tmp_path, env=env, capture_output=True, text=True)
    if expected == "KELO_DLL_PATH":
        assert run.returncode != 0 and "LibraryError" in run.stderr and expected in run.stderr
    elif expected == "PACKAGE":
        assert run.stdout.strip() == str(package / _library.FILE_NAME)
    else:
        assert os.path.realpath(run.stdout.strip()) == os.path.realpath(expected), run.stderr
