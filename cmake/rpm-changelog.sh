#!/bin/sh
# Writes CHANGELOG.md on standard output as the %changelog rpmbuild reads:
# one entry per "## VERSION (YYYY-MM-DD)" heading, newest first as there,
# its paragraphs and bullets as the entry's items, signed by the packager
# on the version's own date. rpm expands macros in a changelog, so every %
# is doubled. A heading without a date (an unreleased version) and what
# follows it up to the next heading are left out: no package of it exists.
# Usage: rpm-changelog.sh CHANGELOG.md "NAME <ADDRESS>" RELEASE
set -eu
[ $# -eq 3 ] || { echo "usage: $0 CHANGELOG.md PACKAGER RELEASE" >&2; exit 2; }
changelog=$1 packager=$2 release=$3

# Every version's date as rpm writes it, looked up before awk runs, since
# awk has no portable date arithmetic.
dates=$(sed -n 's/^## [^ ]* (\([0-9-]*\))$/\1/p' "$changelog" | sort -u |
  while read -r day; do
    printf '%s=%s\n' "$day" "$(LC_ALL=C date -u -d "$day" '+%a %b %d %Y')" || exit 1
  done)
[ -n "$dates" ] || { echo "$0: no \"## VERSION (DATE)\" heading in $changelog" >&2; exit 1; }

LC_ALL=C awk -v packager="$packager" -v release="$release" -v dates="$dates" '
BEGIN {
  n = split(dates, lines, "\n")
  for (i = 1; i <= n; i++) { eq = index(lines[i], "="); signed[substr(lines[i], 1, eq - 1)] = substr(lines[i], eq + 1) }
}
/^## / {
  day = $3; gsub(/[()]/, "", day)
  if (!(day in signed)) { version = ""; next }
  if (entries++) printf "\n"
  version = $2
  printf "* %s %s - %s-%s\n", signed[day], packager, version, release
  blank = 1; next
}
version == "" { next }
/^[ \t]*$/ { blank = 1; next }
{ gsub(/%/, "%%") }
/^[-*] / { sub(/^[-*] /, ""); print "- " $0; blank = 0; next }
{
  sub(/^[ \t#]+/, "")
  print (blank ? "- " : "  ") $0
  blank = 0
}
END { if (!entries) exit 1 }
' "$changelog"
