#!/usr/bin/env bash
# The manual page names every command, alias and option that vrk's --help and
# each command's --help show.
# Usage: man_page_test.sh VRK PAGE
set -uo pipefail
vrk=$1
# The page's text with roff's escaped hyphens and font changes undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$2")
list() {  # list SECTION [START]: the names listed under SECTION, those beginning with START
  awk -v section="$1:" '/^[A-Za-z]/ { in_list = ($0 == section); next }
    in_list && NF { sub(/^ +/, ""); sub(/  .*/, ""); gsub(/[, =]/, "\n"); print }' | grep "^${2:-.}"
}
commands=$("$vrk" --help | list Subcommands)
names=$( ("$vrk" --help | list Options -; echo "$commands"; for c in $commands; do "$vrk" "$c" --help 2>/dev/null | list Options -; done) | sort -u)
[ -n "$commands" ] || { echo "FAIL: no commands found in vrk --help"; exit 1; }
missing=0
for name in $names; do
  grep -Eq -- "(^|[^[:alnum:]-])$name([^[:alnum:]-]|\$)" <<<"$text" || { echo "FAIL: the page does not name $name"; missing=$((missing + 1)); }
done
echo "$(wc -w <<<"$names") names checked, $missing missing"
exit $((missing != 0))
