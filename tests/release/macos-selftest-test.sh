#!/usr/bin/env bash
# The Mac owner's self-test (scripts/macos-selftest), run here against a Linux module with
# the programs of this build: it must pass with every step's verdict, and fail at the step
# that breaks when the module is not a library. Holds the fixed pipe's lock, as the
# other tests on the pipe do.
# Arguments: the source folder, the module, reaper-sim, bv-client, bv-tone.
set -euo pipefail
source_dir=$1 module=$2 sim=$3 client=$4 tone_writer=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tone_writer" "$work/tone.wav" > /dev/null
mkdir "$work/tmp"
selftest() {
  TMPDIR=$work/tmp BV_SELFTEST_SIM=$sim BV_SELFTEST_CLIENT=$client BV_SELFTEST_TONE=$work/tone.wav \
    flock /tmp/bv-reaper-fixed-pipe.lock "$source_dir/scripts/macos-selftest" "$1"
}

failures=0
# module | exit status | the verdict lines, in order
cases=(
  "$module|0|ok files;ok load;ok version;ok spot;ok selected;ok unload;PASS"
  "$work/tone.wav|1|ok files;FAIL load;FAIL"
)
for case in "${cases[@]}"; do
  IFS='|' read -r file expected_status expected <<< "$case"
  status=0
  said=$(selftest "$file") || status=$?
  verdicts=$(sed -n 's/^\(ok\|FAIL\) *\([a-z]*\) .*/\1 \2/p; s/^\(PASS\|FAIL\)$/\1/p' <<< "$said" | paste -sd ';')
  if [ "$status" != "$expected_status" ] || [ "$verdicts" != "$expected" ]; then
    echo "FAIL: $(basename "$file"): exit $status, verdicts '$verdicts'; expected exit $expected_status, '$expected'. It said:"
    echo "$said"
    failures=$((failures + 1))
  fi
done
leftovers=$(ls "$work/tmp")
[ -z "$leftovers" ] || { echo "FAIL: left behind: $leftovers"; failures=$((failures + 1)); }
echo "self-test script: $((${#cases[@]} - failures)) cases as expected, $failures not"
[ "$failures" = 0 ]
