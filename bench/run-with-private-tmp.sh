#!/usr/bin/env bash
# Runs a command with a /tmp of its own (needs root: a private mount namespace), so that
# other programs on a shared machine that use the extension's fixed FIFO names in /tmp cannot
# disturb a benchmark, nor it them. The private /tmp is a folder on the same file system.
#   bench/run-with-private-tmp.sh build/bench/bv-bench-e2e
set -euo pipefail

# The private /tmp hides everything below the real one: a program that lives there, or a
# run from a folder there, goes without it.
program=$(realpath -m "$1")
case "$program/" in /tmp/*) exec "$@" ;; esac
case "$(pwd)/" in /tmp/*) exec "$@" ;; esac

private=$(mktemp -d "${TMPDIR:-/tmp}/bv-private-tmp-XXXXXX")
trap 'rm -rf "$private"' EXIT
unshare --mount --propagation private -- sh -c 'mount --bind "$0" /tmp && shift && exec "$@"' "$private" -- "$@"
