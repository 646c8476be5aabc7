#!/usr/bin/env bash
# Throughput of several local processes on one batch: N shards of `convert --shard K/N` started
# together, and N `watch --shared` runners on one folder, for N = 1, 2 and 4.
#
#   bench/scale-out.sh [BUILD_DIR] [CORPUS_FOLDER...]
#
# Defaults: build-bench and the benchmark corpus's photo/ and g4/ folders (make bench writes the
# corpus). Prints files per second for each N (the median of BENCH_RUNS runs, default 3); the PDFs
# of every run are checked with qpdf.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
shift || true
CLI=$BUILD/bin/folvane-cli
CORPUS=${BENCH_CORPUS:-$ROOT/out/bench-corpus}
FOLDERS=("$@")
((${#FOLDERS[@]})) || FOLDERS=("$CORPUS/photo" "$CORPUS/g4")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SETTINGS=$WORK/Settings.ini

now() { local t=${EPOCHREALTIME/[.,]/}; echo "$t"; } # microseconds

check_outputs() { # FOLDER COUNT
  local count=0 pdf
  for pdf in "$1"/*.pdf; do
    qpdf --check "$pdf" >/dev/null 2>&1 || { echo "scale-out: qpdf --check failed on $pdf" >&2; exit 1; }
    count=$((count + 1))
  done
  [[ $count == "$2" ]] || { echo "scale-out: $count PDFs in $1, expected $2" >&2; exit 1; }
}

shards() { # SOURCE N -> seconds
  local source=$1 n=$2 k start pids=()
  rm -rf "$WORK/out"
  start=$(now)
  for ((k = 0; k < n; k++)); do
    "$CLI" --settings "$SETTINGS" convert -q -m image -e overwrite --shard "$k/$n" -o "$WORK/out" "$source" &
    pids+=($!)
  done
  for k in "${pids[@]}"; do wait "$k"; done
  echo "$(( $(now) - start ))"
}

shared() { # SOURCE N -> seconds
  local source=$1 n=$2 k start end pids=()
  rm -rf "$WORK/in" "$WORK/out"
  mkdir -p "$WORK/in"
  cp "$source"/* "$WORK/in/"
  start=$(now)
  for ((k = 0; k < n; k++)); do
    "$CLI" --settings "$SETTINGS" watch -q --shared --settle 0 --interval 1 -m image -e overwrite \
      -o "$WORK/out" "$WORK/in" >/dev/null &
    pids+=($!)
  done
  while find "$WORK/in" -maxdepth 1 -type f | grep -q . || find "$WORK/in/_processing" -type f 2>/dev/null | grep -q .; do
    sleep 0.02
  done
  end=$(now)
  kill -TERM "${pids[@]}"
  for k in "${pids[@]}"; do wait "$k" || true; done
  echo "$((end - start))"
}

RUNS=${BENCH_RUNS:-3}

# The median of RUNS runs of WAY on SOURCE with N processes, in microseconds.
median_run() { # WAY SOURCE N
  local i times=()
  for ((i = 0; i < RUNS; i++)); do
    times+=("$("$1" "$2" "$3")")
    check_outputs "$WORK/out" "$files"
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p"
}

printf '%-28s %-8s %8s %12s\n' "corpus" "runners" "files" "files/s"
for folder in "${FOLDERS[@]}"; do
  files=$(find "$folder" -maxdepth 1 -type f | wc -l)
  for way in shards shared; do
    for n in 1 2 4; do
      micro=$(median_run "$way" "$folder" "$n")
      printf '%-28s %-8s %8d %12.1f\n' "$(basename "$folder") ($way)" "$n" "$files" \
        "$(echo "$files / ($micro / 1000000)" | bc -l)"
    done
  done
done
