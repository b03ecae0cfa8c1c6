#!/usr/bin/env bash
# The two commands in the README's order: a tree configured as scripts/demo
# configures build/, then as scripts/test does, has the test suites, and
# ctest refuses a tree without tests. Only configures a tree of its own.
#
#   tree_options_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
tree=$2/tree
source "$source_dir/scripts/tree-options"
rm -rf "$tree"

cmake -S "$source_dir" -B "$tree" -G Ninja "${demo_tree_options[@]}" >/dev/null
if ctest --test-dir "$tree" --no-tests=error >/dev/null 2>&1; then
  echo "ctest --no-tests=error accepted the demo's tree, which has no tests" >&2
  exit 1
fi
cmake -S "$source_dir" -B "$tree" -G Ninja "${test_tree_options[@]}" >/dev/null
listed=$(ctest --test-dir "$tree" -N)
for suite in kvt710_unit_tests kvt710_integration_tests; do
  grep -q "$suite" <<<"$listed" || { echo "Test options leave $suite out: $listed" >&2 && exit 1; }
done
rm -rf "$tree"
