#!/usr/bin/env bash
# check-macos-module.py passes the module as built, and refuses each way of spoiling it:
# the same objects linked by Zig's own linker (which exports the C++ runtime and leaves the
# symbols), a byte changed after signing, another dylib, a newer minimum macOS, JUCE inside,
# a missing slice, too many bytes, unwind entries in DWARF mode without the __eh_frame they
# point into, no personality routine where the objects use one, an import missing from the
# list, an import newer than macOS 11.0.
# Arguments: the source folder, the python interpreter, llvm-objdump, llvm-install-name-tool,
# the module's architecture (x86_64 or arm64), the module, the module as Zig links it, the
# try/catch probe and its object, the module importing a function newer than 11.0.
set -euo pipefail
source_dir=$1 python=$2 objdump=$3 install_name_tool=$4 arch=$5 module=$6 zig_linked=$7
probe=$8 probe_object=$9 newer_import=${10}
imports=$source_dir/tests/release/macos-imports.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check() { "$python" "$source_dir/tests/release/check-macos-module.py" --objdump "$objdump" "$@"; }

failures=0
for good in "$module" "$probe"; do
  if ! said=$(check --arch "$arch" --max-bytes 800000 --imports "$imports" --objects "$arch=$probe_object" "$good"); then
    echo "FAIL: $good as built is refused:"
    echo "$said"
    failures=$((failures + 1))
  fi
done

# The load command LC_BUILD_VERSION (0x32) says macOS 12.0 instead of 11.0.
newer_minimum() {
  "$python" - "$1" "$2" << 'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
commands = struct.unpack_from("<I", data, 16)[0]
at = 32
for _ in range(commands):
    command, size = struct.unpack_from("<II", data, at)
    if command == 0x32:
        struct.pack_into("<I", data, at + 12, 12 << 16)
    at += size
open(sys.argv[2], "wb").write(data)
PY
}
# One byte of the code (past the load commands) changed.
flip_code_byte() {
  "$python" -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[0x2000] ^= 0xff; open(sys.argv[2], "wb").write(d)' "$1" "$2"
}

# The section __eh_frame renamed, so the slice has none; with "personality" also no
# personality routine in __unwind_info's array.
drop_unwind() {
  "$python" - "$@" << 'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
commands = struct.unpack_from("<I", data, 16)[0]
at = 32
for _ in range(commands):
    command, size = struct.unpack_from("<II", data, at)
    if command == 0x19:  # LC_SEGMENT_64: its sections follow its 72 bytes, 80 bytes each
        for index in range(struct.unpack_from("<I", data, at + 64)[0]):
            section = at + 72 + 80 * index
            name = bytes(data[section:section + 16]).rstrip(b"\0")
            offset = struct.unpack_from("<I", data, section + 48)[0]
            if name == b"__eh_frame":
                data[section:section + 16] = b"__eh_frame_gone\0"
            if name == b"__unwind_info" and sys.argv[3:] == ["personality"]:
                struct.pack_into("<I", data, offset + 16, 0)
    at += size
open(sys.argv[2], "wb").write(data)
PY
}
# The import list without the module's first import, and with the 11.3 import the headers date.
first_import() { "$objdump" --macho --syms "$1" | awk '/\*UND\*/ { print $NF; exit }'; }
listed_without() { grep -v "^$1 " "$imports" > "$2"; }
listed_with() { { cat "$imports"; "$python" "$source_dir/tests/release/macos-import-version.py" "$1"; } > "$2"; }

# name | how the spoiled file is made from $in into $out | checker options | what it must say
cases=(
  "zig-linked|cp \"\$zig_linked\" \"\$out\"||$arch: exported symbols"
  "zig-linked-unstripped|cp \"\$zig_linked\" \"\$out\"||$arch: stripped"
  "byte-changed|flip_code_byte \"\$in\" \"\$out\"||does not match its hash"
  "other-dylib|cp \"\$in\" \"\$out\" && \"\$install_name_tool\" -change /usr/lib/libSystem.B.dylib /usr/local/lib/libSystem.B.dylib \"\$out\" 2> /dev/null||$arch: dylibs used"
  "macos-12|newer_minimum \"\$in\" \"\$out\"||macos 12.0"
  "juce-inside|cp \"\$in\" \"\$out\" && printf 'N4juce6ThreadE' >> \"\$out\"||JUCE inside"
  "one-slice|cp \"\$in\" \"\$out\"|--arch x86_64 --arch arm64|slices"
  "too-big|cp \"\$in\" \"\$out\"|--max-bytes 1000|size"
  "no-eh-frame|drop_unwind \"\$probe\" \"\$out\"||$arch: unwind tables"
  "no-personality|drop_unwind \"\$probe\" \"\$out\" personality|--arch $arch --objects $arch=$probe_object|personality routines"
  "unlisted-import|cp \"\$in\" \"\$out\" && listed_without \"\$(first_import \"\$in\")\" \$work/list|--arch $arch --imports \$work/list|$arch: imports "
  "planted-import|cp \"\$newer_import\" \"\$out\"|--arch $arch --imports $imports|not on the list: _mach_task_is_self"
  "newer-import|cp \"\$newer_import\" \"\$out\" && listed_with _mach_task_is_self \$work/list|--arch $arch --imports \$work/list|_mach_task_is_self 11.3"
)
for case in "${cases[@]}"; do
  IFS='|' read -r name make options expected <<< "$case"
  in=$module out=$work/$name.dylib
  eval "$make"
  # shellcheck disable=SC2086 # the options are words (\$work/list expanded now)
  if said=$(eval check "${options:---arch $arch --max-bytes 800000}" '"$out"'); then
    echo "FAIL: $name: accepted"
    failures=$((failures + 1))
  elif ! grep -F -- "$expected" <<< "$said" | grep -q MISSED; then
    echo "FAIL: $name: expected a missed '$expected', the checker said:"
    echo "$said"
    failures=$((failures + 1))
  fi
done
echo "macOS module checks: $((${#cases[@]} + 2 - failures)) as expected, $failures not"
[ "$failures" = 0 ]
