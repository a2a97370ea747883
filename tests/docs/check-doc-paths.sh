#!/bin/bash
# Every file or folder a document names, in backticks from the top of the source tree
# (`core/...`, `tests/...`, `scripts/...`), exists. Paths with a placeholder (`<`, `*`, `$`,
# `...`) or what the build or its installer makes (`build*/`, `build-tools/`, `dist/`) are not files of the tree and are left out.
# Usage: check-doc-paths.sh SOURCE_DIR
set -u
cd "$1" || exit 2
missing=0
for doc in README.md docs/*.md */README.md */*/README.md; do
  [ -f "$doc" ] || continue
  while IFS= read -r path; do
    case "$path" in
      *'<'* | *'*'* | *'$'* | *'...'* | *'…'*) continue ;;
    esac
    path=${path%%:*}
    if [ ! -e "$path" ]; then
      echo "$doc names $path, which does not exist"
      missing=1
    fi
  done < <(grep -o '`[^` ]*`' "$doc" | tr -d '`' |
           grep -E '^(\.ci|bench|client|cmake|core|docs|fuzz|host|scripts|tests|tools)/')
done
exit $missing
