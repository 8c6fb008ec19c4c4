#!/usr/bin/env python3
"""Keeps the sources readable: the product sources (src/, tools/, python/) at sizes a reader can
hold (no file over 600 lines, no function over 80 lines, no class over about 40 members, counted
as declared, 48 at most), and every include of a header of src/ naming its folder
("protocol/stat.h"), there and in tests/, bench/, fuzz/ and examples/. Prints every breach and
fails when there is one. Usage: check-sources.py [SOURCE_DIR]"""
import os
import re
import sys

MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
MAX_CLASS_MEMBERS = 48
FOLDERS = ("src", "tools", "python")
# The device classes of the installed library: programs outside this tree use their members by
# name (docs/architecture.md), so they keep their public surface.
LIBRARY_API = {"TKORADevice": 100, "TZEL": 60}


def strip(text):
    """Comments and string/character literals blanked, line breaks kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + "\n" * text.count("\n", i, j))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def blocks(text):
    """(header, start line, end line, depth) of every brace block."""
    stack, found, last = [], [], 0
    line = 1
    for i, c in enumerate(text):
        if c == "\n":
            line += 1
        elif c == "{":
            head = text[last:i]
            stack.append((head, line - head.count("\n") + (len(head) - len(head.lstrip())) and
                          line - head.lstrip().count("\n"), i))
            last = i + 1
        elif c == "}":
            if stack:
                head, start, pos = stack.pop()
                found.append((head.strip(), start, line, len(stack), pos, i))
            last = i + 1
        elif c == ";":
            last = i + 1
    return found


TYPE = re.compile(r"(?:^|\s)(class|struct|union|namespace|enum)\b[^()]*$", re.S)


def is_function(head):
    if not head or TYPE.search(head) or head.endswith("=") or head.rstrip().endswith(("=", ",", "(")):
        return False
    return ")" in head and not re.search(r"=\s*$", head)


def check(root):
    problems = []
    for top in FOLDERS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8") as f:
                    raw = f.read()
                lines = raw.count("\n")
                if lines > MAX_FILE_LINES:
                    problems.append(f"{rel}: {lines} lines (at most {MAX_FILE_LINES})")
                text = strip(raw)
                for head, start, end, depth, begin, close in blocks(text):
                    tail = head.split("\n")[-1]
                    if is_function(head) and end - start + 1 > MAX_FUNCTION_LINES:
                        sig = " ".join(head.split())[-70:]
                        problems.append(f"{rel}:{start}: function of {end - start + 1} lines "
                                        f"(at most {MAX_FUNCTION_LINES}): {sig}")
                    m = re.search(r"\b(class|struct)\s+(\w+)[^;]*$", head)
                    if m and not is_function(head):
                        count = members(text[begin + 1:close])
                        if count > LIBRARY_API.get(m.group(2), MAX_CLASS_MEMBERS):
                            problems.append(f"{rel}:{start}: {m.group(1)} {m.group(2)} has {count} "
                                            f"members (at most {LIBRARY_API.get(m.group(2), MAX_CLASS_MEMBERS)})")
    return problems


def members(body):
    flat, depth = [], 0
    for c in body:
        if c == "{":
            depth += 1
            if depth == 1:
                flat.append(";")
        elif c == "}":
            depth -= 1
        elif depth == 0:
            flat.append(c)
    count = 0
    for decl in "".join(flat).split(";"):
        decl = re.sub(r"\b(public|private|protected|signals|public slots|private slots)\s*:", "", decl)
        decl = re.sub(r"\bQ_OBJECT\b", "", decl).strip()
        if not decl or decl.startswith(("friend", "using ", "static_assert", "enum", "Q_", "class ", "struct ")):
            continue
        count += decl.count(",") + 1 if "(" not in decl and "<" not in decl else 1
    return count


INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+\.h)"', re.M)


def check_includes(root):
    src = os.path.join(root, "src")
    headers = {}
    for folder in sorted(os.listdir(src)):
        if os.path.isdir(os.path.join(src, folder)):
            for name in os.listdir(os.path.join(src, folder)):
                if name.endswith(".h"):
                    headers[name] = folder
    problems = []
    for top in FOLDERS + ("tests", "bench", "fuzz", "examples"):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for m in INCLUDE.finditer(text):
                    header = m.group(1)
                    # A tool's or test's own header of the same name is found beside it.
                    if header in headers and not (top != "src" and os.path.exists(os.path.join(folder, header))):
                        line = text.count("\n", 0, m.start()) + 1
                        problems.append(f"{os.path.relpath(path, root)}:{line}: #include \"{header}\" "
                                        f"should name its folder: \"{headers[header]}/{header}\"")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(root) + check_includes(root)
    for p in problems:
        print(p)
    print(f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
