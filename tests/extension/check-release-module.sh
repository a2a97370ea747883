#!/usr/bin/env bash
# Checks that a module is self-contained, as a release must be: it needs only the C
# library, libm, libgcc_s and the loader; no GLIBC_ version above 2.34; no C++ runtime
# version; it defines ReaperPluginEntry and nothing else, no protobuf symbol either way;
# stripped, it is at most 1 MB. Prints one line per figure and exits 1 when any is missed.
#
#   check-release-module.sh MODULE [OBJDUMP] [STRIP]
# OBJDUMP and STRIP default to the host's; give the cross tools for another architecture.
set -euo pipefail

module=$1
objdump=${2:-objdump}
strip=${3:-strip}

max_glibc=2.34
max_bytes=1000000
allowed_needed='^(libc\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|ld-linux[-a-z0-9_.]*\.so\.[0-9]+)$'

status=0
report() { # figure, value, verdict
  printf '%-28s %s  [%s]\n' "$1" "$2" "$3"
  if [ "$3" != met ]; then status=1; fi
}

headers=$("$objdump" -p "$module")
symbols=$("$objdump" -T "$module")

needed=$(awk '$1 == "NEEDED" { print $2 }' <<< "$headers" | sort)
unexpected=$(grep -Ev "$allowed_needed" <<< "$needed" || true)
report "libraries needed" "$(tr '\n' ' ' <<< "$needed")" "$([ -z "$unexpected" ] && echo met || echo "MISSED: $(tr '\n' ' ' <<< "$unexpected")")"

highest=$(grep -o 'GLIBC_[0-9][0-9.]*' <<< "$symbols" | sed 's/GLIBC_//' | sort -V | tail -1)
report "highest GLIBC_ version" "${highest:-none}" \
  "$([ -z "$highest" ] || [ "$(printf '%s\n%s\n' "$highest" "$max_glibc" | sort -V | tail -1)" = "$max_glibc" ] && echo met || echo "MISSED: above $max_glibc")"

cxx_versions=$(grep -oE '(GLIBCXX|CXXABI)_[0-9][0-9.]*' <<< "$symbols" | sort -u | tr '\n' ' ' || true)
report "GLIBCXX_/CXXABI_ needed" "${cxx_versions:-none}" "$([ -z "$cxx_versions" ] && echo met || echo MISSED)"

# objdump -T: defined symbols have a section other than *UND*; the name is the last field.
# Local ones ("l", such as the section symbols some linkers add) are not exported.
defined=$(awk 'NF >= 6 && $0 ~ /^[0-9a-f]+ / && $2 != "l" && $0 !~ /\*UND\*/ { print $NF }' <<< "$symbols" | sort -u | tr '\n' ' ')
report "dynamic symbols defined" "$defined" "$([ "$defined" = "ReaperPluginEntry " ] && echo met || echo "MISSED: only ReaperPluginEntry allowed")"

protobuf_symbols=$(grep -cE 'google.*protobuf|_ZN6google8protobuf' <<< "$symbols" || true)
report "protobuf dynamic symbols" "$protobuf_symbols" "$([ "$protobuf_symbols" = 0 ] && echo met || echo MISSED)"

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$strip" -o "$stripped" "$module"
bytes=$(stat -c %s "$stripped")
report "stripped size" "$bytes bytes" "$([ "$bytes" -le "$max_bytes" ] && echo met || echo "MISSED: above $max_bytes")"

exit $status
