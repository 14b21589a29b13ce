#!/bin/sh
# Writes CHANGELOG.md as a Debian changelog on standard output: one entry per
# "## VERSION (YYYY-MM-DD)" heading (a heading without a date is skipped), its paragraphs and bullets as the
# entry's items, signed by the maintainer on the version's own date. CHANGELOG.md
# stays the one place where changes are written down; the package carries
# this copy because Debian's tools read only their own format.
# Usage: debian-changelog.sh CHANGELOG.md PACKAGE "NAME <ADDRESS>"
set -eu
[ $# -eq 3 ] || { echo "usage: $0 CHANGELOG.md PACKAGE MAINTAINER" >&2; exit 2; }
changelog=$1 package=$2 maintainer=$3

# Every version's date in the form Debian signs with, looked up before awk
# runs, since awk has no portable date arithmetic.
dates=$(sed -n 's/^## [^ ]* (\([0-9-]*\))$/\1/p' "$changelog" | sort -u |
  while read -r day; do
    printf '%s=%s\n' "$day" "$(LC_ALL=C date -u -R -d "$day")" || exit 1
  done)
[ -n "$dates" ] || { echo "$0: no \"## VERSION (DATE)\" heading in $changelog" >&2; exit 1; }

LC_ALL=C awk -v package="$package" -v maintainer="$maintainer" -v dates="$dates" '
BEGIN {
  n = split(dates, lines, "\n")
  for (i = 1; i <= n; i++) { eq = index(lines[i], "="); signed[substr(lines[i], 1, eq - 1)] = substr(lines[i], eq + 1) }
}
function close_entry() {
  if (version != "") printf "\n -- %s  %s\n", maintainer, signed[day]
}
/^## / {
  close_entry()
  version = ""
  # Only a dated heading is a release: "## 1.2.0 (unreleased)" collects the
  # changes of the next release, which no package of this version holds.
  if ($3 !~ /^\([0-9]+-[0-9]+-[0-9]+\)$/) next
  if (entries++) printf "\n"
  version = $2; day = $3; gsub(/[()]/, "", day)
  printf "%s (%s) unstable; urgency=medium\n\n", package, version
  blank = 1; next
}
version == "" { next }
/^[ \t]*$/ { blank = 1; next }
# A bullet, a bullet wrapped onto the next line, or a paragraph: each
# paragraph and each bullet becomes one item.
/^[-*] / { sub(/^[-*] /, ""); print "  * " $0; blank = 0; next }
{
  sub(/^[ \t#]+/, "")
  print (blank ? "  * " : "    ") $0
  blank = 0
}
END {
  close_entry()
  if (!entries) exit 1
}
' "$changelog"
