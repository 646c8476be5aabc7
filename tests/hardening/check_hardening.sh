#!/usr/bin/env bash
# Checks each program given for the hardening of a Debian build, with readelf:
#   check_hardening.sh PROGRAM...
# BIND_NOW (or NOW among FLAGS_1), a GNU_RELRO segment, type DYN (position-independent),
# __stack_chk_fail, and with FOLVANE_EXPECT_FORTIFY=1 at least one fortified __*_chk call.
set -uo pipefail

failures=0
fail() {
  echo "hardening: $1: $2" >&2
  failures=$((failures + 1))
}

for program in "$@"; do
  [[ -f $program ]] || { fail "$program" "no such file"; continue; }
  dynamic=$(readelf -d -W "$program")
  grep -Eq '\(BIND_NOW\)|\(FLAGS_1\).*\bNOW\b|\(FLAGS\).*\bBIND_NOW\b' <<<"$dynamic" ||
    fail "$program" "not linked with -z now (no BIND_NOW)"
  readelf -l -W "$program" | grep -q 'GNU_RELRO' || fail "$program" "no GNU_RELRO segment (-z relro)"
  readelf -h -W "$program" | grep -Eq 'Type:[[:space:]]+DYN' || fail "$program" "not a position-independent executable"
  symbols=$(readelf --dyn-syms -W "$program")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program" "no stack protector (__stack_chk_fail)"
  if [[ ${FOLVANE_EXPECT_FORTIFY:-1} == 1 ]]; then
    grep -Eq '__[a-z0-9_]+_chk(@|[[:space:]]|$)' <<<"$(grep -v __stack_chk_fail <<<"$symbols")" ||
      fail "$program" "no fortified calls (__*_chk) from _FORTIFY_SOURCE"
  fi
done
exit $((failures > 0))
