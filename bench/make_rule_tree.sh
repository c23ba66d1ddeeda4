#!/usr/bin/env bash
# The benchmarks' rule tree: three rule files of 501 lines (user, domain and
# program file of ann@example.org), each 167 times a FROM rule, a SUBJECT rule
# and a comment. No ordinary message hits any of them. The three files are the
# same, or with "distinct" each has rules of its own (numbers from 1, 1001 and
# 2001).
# Usage: bench/make_rule_tree.sh PROGRAM_DIR [distinct]
set -euo pipefail
dir=${1:?usage: make_rule_tree.sh PROGRAM_DIR}
mkdir -p "$dir/EXAMPLE.ORG"

rules() {  # first number
  for i in $(seq "$1" $(($1 + 166))); do
    printf 'BLACKLIST FROM NOBODY%d@NOWHERE.EXAMPLE\r\n' "$i"
    printf 'WHITELIST SUBJECT CONTAINS NEVER SEEN %d\r\n' "$i"
    printf '# comment %d\r\n' "$i"
  done
}
step=0
[ "${2:-}" = distinct ] && step=1000
rules 1 >"$dir/EXAMPLE.ORG/ANN.QUORVANT"
rules $((1 + step)) >"$dir/EXAMPLE.ORG/\$default\$.QUORVANT"
rules $((1 + 2 * step)) >"$dir/\$default\$.QUORVANT"
