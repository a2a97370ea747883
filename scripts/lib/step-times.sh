# shellcheck shell=bash
# Sourced by scripts/test and the scripts it runs (release, test-sanitizers, fuzz): each
# long step runs as `timed NAME COMMAND...`, which records its wall-clock seconds under
# NAME, and the outermost of these scripts prints the table of every step when it exits,
# after a failure too, so that every CI log says where its time went. The steps are written
# to the file BV_STEP_TIMES, which the scripts it starts inherit.

if [ -z "${BV_STEP_TIMES:-}" ]; then
  BV_STEP_TIMES=$(mktemp "${TMPDIR:-/tmp}/bv-step-times.XXXXXX")
  export BV_STEP_TIMES
  bv_step_times_owner=1
  bv_step_times_started=$(date +%s)
  # A script with an EXIT trap of its own calls step_times_report from it.
  trap step_times_report EXIT
fi

# Runs COMMAND and records how long it took; returns COMMAND's status.
timed() {
  local name=$1 started status=0
  shift
  started=$(date +%s)
  BV_STEP_DEPTH=$((${BV_STEP_DEPTH:-0} + 1)) "$@" || status=$?
  step_times_record "$name" "$started" "$status"
  return "$status"
}

# For a step written inline: started=$(date +%s); ...; step_times_record NAME "$started".
# A row is: start, depth (a step of a script that is itself a step is one deeper), name,
# seconds, note.
step_times_record() {
  local note=''
  [ "${3:-0}" -eq 0 ] || note="failed ($3)"
  printf '%d\t%d\t%s\t%d\t%s\n' "$2" "${BV_STEP_DEPTH:-0}" "$1" $(($(date +%s) - $2)) "$note" \
    >> "$BV_STEP_TIMES"
}

# The table, printed once by the script that created BV_STEP_TIMES.
step_times_report() {
  [ "${bv_step_times_owner:-0}" = 1 ] || return 0
  bv_step_times_owner=0
  local total=$(($(date +%s) - bv_step_times_started))
  echo
  echo "== time per step (wall clock, seconds; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg))"
  # In the order they started, a script's steps under it; the outermost ones add up.
  sort -s -t$'\t' -k1,1n -k2,2n "$BV_STEP_TIMES" | awk -F'\t' -v total="$total" '
    {
      indent = ""
      for (i = 0; i < $2; i++) indent = indent "  "
      line = sprintf("  %-42s %6d  %s", indent $3, $4, $5)
      sub(/ +$/, "", line)
      print line
      if ($2 == 0) sum += $4
    }
    END {
      printf "  %-42s %6d\n", "(between the steps)", total - sum
      printf "  %-42s %6d  (%d min %d s)\n", "total", total, total / 60, total % 60
    }'
  rm -f "$BV_STEP_TIMES"
}
