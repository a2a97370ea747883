#!/usr/bin/env bash
# Size and run-time dependencies of the loadable module as shipped: builds it in Release and
# MinSizeRel (folders build-release, build-minsizerel), strips a copy of each, and prints
# its size and its ldd list.
#   bench/module-footprint.sh [--jobs N]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=2
if [ "${1:-}" = "--jobs" ]; then jobs="$2"; fi
limit=$((600 * 1000))
status=0
for config in Release MinSizeRel; do
  dir="build-$(echo "$config" | tr '[:upper:]' '[:lower:]')"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$config" -DBV_BUILD_TESTS=OFF -DBV_BUILD_HOST=OFF -DBV_BUILD_BENCH=OFF > /dev/null
  cmake --build "$dir" -j"$jobs" --target reaper_belvanta_extension > /dev/null
  module="$dir/core/Reaper/reaper_belvanta_extension.so"
  strip -o "$dir/reaper_belvanta_extension.stripped.so" "$module"
  size=$(stat -c %s "$dir/reaper_belvanta_extension.stripped.so")
  verdict="met"
  if [ "$size" -gt "$limit" ]; then verdict="MISSED"; status=1; fi
  echo "$config: stripped module $size bytes ($((size / 1024)) KiB; target <= 600 KB: $verdict)"
  echo "  run-time dependencies:"
  ldd "$module" | sed 's/^/    /'
done
exit $status
