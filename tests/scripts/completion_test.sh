#!/usr/bin/env bash
# The bash completion: a command from its start, and for the top level and
# each command exactly the options that its --help lists.
#
#   completion_test.sh COMPLETION_SCRIPT KVT710
set -euo pipefail
source "$1"
kvt710=$2
failed=0

# What completing the last of the given words offers, sorted, one line.
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _kvt710
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {
  [ "$2" = "$3" ] || { echo "completing '$1' offered '$2', not '$3'" >&2 && failed=1; }
}

expect "kvt710 im" "$(offered kvt710 im)" "import "
for command in "" script init import delete show check demo methods "config get" "config set" "config list" \
  "config path"; do
  # shellcheck disable=SC2086 # the command's words
  listed=$("$kvt710" $command --help | sed -n 's/^ *\(-[a-zA-Z],\)\{0,1\}\(--[a-z-]*\).*/\2/p' |
    sort | tr '\n' ' ')
  # shellcheck disable=SC2086
  expect "kvt710 $command --" "$(offered kvt710 $command --)" "$listed"
done
exit $failed
