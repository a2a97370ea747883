#!/usr/bin/env bash
# Size and run-time dependencies of the module as shipped: builds the self-contained
# release module (preset release, folder build-release) and prints the release figures of
# it stripped (tests/extension/check-release-module.sh) and its ldd list.
# The aarch64 module is measured too when build-release-aarch64 holds one.
#   bench/module-footprint.sh [--jobs N]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=2
if [ "${1:-}" = "--jobs" ]; then jobs="$2"; fi
cmake --preset release > /dev/null
cmake --build --preset release -j"$jobs" --target reaper_belvanta_extension > /dev/null
status=0
for build in build-release build-release-aarch64; do
  module="$build/core/Reaper/reaper_belvanta_extension.so"
  [ -f "$module" ] || continue
  tool() { sed -n "s/^CMAKE_$1:FILEPATH=//p" "$build/CMakeCache.txt"; }
  echo "$module:"
  tests/extension/check-release-module.sh "$module" "$(tool OBJDUMP)" "$(tool STRIP)" | sed 's/^/  /' || status=1
  if [ "$build" = build-release ]; then
    echo "  ldd:"
    ldd "$module" | sed 's/^/    /'
  else
    echo "  ld.so --list under qemu:"
    qemu-aarch64 -L /usr/aarch64-linux-gnu /usr/aarch64-linux-gnu/lib/ld-linux-aarch64.so.1 --list "$module" | sed 's/^/    /'
  fi
done
exit $status
