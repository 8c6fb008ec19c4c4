#!/usr/bin/env python3
"""Checks the target table of docs/architecture.md against the CMake files: every library and
program of src/, tools/ and python/ has a row naming its folder and the project targets it links,
and every row names such a target. Usage: check-architecture.py [SOURCE_DIR]"""
import glob
import os
import re
import sys

TARGET = re.compile(r"\b(?:add_library|add_executable|pybind11_add_module)\(\s*([\w.-]+)")
LINKS = re.compile(r"target_link_libraries\(\s*([\w.-]+)([^)]*)\)", re.S)
OWN = re.compile(r"^zel[\w-]*$")


def cmake_targets(root):
    targets = {}
    files = []
    for top in ("src", "tools", "python"):
        for pattern in ("CMakeLists.txt", "*.cmake"):
            files += glob.glob(os.path.join(root, top, "**", pattern), recursive=True)
    for path in sorted(files):
        with open(path, encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
        folder = os.path.relpath(os.path.dirname(path), root)
        for m in TARGET.finditer(text):
            targets[m.group(1)] = (folder, set())
        for m in LINKS.finditer(text):
            if m.group(1) in targets:
                targets[m.group(1)][1].update(w for w in m.group(2).split() if OWN.match(w))
    return targets


def documented_targets(root):
    rows = {}
    with open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\|\s*`([\w.-]+)`\s*\|([^|]*)\|([^|]*)\|", line)
            if m:
                rows[m.group(1)] = (m.group(2).strip(), set(m.group(3).split()))
    return rows


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    built = cmake_targets(root)
    documented = documented_targets(root)
    problems = []
    for name in sorted(built.keys() - documented.keys()):
        problems.append(f"{name}: built in {built[name][0]} but missing from docs/architecture.md")
    for name in sorted(documented.keys() - built.keys()):
        problems.append(f"{name}: in docs/architecture.md but no CMake file builds it")
    for name in sorted(built.keys() & documented.keys()):
        (folder, links), (doc_folder, doc_links) = built[name], documented[name]
        if folder != doc_folder:
            problems.append(f"{name}: built in {folder}, documented in {doc_folder}")
        if links != doc_links:
            problems.append(f"{name}: links {' '.join(sorted(links)) or 'nothing of ours'}, "
                            f"documented as {' '.join(sorted(doc_links)) or 'nothing'}")
    for p in problems:
        print(p)
    if not problems:
        print(f"docs/architecture.md matches the {len(built)} targets of the CMake files")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
