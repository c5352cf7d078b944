#!/usr/bin/env bash
# The bash completion of vrk: commands, options, *.vrk files and folders.
# Usage: completion_test.sh VRK SCRIPT
set -uo pipefail
[ -f /usr/share/bash-completion/bash_completion ] || { echo "Skipped: bash-completion is not installed"; exit 77; }
vrk=$(realpath "$1") script=$(realpath "$2") work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/here/maps" && ln -s "$vrk" "$work/bin/vrk"
touch "$work/here/a.vrk" "$work/here/b.txt"
cd "$work/here"
exec bash --norc --noprofile -s "$script" <<'SHELL'
PATH=$PWD/../bin:$PATH
source /usr/share/bash-completion/bash_completion
source "$1"
failures=0
[[ $(complete -p vrk) == "complete -F _vrk vrk" ]] || { echo "FAIL: complete -p vrk: $(complete -p vrk)"; failures=1; }
expect() {  # expect "WANTED WORDS" WORD...: completing the last word gives the wanted words
  local wanted=$1; shift
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
  _vrk vrk "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got; got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  [[ $got == "$wanted" ]] || { echo "FAIL: [$*]: expected [$wanted], got [$got]"; failures=$((failures + 1)); }
}
expect "cat compress diff extract list verify" vrk ""
expect "compress" vrk -q co
expect "--debug --help --quiet --version" vrk --
expect "--debug --directory --help --output --quiet --recover" vrk extract --
expect "a.vrk maps" vrk p ""
expect "a.vrk maps" vrk diff a.vrk ""
expect "maps" vrk compress ""
expect "a.vrk maps" vrk c maps ""
expect "maps" vrk x a.vrk -C ""
expect "a.vrk maps" vrk x -C maps ""
expect "" vrk list a.vrk ""
exit $failures
SHELL
