#!/usr/bin/env bash
# The index scripts/reapack-index writes passes check-reapack-index.py, and each way of
# spoiling it (a name REAPER ignores, a platform ReaPack does not know, a wrong hash, ...)
# is refused. Arguments: the source folder, then the python interpreter.
set -euo pipefail
source_dir=$1 python=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/dist"
printf 'x86-64 module' > "$work/dist/reaper_belvanta_extension-linux-x86_64.so"
printf 'aarch64 module' > "$work/dist/reaper_belvanta_extension-linux-aarch64.so"
# The macOS file stays out of the index until it has run on a Mac: ReaPack would install
# it without a word.
printf 'macOS module' > "$work/dist/reaper_belvanta_extension-macos-universal.dylib"

"$source_dir/scripts/reapack-index" "$work/dist" "https://downloads.example.com/r/1.1/" \
  https://www.example.com 1.1 2026-12-08T01:02:03Z > "$work/index.xml"
check() { "$python" "$source_dir/tests/release/check-reapack-index.py" "$@"; }

failures=0
if ! check "$work/index.xml" "$work/dist"; then
  echo "FAIL: the written index is refused"
  failures=$((failures + 1))
fi
[ "$(grep -c '<source ' "$work/index.xml")" = 2 ] || { echo "FAIL: not one source per Linux module"; failures=$((failures + 1)); }
! grep -q 'macos' "$work/index.xml" || { echo "FAIL: the macOS module is in the index"; failures=$((failures + 1)); }

# sed expression | what the checker must say
mutations=(
  's/file="reaper_belvanta/file="belvanta/|REAPER loads only reaper_* files'
  's/platform="linux64"/platform="linux-x86_64"/|unknown platform'
  's/platform="linux-aarch64"/platform="linux64"/|two sources for linux64'
  's/\(linux64.*hash="1220\)[0-9a-f]*/\1ff/|linux64: hash 1220ff does not match'
  's/-linux-aarch64.so</-linux-arm64.so</|reaper_belvanta_extension-linux-arm64.so is not in'
  's/time="[^"]*"/time="yesterday"/|is not ISO 8601'
  's/<version name="1.1"/<version name="one"/|must be numbers and dots'
  's/type="extension"/type="plugin"/|unknown type'
  's/<link rel="website">/<link rel="donation">/|no website <link>'
  's/<index version="1"/<index version="2"/|the root must be'
  's/https:\/\/downloads/downloads/|is not an http(s) URL'
  's/<\/category>//|not readable as XML'
)
for mutation in "${mutations[@]}"; do
  expression=${mutation%%|*} expected=${mutation#*|}
  sed "$expression" "$work/index.xml" > "$work/spoiled.xml"
  if cmp -s "$work/index.xml" "$work/spoiled.xml"; then
    echo "FAIL: '$expression' changed nothing"
    failures=$((failures + 1))
  elif said=$(check "$work/spoiled.xml" "$work/dist"); then
    echo "FAIL: accepted the index spoiled by '$expression'"
    failures=$((failures + 1))
  elif ! grep -qF -- "$expected" <<< "$said"; then
    echo "FAIL: '$expression': expected '$expected', the checker said: $said"
    failures=$((failures + 1))
  fi
done
echo "index checks: $((${#mutations[@]} + 3 - failures)) as expected, $failures not"
[ "$failures" = 0 ]
