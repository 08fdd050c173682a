#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Counts the project's lines of code and of tests, and their ratio.

A line counts when it holds something besides white space and comments.
Comments: // and /* */ in C, C++, C#, JavaScript and CSS; # and docstrings
in Python; # in shell; -- and --[[ ]] in Lua; <!-- --> in HTML.

Code:  src/, include/, tools/, bench/, fuzz/, bindings/, and the Python
       package under python/ (its tests excepted).
Tests: tests/, and the Python tests (python/**/tests/, test_*.py,
       *_test.py, conftest.py).
Not counted: CMake and other build files, scripts/, data (fuzz corpus,
JSON, captures), documentation.

Files are those git tracks (so build trees and node_modules never count);
outside a git checkout, every file under the directories above.
"""
import argparse
import ast
import io
import os
import subprocess
import sys
import tokenize

CODE_DIRS = ["src", "include", "tools", "bench", "fuzz", "bindings", "python"]
TEST_DIRS = ["tests"]
C_LIKE = {".c", ".cc", ".cpp", ".cxx", ".h", ".hh", ".hpp", ".cs", ".js", ".mjs", ".cjs",
          ".ts", ".css"}
SKIPPED_PARTS = {"corpus", "node_modules"}


def c_like_lines(text, backtick_strings):
    """Lines with code, for languages with // and /* */ comments."""
    counted = set()
    line = 0
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            # C++ raw string: R"delimiter( ... )delimiter"
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2:open_paren] if open_paren >= 0 else ""
            end = text.find(")" + delimiter + '"', open_paren + 1) if open_paren >= 0 else -1
            end = n if end < 0 else end + len(delimiter) + 2
            for k in range(line, line + text.count("\n", i, end) + 1):
                counted.add(k)
            line += text.count("\n", i, end)
            i = end
        elif c in "\"'" or (c == "`" and backtick_strings):
            counted.add(line)
            i += 1
            while i < n and text[i] != c:
                if text[i] == "\\":
                    i += 1
                elif text[i] == "\n":
                    if c != "`":
                        break  # unterminated: stop at the line end
                    line += 1
                    counted.add(line)
                i += 1
            i += 1
        else:
            if not c.isspace():
                counted.add(line)
            i += 1
    return len(counted)


def python_lines(text):
    """Lines with code in Python: no comments, no docstrings."""
    try:
        tree = ast.parse(text)
    except SyntaxError:
        return hash_comment_lines(text)
    docstrings = set()
    for node in ast.walk(tree):
        if isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef)):
            body = node.body
            if body and isinstance(body[0], ast.Expr) and isinstance(body[0].value, ast.Constant) \
                    and isinstance(body[0].value.value, str):
                docstrings.update(range(body[0].lineno, body[0].end_lineno + 1))
    counted = set()
    for token in tokenize.generate_tokens(io.StringIO(text).readline):
        if token.type in (tokenize.COMMENT, tokenize.NL, tokenize.NEWLINE, tokenize.INDENT,
                          tokenize.DEDENT, tokenize.ENDMARKER):
            continue
        for k in range(token.start[0], token.end[0] + 1):
            if k not in docstrings:
                counted.add(k)
    return len(counted)


def hash_comment_lines(text):
    return sum(1 for raw in text.splitlines() if raw.strip() and not raw.strip().startswith("#"))


def lua_lines(text):
    counted = 0
    in_block = False
    for raw in text.splitlines():
        s = raw.strip()
        if in_block:
            if "]]" in s:
                in_block = False
                s = s.split("]]", 1)[1].strip()
            else:
                continue
        if s.startswith("--[["):
            if "]]" not in s:
                in_block = True
            continue
        if s and not s.startswith("--"):
            counted += 1
    return counted


def html_lines(text):
    counted = 0
    in_comment = False
    for raw in text.splitlines():
        s = raw.strip()
        while s:
            if in_comment:
                end = s.find("-->")
                if end < 0:
                    s = ""
                    break
                in_comment = False
                s = s[end + 3:].strip()
            else:
                start = s.find("<!--")
                if start < 0:
                    break
                before = s[:start].strip()
                in_comment = True
                s = s[start + 4:]
                if before:
                    counted += 1
                    s = ""
                    break
        else:
            continue
        if s and not in_comment:
            counted += 1
    return counted


def count_lines(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return None
    ext = os.path.splitext(path)[1].lower()
    if ext in C_LIKE:
        return c_like_lines(text, backtick_strings=ext in {".js", ".mjs", ".cjs", ".ts"})
    if ext == ".py":
        return python_lines(text)
    if ext == ".sh":
        return hash_comment_lines(text)
    if ext == ".lua":
        return lua_lines(text)
    if ext in {".html", ".htm"}:
        return html_lines(text)
    return None  # build files, data, documentation


def is_python_test(parts):
    name = parts[-1]
    return parts[0] == "python" and (
        "tests" in parts[:-1] or name.startswith("test_") or name.endswith("_test.py")
        or name == "conftest.py")


def classify(path):
    parts = path.split("/")
    if SKIPPED_PARTS.intersection(parts):
        return None
    if parts[0] in TEST_DIRS or is_python_test(parts):
        return "tests"
    if parts[0] in CODE_DIRS:
        return "code"
    return None


def tracked_files(root):
    try:
        top = subprocess.run(["git", "-C", root, "rev-parse", "--show-toplevel"], check=True,
                             capture_output=True, text=True).stdout.strip()
        if os.path.realpath(top) != os.path.realpath(root):
            raise FileNotFoundError("not the top of a git checkout")
        out = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                             capture_output=True).stdout
        return [p for p in out.decode().split("\0") if p]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for top in CODE_DIRS + TEST_DIRS:
            for directory, _, names in os.walk(os.path.join(root, top)):
                for name in names:
                    files.append(os.path.relpath(os.path.join(directory, name), root))
        return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--target", type=float, default=35.0,
                        help="largest share of tests in per cent of code")
    parser.add_argument("--enforce", action="store_true",
                        help="fail when the share is above the target")
    args = parser.parse_args()

    totals = {"code": {}, "tests": {}}
    for path in tracked_files(args.root):
        kind = classify(path)
        if kind is None:
            continue
        lines = count_lines(os.path.join(args.root, path))
        if lines is None:
            continue
        part = path.split("/")[0]
        if part == "python":
            part = "python tests" if kind == "tests" else "python package"
        totals[kind][part] = totals[kind].get(part, 0) + lines

    code = sum(totals["code"].values())
    tests = sum(totals["tests"].values())
    print("Lines that hold more than blanks and comments (build files, scripts/, data and")
    print("documentation not counted):")
    for kind in ("code", "tests"):
        detail = ", ".join(f"{part} {lines}" for part, lines in sorted(totals[kind].items()))
        print(f"  {kind:5} {sum(totals[kind].values()):6}  ({detail})")
    share = 100.0 * tests / code if code else 0.0
    print(f"test share: tests / code = {tests} / {code} = {share:.1f} % "
          f"(target at most {args.target:.0f} %)")
    if share > args.target:
        if args.enforce:
            print("FAIL: the tests are more than the target share of the code")
            return 1
        print("note: above the target (not enforced; KELO_ENFORCE_TEST_SHARE=1 enforces it)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
