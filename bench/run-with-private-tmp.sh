#!/usr/bin/env bash
# Runs a command with a /tmp of its own (needs root: a private mount namespace), so that
# other programs on a shared machine that use the extension's fixed FIFO names in /tmp cannot
# disturb a benchmark, nor it them. The private /tmp is a folder on the same file system.
#   bench/run-with-private-tmp.sh build/bench/bv-bench-e2e
set -euo pipefail
private=$(mktemp -d "${TMPDIR:-/tmp}/bv-private-tmp-XXXXXX")
trap 'rm -rf "$private"' EXIT
unshare --mount --propagation private -- sh -c 'mount --bind "$0" /tmp && shift && exec "$@"' "$private" -- "$@"
