#!/usr/bin/env python3
"""Checks the Windows DLL as REAPER for Windows needs it, from the file alone (objdump -p):

- PE32+ for x86-64;
- ReaperPluginEntry its only export;
- imports from Windows' own DLLs only (KERNEL32, USER32, ADVAPI32, SHELL32, OLE32, msvcrt,
  api-ms-win-crt-*): a DLL that needs a MinGW DLL (libstdc++-6, libgcc_s, libwinpthread-1)
  is silently skipped by REAPER;
- with --imports LIST, every imported function on the list ("DLL FUNCTION" per line, '#'
  comments), the functions known to be in Windows 10's first release.

Prints the figures, then one line per failed check; exits 1 when any failed.
"""

import argparse
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"}
MINGW_DLL = re.compile(r"^(libstdc\+\+|libgcc|libwinpthread|libssp|libgomp)", re.IGNORECASE)


def read(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    file_format = re.search(r"file format (\S+)", text)
    magic = re.search(r"^Magic\s+(\S+)", text, re.MULTILINE)
    imports = {}
    current = None
    in_imports = False

    for line in text.splitlines():
        if line and not line[0].isspace():
            in_imports = line.startswith("The Import Tables")
        name = re.match(r"\s+DLL Name: (\S+)", line)
        member = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if in_imports and name:
            current = name.group(1)
            imports[current] = []
        elif in_imports and member and current:
            imports[current].append(member.group(1))

    names = text.split("[Ordinal/Name Pointer] Table", 1)
    exports = re.findall(r"^\s+\[\s*\d+\] (\S+)$", names[1].split("\n\n", 1)[0], re.MULTILINE) if len(names) == 2 else []
    return (file_format.group(1) if file_format else "?"), (magic.group(1) if magic else "?"), imports, exports


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dll")
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--imports", help="the functions known to be in Windows 10")
    args = parser.parse_args()

    file_format, magic, imports, exports = read(args.objdump, args.dll)
    failures = []

    print(f"{args.dll}: {file_format}, magic {magic}")
    print(f"  exports: {', '.join(exports) or 'none'}")
    for dll, functions in imports.items():
        print(f"  imports from {dll}: {len(functions)} functions")

    if file_format != "pei-x86-64" or magic != "020b":
        failures.append(f"not PE32+ for x86-64 ({file_format}, magic {magic})")
    if exports != ["ReaperPluginEntry"]:
        failures.append(f"exports {exports}, not ReaperPluginEntry alone")
    for dll in imports:
        if MINGW_DLL.match(dll):
            failures.append(f"imports from {dll}, a MinGW DLL that Windows does not have")
        elif dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-crt-"):
            failures.append(f"imports from {dll}, not one of Windows' own DLLs")

    if args.imports:
        known = set()
        with open(args.imports, encoding="utf-8") as listed:
            for line in listed:
                words = line.split("#", 1)[0].split()
                if len(words) == 2:
                    known.add((words[0].lower(), words[1]))
        for dll, functions in imports.items():
            for function in functions:
                if (dll.lower(), function) not in known:
                    failures.append(f"imports {dll} {function}, not on {args.imports}")

    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
