#!/usr/bin/env bash
# acceptance.sh PROGRAM ACCEPTANCE_DIR
#
# Runs the shared whole-program acceptance cases on PROGRAM with their own
# checker.  One deliberate difference is applied to the expected files first:
# this program doubles each apostrophe inside the plot title ("set title
# 'Caso d''agua ...'"), so a title cannot end the quoted text early and run
# as plotter commands.  The expected scripts are adjusted to that rule in a
# copy of the cases; every other byte is compared as it stands.
set -euo pipefail
program=$1
acceptance=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$acceptance" "$work/acceptance"
chmod -R u+w "$work/acceptance"
find "$work/acceptance/cases" -path '*/expected/*.gnu' -print0 |
  xargs -0 -r perl -i -pe '
    if (/^set title \x27(.*)\x27(\r?\n)$/s) {
      my ($t, $eol) = ($1, $2);
      $t =~ s/\x27/\x27\x27/g;
      $_ = "set title \x27$t\x27$eol";
    }'
bash "$work/acceptance/check.sh" "$program"
