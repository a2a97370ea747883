#!/usr/bin/env python3
"""The macOS version that introduced each symbol, from Apple's availability annotations.

Prints, for each imported symbol named (as the linker spells it: _open, _stat$INODE64),
a line for tests/release/macos-imports.txt:

  SYMBOL VERSION WHERE

VERSION comes from the annotation on the symbol's declaration in the macOS headers Zig
carries (API_AVAILABLE(macos(10.12)), __OSX_AVAILABLE_STARTING(__MAC_10_6, ...),
__OSX_AVAILABLE(10.12), ...); WHERE is the header and line. A declaration without one
is as old as the headers' first release: 10.0, WHERE ending in "(unannotated)". A symbol
no header declares is printed with VERSION "?": look it up by hand (and write where).
The newest headers (13) are searched first, as they annotate everything up to 13; then 12,
11, the shared ones, and clang's unwind.h.

  macos-import-version.py [--headers ZIG_LIBC_INCLUDE] SYMBOL...
"""
import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_HEADERS = os.path.join(HERE, "..", "..", "build-tools", "zig-0.11.0", "lib", "libc", "include")
FOLDERS = tuple(f"{kind}-macos.{version}-{tail}" for version in (13, 12, 11)
                for kind, tail in (("any", "any"), ("x86_64", "none"), ("aarch64", "none"))) + (
    "any-macos-any",
    # Zig's clang's own headers, last: they declare the unwinder's _Unwind_* (libSystem's
    # libunwind on macOS), without annotations.
    "../../include/unwind.h")

ANNOTATIONS = (
    re.compile(r"\bmacosx?\((\d+(?:\.\d+)*)\)"),                     # API_AVAILABLE(macos(10.12), ...)
    re.compile(r"__OSX_AVAILABLE(?:_STARTING|_BUT_DEPRECATED(?:_MSG)?)?\(\s*__MAC_(\d+(?:_\d+)*)"),
    re.compile(r"__OSX_AVAILABLE\(\s*(\d+(?:\.\d+)*)\s*\)"),          # __OSX_AVAILABLE(10.12)
    re.compile(r"__API_AVAILABLE\w*\(\s*macos\((\d+(?:\.\d+)*)\)"),
    re.compile(r"AVAILABLE_MAC_OS_X_VERSION_(\d+(?:_\d+)*)_AND_LATER"),
)


COMMENT = re.compile(r"/\*.*?\*/|//[^\n]*", re.S)
DEFINE = re.compile(r"^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+((?:[^\n]*\\\n)*[^\n]*)", re.M)


def without_comments(text):
    """The text with its comments blanked, keeping its lines where they were."""
    return COMMENT.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def headers_of(root):
    for folder in FOLDERS:
        base = os.path.join(root, folder)
        if os.path.isfile(base):
            yield os.path.relpath(base, root), base
            continue
        for directory, _, files in sorted(os.walk(base)):
            for name in sorted(files):
                if name.endswith(".h"):
                    path = os.path.join(directory, name)
                    yield os.path.relpath(path, root), path


def declaration_around(text, start, end):
    """The declaration holding text[start:end]: from the end of the previous declaration,
    block or preprocessor line to the next ';'."""
    before = max(text.rfind(";", 0, start), text.rfind("}", 0, start), text.rfind("{", 0, start))
    directive = text.rfind("\n#", 0, start)
    if directive > before:
        before = text.find("\n", directive + 1)
    after = text.find(";", end)
    return text[before + 1:after if after >= 0 else len(text)]


def version_of(declaration, macros):
    """The version the declaration's annotation names; an annotation may hide in a macro
    (__CLOCK_AVAILABILITY, OS_UNFAIR_LOCK_AVAILABILITY)."""
    declaration += " " + " ".join(macros[word] for word in re.findall(r"\w+", declaration) if word in macros)
    for pattern in ANNOTATIONS:
        match = pattern.search(declaration)
        if match:
            return match.group(1).replace("_", ".")
    return None


def look_up(symbols, root):
    wanted = {}
    for symbol in symbols:
        name = symbol.split("$")[0]
        wanted.setdefault(name[1:] if name.startswith("_") else name, []).append(symbol)
    texts = []
    macros = {}
    for shown, path in headers_of(root):
        with open(path, encoding="latin-1") as header:
            text = without_comments(header.read())
        texts.append((shown, text))
        for name, body in DEFINE.findall(text):
            if any(pattern.search(body) for pattern in ANNOTATIONS):
                macros.setdefault(name, body)
    found = {}
    pattern = re.compile(r"\b(" + "|".join(re.escape(n) for n in sorted(wanted, key=len, reverse=True)) + r")\b\s*(\(|;|\[)")
    for shown, text in texts:
        for match in pattern.finditer(text):
            name = match.group(1)
            declaration = declaration_around(text, match.start(), match.end(1))
            # A call or a macro's body is not a declaration; a declaration has a type before the name.
            if "#define" in declaration or not re.search(r"\w[\s*]+" + re.escape(name) + r"\s*$",
                                                          declaration[:declaration.find(name) + len(name)]):
                continue
            version = version_of(declaration, macros)
            line = text.count("\n", 0, match.start()) + 1
            entry = (version or "10.0", f"{shown}:{line}" + ("" if version else " (unannotated)"))
            # An annotated declaration wins over an unannotated one found first.
            if name not in found or (version and found[name][1].endswith("(unannotated)")):
                found[name] = entry
    lines = []
    for name, spelled in wanted.items():
        version, where = found.get(name, ("?", "not declared in the headers"))
        lines += [f"{symbol} {version} {where}" for symbol in spelled]
    return sorted(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--headers", default=DEFAULT_HEADERS)
    parser.add_argument("symbols", nargs="+")
    args = parser.parse_args()
    if not os.path.isdir(args.headers):
        print(f"no headers in {args.headers}: run scripts/install-deps --all", file=sys.stderr)
        return 1
    print("\n".join(look_up(args.symbols, args.headers)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
