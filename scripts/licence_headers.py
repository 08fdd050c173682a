#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks that every tracked source file names its licence in an SPDX line
near its top, and with --fix adds the line where it is missing.

Sources are C, C++, C#, Python, shell, CMake, JavaScript, CSS, HTML, Lua and
the templates configured from them; the fuzz corpus, data, pictures and
plain text are not. The line goes first, after a shebang or a doctype.
"""
import argparse
import os
import subprocess
import sys

IDENTIFIER = "SPDX-License-Identifier: Apache-2.0"
# How far down the line may stand: below a shebang, a doctype or an encoding.
SEARCHED_LINES = 5
SKIPPED_DIRS = ("fuzz/corpus/",)

BLOCK = "/* {} */"      # C headers must stay valid C89
LINE = "// {}"
HASH = "# {}"
COMMENTS = {
    ".c": BLOCK, ".h": BLOCK, ".css": BLOCK, ".rc": BLOCK,
    ".cpp": LINE, ".hpp": LINE, ".cs": LINE, ".js": LINE, ".mjs": LINE,
    ".py": HASH, ".sh": HASH, ".cmake": HASH, ".pc": HASH,
    ".lua": "-- {}", ".html": "<!-- {} -->",
}
NAMED = {"CMakeLists.txt": HASH}
SHEBANGS = {"sh": HASH, "bash": HASH, "python3": HASH}


def comment_style(path, first_line):
    name = os.path.basename(path)
    if name in NAMED:
        return NAMED[name]
    # Templates are commented as what they become: kelo_dll.pc.in, x.rc.in.
    stem = name[:-3] if name.endswith(".in") else name
    extension = os.path.splitext(stem)[1]
    if extension in COMMENTS:
        return COMMENTS[extension]
    if not extension and first_line.startswith("#!"):
        return SHEBANGS.get(os.path.basename(first_line.split()[-1]))
    return None


def tracked_files(root):
    listing = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                             capture_output=True).stdout.decode()
    return [p for p in listing.split("\0") if p and not p.startswith(SKIPPED_DIRS)]


def fixed(text, style):
    """The text with the SPDX line in its place."""
    lines = text.splitlines(keepends=True)
    at = 0
    if lines and (lines[0].startswith("#!") or lines[0].lower().startswith("<!doctype")):
        at = 1
    newline = "\r\n" if lines and lines[0].endswith("\r\n") else "\n"
    lines.insert(at, style.format(IDENTIFIER) + newline)
    return "".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fix", action="store_true", help="add the line where it is missing")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    options = parser.parse_args()

    missing = []
    for path in tracked_files(options.root):
        full = os.path.join(options.root, path)
        if not os.path.isfile(full):
            continue  # deleted in the work tree
        with open(full, "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            continue  # binary data
        style = comment_style(path, text.split("\n", 1)[0])
        if style is None or IDENTIFIER in "".join(text.splitlines(True)[:SEARCHED_LINES]):
            continue
        missing.append(path)
        if options.fix:
            with open(full, "w", encoding="utf-8", newline="") as f:
                f.write(fixed(text, style))

    if missing and not options.fix:
        print(f"{len(missing)} source file(s) without '{IDENTIFIER}' in their first "
              f"{SEARCHED_LINES} lines (scripts/licence_headers.py --fix adds it):", file=sys.stderr)
        for path in missing:
            print(f"  {path}", file=sys.stderr)
        return 1
    if missing:
        print(f"added the licence line to {len(missing)} file(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
