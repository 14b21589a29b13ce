#!/bin/sh
# Writes CHANGELOG.md on standard output as a package's changelog. CHANGELOG.md
# stays the one place where changes are written down; the packages carry a
# copy in their own format because Debian's tools and rpmbuild read only
# theirs. One entry per "## VERSION (YYYY-MM-DD)" heading, newest first as
# there, its paragraphs and bullets as the entry's items, signed on the
# version's own date. A heading without a date (an unreleased version) and
# what follows it up to the next heading are left out: no package of it
# exists.
#
#   deb: "PACKAGE (VERSION) unstable; urgency=medium", items "  * ", and
#        " -- SIGNER  DATE" after each entry
#   rpm: "* DATE SIGNER - VERSION-RELEASE", items "- ", and every % doubled,
#        since rpm expands macros in a changelog
#
# Usage: package-changelog.sh deb CHANGELOG.md PACKAGE "NAME <ADDRESS>"
#        package-changelog.sh rpm CHANGELOG.md "NAME <ADDRESS>" RELEASE
set -eu
usage="usage: $0 deb CHANGELOG.md PACKAGE SIGNER | rpm CHANGELOG.md SIGNER RELEASE"
[ $# -eq 4 ] || { echo "$usage" >&2; exit 2; }
format=$1 changelog=$2
case $format in
  deb) package=$3 signer=$4 release= ;;
  rpm) package= signer=$3 release=$4 ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

# Every version's date in the form the format signs with, looked up before
# awk runs, since awk has no portable date arithmetic.
dates=$(sed -n 's/^## [^ ]* (\([0-9-]*\))$/\1/p' "$changelog" | sort -u |
  while read -r day; do
    if [ "$format" = deb ]; then signed=$(LC_ALL=C date -u -R -d "$day")
    else signed=$(LC_ALL=C date -u -d "$day" '+%a %b %d %Y'); fi || exit 1
    printf '%s=%s\n' "$day" "$signed"
  done)
[ -n "$dates" ] || { echo "$0: no \"## VERSION (DATE)\" heading in $changelog" >&2; exit 1; }

LC_ALL=C awk -v format="$format" -v package="$package" -v signer="$signer" \
  -v release="$release" -v dates="$dates" '
BEGIN {
  n = split(dates, lines, "\n")
  for (i = 1; i <= n; i++) { eq = index(lines[i], "="); signed[substr(lines[i], 1, eq - 1)] = substr(lines[i], eq + 1) }
  item = format == "deb" ? "  * " : "- "
  more = format == "deb" ? "    " : "  "
}
function close_entry() {
  if (format == "deb" && version != "") printf "\n -- %s  %s\n", signer, signed[day]
}
/^## / {
  close_entry()
  day = $3; gsub(/[()]/, "", day)
  if (!(day in signed)) { version = ""; next }
  if (entries++) printf "\n"
  version = $2
  if (format == "deb") printf "%s (%s) unstable; urgency=medium\n\n", package, version
  else printf "* %s %s - %s-%s\n", signed[day], signer, version, release
  blank = 1; next
}
version == "" { next }
/^[ \t]*$/ { blank = 1; next }
format == "rpm" { gsub(/%/, "%%") }
# A bullet, a bullet wrapped onto the next line, or a paragraph: each
# paragraph and each bullet becomes one item.
/^[-*] / { sub(/^[-*] /, ""); print item $0; blank = 0; next }
{
  sub(/^[ \t#]+/, "")
  print (blank ? item : more) $0
  blank = 0
}
END {
  close_entry()
  if (!entries) exit 1
}
' "$changelog"
