#!/bin/sh
# validate-desktop-entry.sh ENTRY: desktop-file-validate must pass ENTRY without
# a single message; exits 77 (skipped) where it is not installed.
command -v desktop-file-validate >/dev/null || exit 77
out=$(desktop-file-validate "$1" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
