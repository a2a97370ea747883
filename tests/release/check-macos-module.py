#!/usr/bin/env python3
"""Checks a macOS module as a release must be, reading it with llvm-objdump --macho.

Each slice (architecture) of the file, universal or thin:
  - the only dylib it uses is /usr/lib/libSystem.B.dylib;
  - it exports _ReaperPluginEntry and nothing else (export trie and symbol table), so
    nothing of the extension, protobuf or the C++ runtime inside it meets another module;
  - it is built for macOS with minimum version 11.0;
  - arm64 carries an ad-hoc code signature whose page hashes match the file (Apple silicon
    refuses unsigned code); a signature on x86_64 must match too;
  - no JUCE inside (no juce:: type names, no JUCE version string);
  - stripped: no local symbols, no debug information;
  - its unwind tables are whole: no compact-unwind entry in DWARF mode without an
    __eh_frame to point into, and a personality routine when the objects it was linked
    from (--objects ARCH=FILE, object files or archives) call for one;
  - with --imports LIST: each symbol it imports is on the list, whose entries give the macOS
    version that introduced each (tests/release/macos-import-version.py finds it in the
    headers), and none is newer than the minimum version.
And the file: exactly the slices asked for (--arch, default x86_64 and arm64), at most
--max-bytes bytes. Prints one line per figure and exits 1 when any is missed.

  check-macos-module.py MODULE [--objdump llvm-objdump-14] [--arch A]... [--max-bytes N]
                        [--objects ARCH=FILE]... [--imports LIST]
  check-macos-module.py --program PROGRAM [--objdump ...] [--arch A]... [--max-bytes N]
                        [--also-uses DYLIB]...

With --program the file is a program of the Mac self-test (reaper-sim, bv-client): only its
dylibs, minimum version and signature (on both architectures, as the module's) are checked;
--also-uses allows it a system dylib beside libSystem (reaper-sim: CoreFoundation).
"""
import argparse
import hashlib
import re
import struct
import subprocess
import sys

LIBSYSTEM = "/usr/lib/libSystem.B.dylib"
ENTRY = "_ReaperPluginEntry"
MIN_MACOS = "11.0"
# A juce:: class leaves its mangled name (typeinfo) even in a stripped file; JUCE also
# embeds its version string.
JUCE_MARKS = (b"4juce", b"JUCE v")
# What the C++ runtime (libc++, libc++abi, compiler-rt) defines: std::, __cxxabiv1::,
# operator new and delete, typeinfo of fundamental types, __cxa_*, _Unwind_*, builtins and
# C functions (memcpy, math). Any other exported name is the extension's own or protobuf's,
# which are C++ and carry no lower-case C name.
RUNTIME = re.compile(r"^(__ZN?K?St|__ZT[VISTh]N?K?St|__ZT[VIS]N10__cxxabiv1|__ZNK?10__cxxabiv1"
                     r"|__ZT[IS]P?K?(D[a-z]|[a-z])$|__Z[nd][wal]|___cxa|___cxx|___gxx"
                     r"|___dynamic_cast|__Unwind|___[a-z]|_[a-z][a-z0-9_]*$)")

# The mode bits of a compact-unwind encoding, and the mode meaning "see the DWARF in __eh_frame".
UNWIND_MODE_MASK = 0x0F000000
UNWIND_MODE_DWARF = {"x86_64": 0x04000000, "arm64": 0x03000000}
PERSONALITY = "___gxx_personality_v0"

CS_MAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CS_MAGIC_CODEDIRECTORY = 0xFADE0C02
CS_ADHOC = 0x2
CS_HASHTYPE_SHA1, CS_HASHTYPE_SHA256 = 1, 2


class Report:
    def __init__(self):
        self.failed = False

    def line(self, figure, value, missed=None):
        verdict = "met" if missed is None else "MISSED: " + missed
        print(f"{figure:<34} {value}  [{verdict}]")
        if missed is not None:
            self.failed = True


def objdump(tool, path, *options):
    result = subprocess.run([tool, "--macho", *options, path], capture_output=True, text=True)
    if result.returncode != 0:
        return None
    return result.stdout


def slices_of(tool, path, data):
    """(architecture, offset, size) of each slice; a thin file is one slice at 0."""
    fat = objdump(tool, path, "--universal-headers") or ""
    found = re.findall(r"^architecture (\S+)\n(?:\s+.*\n)*?\s+offset (\d+)\n\s+size (\d+)", fat, re.M)
    if found:
        return [(arch, int(offset), int(size)) for arch, offset, size in found]
    header = objdump(tool, path, "--private-header") or ""
    match = re.search(r"^\s*MH_MAGIC_64\s+(\S+)", header, re.M)
    if not match:
        return []
    return [({"X86_64": "x86_64", "ARM64": "arm64"}.get(match.group(1), match.group(1).lower()), 0, len(data))]


def load_commands(text):
    """The load commands of `--private-headers` output, as dicts of their fields."""
    commands = []
    for block in re.split(r"^Load command \d+\n", text, flags=re.M)[1:]:
        fields = {}
        for row in block.splitlines():
            match = re.match(r"^\s*(\S+) (.*)$", row)
            if match and match.group(1) not in fields:
                fields[match.group(1)] = match.group(2).strip()
        commands.append(fields)
    return commands


def verify_signature(blob, slice_data):
    """None when the embedded signature is an ad-hoc one whose code hashes match, else why not."""
    if len(blob) < 12:
        return "signature truncated"
    magic, _, count = struct.unpack_from(">III", blob, 0)
    if magic != CS_MAGIC_EMBEDDED_SIGNATURE:
        return f"signature magic {magic:#x}"
    for index in range(count):
        _, offset = struct.unpack_from(">II", blob, 12 + 8 * index)
        if struct.unpack_from(">I", blob, offset)[0] != CS_MAGIC_CODEDIRECTORY:
            continue
        (_, _, _, flags, hash_offset, _, _, code_slots, code_limit, hash_size, hash_type, _,
         page_shift) = struct.unpack_from(">IIIIIIIIIBBBB", blob, offset)
        if not flags & CS_ADHOC:
            return f"not ad-hoc (flags {flags:#x})"
        algorithm = {CS_HASHTYPE_SHA1: hashlib.sha1, CS_HASHTYPE_SHA256: hashlib.sha256}.get(hash_type)
        if algorithm is None:
            return f"unknown hash type {hash_type}"
        page = 1 << page_shift
        if code_slots != (code_limit + page - 1) // page or code_limit > len(slice_data):
            return f"{code_slots} pages for {code_limit} bytes"
        for slot in range(code_slots):
            start = offset + hash_offset + slot * hash_size
            expected = blob[start:start + hash_size]
            actual = algorithm(slice_data[slot * page:min((slot + 1) * page, code_limit)]).digest()
            if actual[:hash_size] != expected:
                return f"page {slot} does not match its hash (changed after signing)"
        return None
    return "no code directory"


def version_key(version):
    return tuple(int(part) for part in version.split("."))


def read_imports(path):
    """The list: symbol -> version, from lines 'SYMBOL VERSION WHERE' ('#' starts a comment)."""
    listed = {}
    with open(path) as lines:
        for line in lines:
            words = line.split("#")[0].split()
            if len(words) >= 2:
                listed[words[0]] = words[1]
    return listed


def objects_call_for_personality(tool, files):
    """True when any of the object files or archives refers to the C++ personality routine."""
    for name in files:
        result = subprocess.run([tool, "--macho", "--syms", name], capture_output=True, text=True)
        if re.search(r"\s" + re.escape(PERSONALITY) + r"$", result.stdout, re.M):
            return True
    return False


def check_unwind(report, tool, path, arch, options, objects):
    name = f"{arch}:"
    headers = objdump(tool, path, *options, "--section-headers") or ""
    sizes = {match.group(1): int(match.group(2), 16)
             for match in re.finditer(r"^\s*\d+\s+(\S+)\s+([0-9a-fA-F]+)\s", headers, re.M)}
    sections = [s for s in ("__unwind_info", "__eh_frame", "__gcc_except_tab") if sizes.get(s)]
    info = objdump(tool, path, *options, "--unwind-info") or ""
    encodings = [int(e, 16) for e in re.findall(r"function offset=0x[0-9a-fA-F]+, encoding(?:\[\d+\])?=0x([0-9a-fA-F]+)", info)]
    dwarf_mode = UNWIND_MODE_DWARF.get(arch)
    in_dwarf = sum(1 for e in encodings if dwarf_mode is not None and e & UNWIND_MODE_MASK == dwarf_mode)
    report.line(f"{name} unwind tables", f"{' '.join(sections) or 'none'}; {len(encodings)} entries, {in_dwarf} in DWARF mode",
                None if in_dwarf == 0 or "__eh_frame" in sections else "DWARF-mode entries but no __eh_frame")
    # A personality routine is named by the compact entries' array or, for entries in DWARF
    # mode, by the CIEs of __eh_frame.
    match = re.search(r"Number of personality functions in array:\s+0x([0-9a-fA-F]+)", info)
    compact = int(match.group(1), 16) if match else 0
    frames = objdump(tool, path, *options, "--dwarf=frames") or "" if "__eh_frame" in sections else ""
    in_cies = len(set(re.findall(r"Personality Address:\s+([0-9a-fA-F]+)", frames)))
    wanted = objects_call_for_personality(tool, objects) if objects else None
    value = f"{compact} in __unwind_info, {in_cies} in __eh_frame" + (
        "" if wanted is None else f" (its objects {'call for one' if wanted else 'call for none'})")
    report.line(f"{name} personality routines", value,
                "its objects use one, the slice has none" if wanted and compact + in_cies == 0 else None)


def check_imports(report, tool, path, arch, options, listed, min_version):
    name = f"{arch}:"
    symbols = objdump(tool, path, *options, "--syms") or ""
    imported = sorted({row.split()[-1] for row in symbols.splitlines() if "*UND*" in row})
    unlisted = [s for s in imported if s not in listed]
    newer = [f"{s} {listed[s]}" for s in imported
             if s in listed and (listed[s] == "?" or version_key(listed[s]) > version_key(min_version))]
    newest = max((listed[s] for s in imported if s in listed and listed[s] != "?"), key=version_key, default="-")
    report.line(f"{name} imports", f"{len(imported)}, newest {newest}",
                None if not unlisted else "not on the list: " + " ".join(unlisted[:6]) + (" ..." if len(unlisted) > 6 else ""))
    report.line(f"{name} imports newer than {min_version}", str(len(newer)),
                None if not newer else ", ".join(newer[:6]))


def check_version_and_signature(report, commands, slice_data, arch, name, program=False):
    build = [c for c in commands if c.get("cmd") == "LC_BUILD_VERSION"]
    legacy = [c for c in commands if c.get("cmd") == "LC_VERSION_MIN_MACOSX"]
    if build:
        value = f"{build[0].get('platform')} {build[0].get('minos')}"
        ok = build[0].get("platform") == "macos" and build[0].get("minos") == MIN_MACOS
    elif legacy:
        value = f"macos {legacy[0].get('version')}"
        ok = legacy[0].get("version") == MIN_MACOS
    else:
        value, ok = "not recorded", False
    report.line(f"{name} minimum macOS", value, None if ok else f"macos {MIN_MACOS} expected")

    signature = [c for c in commands if c.get("cmd") == "LC_CODE_SIGNATURE"]
    if signature:
        start = int(signature[0]["dataoff"])
        problem = verify_signature(slice_data[start:start + int(signature[0]["datasize"])], slice_data)
        report.line(f"{name} code signature", "ad-hoc, pages match" if problem is None else problem,
                    None if problem is None else "a valid ad-hoc signature expected")
    else:
        report.line(f"{name} code signature", "none",
                    "Apple silicon refuses unsigned code" if arch == "arm64"
                    else "signed like the module expected" if program else None)


def check_slice(report, tool, path, data, arch, offset, size, objects, import_list, program=False, also_uses=()):
    slice_data = data[offset:offset + size]
    options = [f"--arch={arch}"]
    name = f"{arch}:"

    headers = objdump(tool, path, *options, "--private-headers")
    if headers is None:
        report.line(f"{name} load commands", "unreadable", "llvm-objdump cannot read this slice")
        return
    commands = load_commands(headers)

    used = [c.get("name", "?").split(" (offset")[0] for c in commands
            if c.get("cmd") in ("LC_LOAD_DYLIB", "LC_LOAD_WEAK_DYLIB", "LC_REEXPORT_DYLIB",
                                "LC_LAZY_LOAD_DYLIB", "LC_LOAD_UPWARD_DYLIB")]
    allowed = [LIBSYSTEM, *also_uses]
    report.line(f"{name} dylibs used", " ".join(used) or "none",
                None if LIBSYSTEM in used and set(used) <= set(allowed) else f"only {' '.join(allowed)} allowed")

    if program:
        check_version_and_signature(report, commands, slice_data, arch, name, program=True)
        return

    trie = objdump(tool, path, *options, "--exports-trie") or ""
    exported = re.findall(r"^0x[0-9A-Fa-f]+\s+(\S+)", trie, re.M)
    symbols = objdump(tool, path, *options, "--syms") or ""
    rows = [row for row in symbols.splitlines() if re.match(r"^[0-9a-f]{16} ", row)]
    global_defined = sorted({row.split()[-1] for row in rows
                             if row[17] == "g" and "*UND*" not in row})
    listed = sorted(set(exported) | set(global_defined))
    report.line(f"{name} exported symbols", f"{len(listed)}: {' '.join(listed[:4])}{' ...' if len(listed) > 4 else ''}",
                None if listed == [ENTRY] else f"only {ENTRY} allowed")
    own = [s for s in listed if s != ENTRY and not RUNTIME.search(s)]
    report.line(f"{name} extension/protobuf exported", str(len(own)),
                None if not own else "e.g. " + " ".join(own[:3]))

    check_version_and_signature(report, commands, slice_data, arch, name)

    marks = [mark.decode() for mark in JUCE_MARKS if mark in slice_data]
    report.line(f"{name} JUCE inside", ", ".join(marks) or "none", None if not marks else "no JUCE allowed")

    local = [row.split()[-1] for row in rows if row[17] == "l"]
    debug = [c.get("segname") for c in commands if c.get("segname") == "__DWARF"]
    report.line(f"{name} stripped", f"{len(local)} local symbols{', debug info' if debug else ''}",
                None if not local and not debug else "strip the module")

    check_unwind(report, tool, path, arch, options, objects)
    if import_list is not None:
        check_imports(report, tool, path, arch, options, import_list, MIN_MACOS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("module")
    parser.add_argument("--objdump", default="llvm-objdump-14")
    parser.add_argument("--arch", action="append", dest="archs")
    parser.add_argument("--max-bytes", type=int, default=1_600_000)
    parser.add_argument("--objects", action="append", default=[], metavar="ARCH=FILE")
    parser.add_argument("--imports", metavar="LIST")
    parser.add_argument("--program", action="store_true")
    parser.add_argument("--also-uses", action="append", default=[], metavar="DYLIB")
    args = parser.parse_args()
    objects = {}
    for given in args.objects:
        arch, _, name = given.partition("=")
        objects.setdefault(arch, []).append(name)
    expected = sorted(args.archs or ["x86_64", "arm64"])

    report = Report()
    try:
        import_list = read_imports(args.imports) if args.imports else None
    except OSError as error:
        print(f"cannot read {args.imports}: {error.strerror}")
        return 1
    try:
        with open(args.module, "rb") as module:
            data = module.read()
    except OSError as error:
        print(f"cannot read {args.module}: {error.strerror}")
        return 1
    slices = slices_of(args.objdump, args.module, data)
    archs = sorted(arch for arch, _, _ in slices)
    report.line("slices", " ".join(archs) or "none (not a 64-bit Mach-O file)",
                None if archs == expected else " ".join(expected) + " expected")
    for arch, offset, size in slices:
        check_slice(report, args.objdump, args.module, data, arch, offset, size, objects.get(arch, []), import_list,
                    args.program, args.also_uses)
    report.line("size", f"{len(data)} bytes", None if len(data) <= args.max_bytes else f"above {args.max_bytes}")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
