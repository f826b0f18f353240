#!/usr/bin/env bash
# acceptance.sh PROGRAM ACCEPTANCE_DIR
#
# Runs the shared whole-program acceptance cases on PROGRAM with their own
# checker, comparing every expected file exactly as it stands.
set -euo pipefail
program=$1
acceptance=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$acceptance" "$work/acceptance"
chmod -R u+w "$work/acceptance"
bash "$work/acceptance/check.sh" "$program"
