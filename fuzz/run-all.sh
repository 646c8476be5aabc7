#!/usr/bin/env bash
# Runs libFuzzer binaries of a fuzz build for a while each, starting from the committed seeds
# and the corpus grown by earlier runs (kept in FUZZ_WORK, default out/fuzz-corpus/<name>).
# New crash reproducers land in fuzz/crashes/<name>/ so that the replay tests pick them up.
# Prints one summary line per target: seconds, executions, corpus size, result; the same
# lines are added to FUZZ_WORK/progress.tsv with the date, so long campaigns can be tallied.
#
#   run-all.sh BIN_DIR [SECONDS] [TARGET...]
set -euo pipefail
bin_dir=$1
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
work_root=${FUZZ_WORK:-$here/../out/fuzz-corpus}
mkdir -p "$work_root"
progress=$work_root/progress.tsv

targets=()
if (( $# > 0 )); then
  for name in "$@"; do targets+=("$bin_dir/${name}_fuzzer"); done
else
  for fuzzer in "$bin_dir"/*_fuzzer; do targets+=("$fuzzer"); done
fi

status=0
printf '%-14s %8s %12s %8s  %s\n' target seconds executions corpus result
for fuzzer in "${targets[@]}"; do
  [[ -x "$fuzzer" ]] || { echo "missing fuzzer: $fuzzer" >&2; status=1; continue; }
  name=$(basename "$fuzzer" _fuzzer)
  work=$work_root/$name
  log=$work_root/$name.log
  mkdir -p "$work" "$here/crashes/$name"
  dict=()
  [[ -f "$here/$name.dict" ]] && dict=(-dict="$here/$name.dict")
  result=ok
  started=$(date +%s)
  if ! "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
       -artifact_prefix="$here/crashes/$name/" -print_final_stats=1 \
       "$work" "$here/corpus/$name" >"$log" 2>&1; then
    result=FINDING
    status=1
  fi
  elapsed=$(( $(date +%s) - started ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  corpus=$(find "$work" -type f | wc -l)
  printf '%-14s %8s %12s %8s  %s\n' "$name" "$elapsed" "${execs:-?}" "$corpus" "$result"
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$name" "$elapsed" "${execs:-?}" "$corpus" "$result" >>"$progress"
  [[ $result == ok ]] || tail -n 40 "$log"
done
exit $status
