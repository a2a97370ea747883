#!/usr/bin/env bash
# The Mac owner's self-test (scripts/macos-selftest), run here against a Linux module with
# the programs of this build: it must pass with every step's verdict, and fail at the step
# that breaks when the module is not a library, at every step when reaper-sim counts host
# calls off its main thread (a stand-in reaper-sim adds one at each count), and before
# loading, saying what to run, when a program is quarantined (a stand-in xattr says so).
# Holds the fixed pipe's lock, as the other tests on the pipe do.
# Arguments: the source folder, the module, reaper-sim, bv-client, bv-tone.
set -euo pipefail
source_dir=$1 module=$2 sim=$3 client=$4 tone_writer=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tone_writer" "$work/tone.wav" > /dev/null
mkdir "$work/tmp"
mkdir "$work/bin"
{
  echo '#!/usr/bin/env bash'
  echo "\"$sim\" \"\$@\" | {"
  cat << 'SIM'
  n=0
  while IFS= read -r line; do
    case $line in "host calls off the main thread: "*) n=$((n + 1)) line="${line% *} $((${line##* } + n))" ;; esac
    printf '%s\n' "$line"
  done
}
SIM
} > "$work/bin/off-main-sim"
printf '#!/bin/sh\n[ "$1 $2" = "-p com.apple.quarantine" ] && [ "${3##*/}" = bv-client ]\n' > "$work/bin/xattr"
chmod +x "$work/bin/off-main-sim" "$work/bin/xattr"
selftest() { # module, reaper-sim, PATH
  TMPDIR=$work/tmp BV_SELFTEST_SIM=$2 BV_SELFTEST_CLIENT=$client BV_SELFTEST_TONE=$work/tone.wav PATH=$3 \
    flock /tmp/bv-reaper-fixed-pipe.lock "$source_dir/scripts/macos-selftest" "$1"
}

failures=0
# module | reaper-sim | PATH | exit status | the verdict lines, in order | a text it must say
cases=(
  "$module|$sim|$PATH|0|ok files;ok load;ok version;ok spot;ok selected;ok unload;PASS|"
  "$work/tone.wav|$sim|$PATH|1|ok files;FAIL load;FAIL|"
  "$module|$work/bin/off-main-sim|$PATH|1|ok files;FAIL load;FAIL version;FAIL spot;FAIL selected;FAIL unload;FAIL|host calls off REAPER's main thread: 1"
  "$module|$sim|$work/bin:$PATH|1|FAIL files;FAIL|bv-client quarantined (downloaded by a browser), so macOS refuses to run them; run: xattr -dr com.apple.quarantine '$(cd "$(dirname "$client")" && pwd)'"
)
for case in "${cases[@]}"; do
  IFS='|' read -r file sim_used path expected_status expected text <<< "$case"
  status=0
  said=$(selftest "$file" "$sim_used" "$path") || status=$?
  verdicts=$(sed -n 's/^\(ok\|FAIL\) *\([a-z]*\) .*/\1 \2/p; s/^\(PASS\|FAIL\)$/\1/p' <<< "$said" | paste -sd ';')
  if [ "$status" != "$expected_status" ] || [ "$verdicts" != "$expected" ] || ! grep -qF -- "$text" <<< "$said"; then
    echo "FAIL: $(basename "$file") with $(basename "$sim_used"): exit $status, verdicts '$verdicts'; expected exit $expected_status, '$expected', saying '$text'. It said:"
    echo "$said"
    failures=$((failures + 1))
  fi
done
leftovers=$(ls "$work/tmp")
[ -z "$leftovers" ] || { echo "FAIL: left behind: $leftovers"; failures=$((failures + 1)); }
echo "self-test script: $((${#cases[@]} - failures)) cases as expected, $failures not"
[ "$failures" = 0 ]
