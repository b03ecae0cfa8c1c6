#!/bin/sh
# Writes a help2man include file whose COMMANDS section holds the --help of
# each command that `kvt710 --help` lists, so that kvt710(1) documents them.
#
#   man_commands.sh KVT710 OUTPUT
set -eu
kvt710=$1
commands=$("$kvt710" --help | sed -n '/^Subcommands:/,/^$/s/^ *\([a-z][a-z0-9-]*\) .*/\1/p')
[ -n "$commands" ] || {
  echo "man_commands.sh: $kvt710 --help lists no commands" >&2
  exit 1
}
{
  echo '[COMMANDS]'
  for command in $commands; do
    echo ".SS $command"
    echo '.nf'
    # roff: a backslash is \e; a line may not start with . or '.
    "$kvt710" "$command" --help | sed -e '/^Exit codes:/d' -e 's/\\/\\e/g' -e "s/^[.']/\\\\\\&&/"
    echo '.fi'
  done
} >"$2"
