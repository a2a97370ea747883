# shellcheck shell=bash
# Sourced by scripts that run a long, talkative command (apt-get, a build): its output goes
# to a log file, one line of progress stays on screen, and only a failure shows the log's
# end, with the command to run again.

# Reads "PERCENT TEXT" lines and shows them as one line of progress headed LABEL: rewritten
# in place on a terminal, a row of 10 % marks elsewhere (a CI log, a pipe).
show_progress() {
  local label=$1 percent text next_mark=10
  if [ -t 1 ]; then
    while read -r percent text; do
      printf '\r\e[K   %s %3d %% %.60s' "$label" "$percent" "$text"
    done
    printf '\r\e[K'
  else
    printf '   %s' "$label"
    while read -r percent text; do
      while [ "$percent" -ge "$next_mark" ] && [ "$next_mark" -le 100 ]; do
        printf ' %d%%' "$next_mark"
        next_mark=$((next_mark + 10))
      done
    done
    printf '\n'
  fi
}

# Turns the output of `cmake --build ... --target TARGET...` into progress lines, given the
# same targets in the same order: "[ 42%] Building ..." (Makefiles, which count each target
# from 0 to 100 % in turn) and "[12/345] Building ..." (Ninja, one count for all). A
# compiled file is named without its folders.
build_progress_lines() {
  awk -v targets="$*" '
    BEGIN { count = split(targets, target, " "); if (count == 0) count = 1; done = 0 }
    function show(percent, text,   parts, n) {
      if (text ~ /^Building .* object /) {
        n = split(text, parts, "/")
        text = "compiling " parts[n]
        sub(/\.o$/, "", text)
      }
      print percent, text
      fflush()
    }
    match($0, /^\[ *[0-9]+%\] /) {
      text = substr($0, RLENGTH + 1)
      show(int((done * 100 + substr($0, 2, RLENGTH - 4)) / count), text)
      if (done < count && text == "Built target " target[done + 1]) done++
      next
    }
    match($0, /^\[[0-9]+\/[0-9]+\] /) {
      split(substr($0, 2, RLENGTH - 3), n, "/")
      show(int(n[1] * 100 / n[2]), substr($0, RLENGTH + 1))
    }'
}

# After a failed step: the log's last lines, where the whole output is, how to try again.
show_failure() {
  local what=$1 log=$2 retry=$3
  {
    printf '   %s failed; the end of %s:\n' "$what" "$log"
    tail -n 30 "$log" | sed 's/\r$//; s/^/   | /'
    printf '   Run again with: %s\n' "$retry"
  } >&2
}
