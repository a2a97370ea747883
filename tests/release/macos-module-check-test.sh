#!/usr/bin/env bash
# check-macos-module.py passes the module as built, and refuses each way of spoiling it:
# the same objects linked by Zig's own linker (which exports the C++ runtime and leaves the
# symbols), a byte changed after signing, another dylib, a newer minimum macOS, JUCE inside,
# a missing slice, too many bytes.
# Arguments: the source folder, the python interpreter, llvm-objdump, llvm-install-name-tool,
# the module's architecture (x86_64 or arm64), the module, the module as Zig links it.
set -euo pipefail
source_dir=$1 python=$2 objdump=$3 install_name_tool=$4 arch=$5 module=$6 zig_linked=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check() { "$python" "$source_dir/tests/release/check-macos-module.py" --objdump "$objdump" "$@"; }

failures=0
if ! said=$(check --arch "$arch" --max-bytes 800000 "$module"); then
  echo "FAIL: the module as built is refused:"
  echo "$said"
  failures=$((failures + 1))
fi

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
)
for case in "${cases[@]}"; do
  IFS='|' read -r name make options expected <<< "$case"
  in=$module out=$work/$name.dylib
  eval "$make"
  # shellcheck disable=SC2086 # the options are words
  if said=$(check ${options:---arch $arch --max-bytes 800000} "$out"); then
    echo "FAIL: $name: accepted"
    failures=$((failures + 1))
  elif ! grep -F -- "$expected" <<< "$said" | grep -q MISSED; then
    echo "FAIL: $name: expected a missed '$expected', the checker said:"
    echo "$said"
    failures=$((failures + 1))
  fi
done
echo "macOS module checks: $((${#cases[@]} + 1 - failures)) as expected, $failures not"
[ "$failures" = 0 ]
