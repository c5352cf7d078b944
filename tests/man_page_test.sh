#!/usr/bin/env bash
# The manual page names every command and every option that vrk's --help and
# each command's --help show.
# Usage: man_page_test.sh VRK PAGE
set -uo pipefail
vrk=$1 page=$2
# The page's text with roff's escaped hyphens and font changes undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$page")
commands=$("$vrk" --help | awk '/^[A-Za-z]/ { in_list = ($0 ~ /^Subcommands:/); next }
                                 in_list && NF { sub(/^ +/, ""); sub(/  .*/, ""); gsub(/,/, " "); print }')
[ -n "$commands" ] || { echo "FAIL: no commands found in vrk --help"; exit 1; }
options() {  # the option names of one --help text
  awk '/^[A-Za-z]/ { in_list = ($0 ~ /^Options:/); next }
       in_list && /^ +-/ { sub(/^ +/, ""); sub(/  .*/, ""); gsub(/[, =]/, "\n"); print }' | grep '^-'
}
missing=0 checked=0
check() {  # check NAME WHERE
  checked=$((checked + 1))
  grep -Eq -- "(^|[^[:alnum:]-])$1([^[:alnum:]-]|\$)" <<<"$text" || { echo "FAIL: the page does not name $1 ($2)"; missing=$((missing + 1)); }
}
for option in $("$vrk" --help | options); do check "$option" "vrk --help"; done
while read -r name aliases; do
  check "$name" "command"
  for alias in $aliases; do check "$alias" "alias of $name"; done
  for option in $("$vrk" "$name" --help | options); do check "$option" "vrk $name --help"; done
done <<<"$commands"
echo "$checked names checked, $missing missing"
exit $((missing != 0))
