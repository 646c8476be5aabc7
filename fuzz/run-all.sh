#!/usr/bin/env bash
# Runs every libFuzzer binary of a fuzz build for a while, starting from the committed seeds.
# New crash reproducers land in fuzz/crashes/<name>/ so that the replay tests pick them up.
set -euo pipefail
bin_dir=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for fuzzer in "$bin_dir"/*_fuzzer; do
  [[ -x "$fuzzer" ]] || continue
  name=$(basename "$fuzzer" _fuzzer)
  work=$(mktemp -d)
  mkdir -p "$here/crashes/$name"
  dict=()
  [[ -f "$here/$name.dict" ]] && dict=(-dict="$here/$name.dict")
  echo "== $name ($seconds s)"
  if ! "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -artifact_prefix="$here/crashes/$name/" \
       "$work" "$here/corpus/$name" >"$work.log" 2>&1; then
    tail -n 40 "$work.log"
    status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
