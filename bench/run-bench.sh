#!/usr/bin/env bash
# Times folvane-cli against peer tools on a generated corpus and checks the outputs in the same run.
#
#   bench/run-bench.sh [BUILD_DIR]      (make bench builds BUILD_DIR first; default build-bench)
#
# BENCH_OCR=0 leaves out the text recognition scenario, which takes minutes.
# Each scenario runs every tool once to warm up and then BENCH_RUNS times (BENCH_SLOW_RUNS for the
# slow ImageMagick scenarios), and the table shows the medians and the ratio folvane/peer with
# PASS or MISS against the targets. Peers come from Debian packages installed here when missing.
# Folvane runs with a scratch settings file, so the user's settings are neither read nor changed.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
CLI=$BUILD/bin/folvane-cli
GENERATOR=$BUILD/bin/folvane_bench_corpus
CORPUS=${BENCH_CORPUS:-$ROOT/out/bench-corpus}
RESULTS=${BENCH_RESULTS:-$ROOT/out/bench-results.txt}
RUNS=${BENCH_RUNS:-5}
SLOW_RUNS=${BENCH_SLOW_RUNS:-3}

say() { printf '%s\n' "$*" >&2; }

# --- peers -----------------------------------------------------------------------------------

install_peers() {
  local packages=(img2pdf libtiff-tools imagemagick time python3) missing=() p status
  for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  say "bench: installing ${missing[*]}"
  local sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ImageMagick refuses to write PDF under Debian's policy. The benchmark gets a private copy with
# PDF allowed and room for its pixel cache; the system file is never edited. ImageMagick reads
# MAGICK_CONFIGURE_PATH before the system folder and lets the last matching rule win, so where the
# system rule still wins, the copy is bind-mounted over the system file inside a private mount
# namespace that only the ImageMagick process sees.
MAGICK=(convert-im6.q16)
setup_imagemagick() {
  local policy=/etc/ImageMagick-6/policy.xml
  command -v convert-im6.q16 >/dev/null || { MAGICK=(); return; }
  mkdir -p "$WORK/magick"
  if [[ -f $policy ]]; then
    sed -e 's/rights="none" pattern="PDF"/rights="read|write" pattern="PDF"/' \
        -e 's/name="memory" value="[^"]*"/name="memory" value="8GiB"/' \
        -e 's/name="map" value="[^"]*"/name="map" value="8GiB"/' \
        -e 's/name="disk" value="[^"]*"/name="disk" value="16GiB"/' "$policy" >"$WORK/magick/policy.xml"
  fi
  export MAGICK_CONFIGURE_PATH=$WORK/magick
  local probe=$WORK/magick/probe
  convert-im6.q16 -size 1x1 xc:white "$probe.png" 2>/dev/null || true
  convert-im6.q16 "$probe.png" "$probe.pdf" 2>/dev/null && return
  cat >"$WORK/magick/run" <<EOF
#!/bin/sh
mount --bind "$WORK/magick/policy.xml" "$policy" && exec "\$@"
EOF
  chmod +x "$WORK/magick/run"
  local unshare=(unshare -m)
  [[ $(id -u) -eq 0 ]] || unshare=(unshare -r -m)
  if "${unshare[@]}" "$WORK/magick/run" convert-im6.q16 "$probe.png" "$probe.pdf" 2>/dev/null; then
    MAGICK=("${unshare[@]}" "$WORK/magick/run" convert-im6.q16)
  else
    MAGICK=()
  fi
}

# --- corpus ----------------------------------------------------------------------------------

ensure_corpus() {
  local stamp
  stamp=$(sha256sum "$ROOT/bench/corpus_generator.cpp" | cut -d' ' -f1)
  if [[ -f $CORPUS/.generator && $(cat "$CORPUS/.generator") == "$stamp" ]]; then
    return
  fi
  say "bench: writing the corpus to $CORPUS"
  rm -rf "$CORPUS"
  "$GENERATOR" "$CORPUS"
  echo "$stamp" >"$CORPUS/.generator"
}

# --- timing ----------------------------------------------------------------------------------

now() { local t=${EPOCHREALTIME/[.,]/}; echo "$t"; } # microseconds

# median_time RUNS COMMAND...: runs once to warm up, then RUNS times; prints the median wall time
# in seconds. Fails when any run fails.
median_time() {
  local runs=$1 i start end times=()
  shift
  "$@" >/dev/null 2>"$WORK/last.err" || return 1
  for ((i = 0; i < runs; i++)); do
    start=$(now)
    "$@" >/dev/null 2>"$WORK/last.err" || return 1
    end=$(now)
    times+=($((end - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f\n", m / 1e6 }'
}

# Peak resident set in KiB of one run.
peak_rss() {
  /usr/bin/time -f '%M' -o "$WORK/rss" "$@" >/dev/null 2>"$WORK/last.err" || return 1
  tail -n 1 "$WORK/rss"
}

# --- folvane ---------------------------------------------------------------------------------

FOLVANE=()
folvane() { "${FOLVANE[@]}" "$@"; }
cat_to() { local out=$1; shift; cat "$@" >"$out"; }

# --- output checks ---------------------------------------------------------------------------

CHECK_FAILURES=()
check_note() { CHECK_FAILURES+=("$*"); say "bench: CHECK FAILED: $*"; }

check_pdf() { # PDF PAGES
  if ! qpdf --check "$1" >/dev/null 2>&1; then
    check_note "qpdf --check $1"
    return
  fi
  local pages
  pages=$(qpdf --show-npages "$1" 2>/dev/null || echo 0)
  [[ $pages == "$2" ]] || check_note "$1 has $pages pages, expected $2"
}

check_passthrough() { # PDF SOURCES...
  local pdf=$1
  shift
  rm -rf "$WORK/streams"
  python3 "$ROOT/bench/check_passthrough.py" "$pdf" "$WORK/streams" "$@" >"$WORK/passthrough.txt" ||
    check_note "JPEG passthrough in $pdf: $(head -n 3 "$WORK/passthrough.txt" | tr '\n' ' ')"
  rm -rf "$WORK/streams"
}

# Renders every page of the PDF (whose pages are as large in points as the scans in pixels) and
# every source page at its own resolution, and compares the pixels.
check_renders() { # PDF TIFF...
  local pdf=$1 page=1 source frame frames a b
  shift
  mkdir -p "$WORK/render"
  for source in "$@"; do
    frames=$(tiffinfo "$source" 2>/dev/null | grep -c '^TIFF Directory' || true)
    for ((frame = 1; frame <= frames; frame++)); do
      mutool draw -q -r 72 -c gray -o "$WORK/render/pdf.pgm" "$pdf" "$page" 2>/dev/null || true
      mutool draw -q -r 300 -c gray -o "$WORK/render/src.pgm" "$source" "$frame" 2>/dev/null || true
      a=$(sha256sum <"$WORK/render/pdf.pgm" 2>/dev/null | cut -c1-64)
      b=$(sha256sum <"$WORK/render/src.pgm" 2>/dev/null | cut -c1-64)
      if [[ -z $a || $a != "$b" ]]; then
        check_note "page $page of $pdf does not render like $source page $frame"
        return
      fi
      rm -f "$WORK/render/"*.pgm
      page=$((page + 1))
    done
  done
}

# --- table -----------------------------------------------------------------------------------

ROWS=()
MISSES=0
row() { # SCENARIO FOLVANE PEER PEER_VALUE RATIO TARGET
  local result=info
  if [[ $6 != - && $5 != - ]]; then
    if awk -v r="$5" -v t="$6" 'BEGIN { exit !(r <= t) }'; then result=PASS; else result=MISS; MISSES=$((MISSES + 1)); fi
  fi
  [[ $5 == - && $6 != - ]] && result=error
  local target=-
  [[ $6 == - ]] || target="<= $6"
  ROWS+=("$(printf '%-40s %10s  %-26s %10s  %6s  %7s  %s' "$1" "$2" "$3" "$4" "$5" "$target" "$result")")
}
ratio() {
  [[ $1 == - || $2 == - ]] && { echo -; return; }
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'
}
skip() { ROWS+=("$(printf '%-40s %s' "$1" "skipped: $2")"); }

# Skew estimates on A4 text pages at 300 dpi tilted by 1 to 5 degrees (folvane_deskew_bench):
# the worst tilt the refined estimate leaves, and its CPU time per page against the basic one's.
skew_scenario() {
  local bench=$BUILD/bin/folvane_deskew_bench csv
  [[ -x $bench ]] || { skip "Skew estimate, A4 pages tilted 1-5 deg" "folvane_deskew_bench not built"; return; }
  say "bench: skew estimates, basic and refined"
  csv=$("$bench" --benchmark_filter='estimateTiltedA4' --benchmark_format=csv 2>/dev/null) || {
    skip "Skew estimate, A4 pages tilted 1-5 deg" "folvane_deskew_bench failed"; return; }
  local summary
  summary=$(awk -F, '/^"estimateTiltedA4/ {
      refined = ($1 ~ /refined:1/); cpu[refined] += $4; n[refined]++
      if ($11 > worst[refined]) worst[refined] = $11 }
    END { printf "%.3f %.3f %.3f %.3f", worst[1], worst[0], cpu[1] / n[1], cpu[0] / n[0] }' <<<"$csv")
  local worst_refined worst_basic cpu_refined cpu_basic
  read -r worst_refined worst_basic cpu_refined cpu_basic <<<"$summary"
  row "Skew left, refined, A4 tilted 1-5 deg" "${worst_refined}deg" "target 0.1 deg" "0.100deg" \
    "$(ratio "$worst_refined" 0.1)" 1
  row "Skew left, basic, A4 tilted 1-5 deg" "${worst_basic}deg" "target 0.1 deg" "0.100deg" \
    "$(ratio "$worst_basic" 0.1)" -
  row "Skew estimate CPU per page, refined" "${cpu_refined}ms" "basic estimate" "${cpu_basic}ms" \
    "$(ratio "$cpu_refined" "$cpu_basic")" 2
}

# --- scenarios -------------------------------------------------------------------------------

run_scenarios() {
  local photos=("$CORPUS"/photo/*.jpg) pages=("$CORPUS"/g4/*.tif) screens=("$CORPUS"/png/*.png)
  local small=("$CORPUS"/small/*.jpg) book=$CORPUS/g4-book.tif
  local f p c o=$WORK/out

  say "bench: JPEG merge, quality 0 (passthrough)"
  f=$(median_time "$RUNS" folvane --set quality=0 -o "$o-jpeg0.pdf" "${photos[@]}") || f=-
  p=$(median_time "$RUNS" img2pdf -o "$o-jpeg0-img2pdf.pdf" "${photos[@]}") || p=-
  c=$(median_time "$RUNS" cat_to "$o-jpeg0.cat" "${photos[@]}") || c=-
  rm -f "$o-jpeg0.cat"
  row "JPEG merge q0, 40 x 6 MP" "${f}s" "img2pdf" "${p}s" "$(ratio "$f" "$p")" 0.3
  row "JPEG merge q0, 40 x 6 MP" "${f}s" "cat (plain copy)" "${c}s" "$(ratio "$f" "$c")" 1.5
  check_pdf "$o-jpeg0.pdf" 40
  check_passthrough "$o-jpeg0.pdf" "${photos[@]}"

  say "bench: JPEG merge, quality 75 (re-encoded)"
  f=$(median_time "$SLOW_RUNS" folvane -o "$o-jpeg75.pdf" "${photos[@]}") || f=-
  if ((${#MAGICK[@]})); then
    p=$(median_time "$SLOW_RUNS" "${MAGICK[@]}" "${photos[@]}" -quality 75 "$o-jpeg75-magick.pdf") || p=-
    row "JPEG merge q75, 40 x 6 MP" "${f}s" "ImageMagick -quality 75" "${p}s" "$(ratio "$f" "$p")" 0.35
  else
    skip "JPEG merge q75 vs ImageMagick" "ImageMagick cannot write PDF here"
  fi
  check_pdf "$o-jpeg75.pdf" 40

  say "bench: 60 Group 4 pages"
  f=$(median_time "$RUNS" folvane -o "$o-g4.pdf" "${pages[@]}") || f=-
  p=$(median_time "$RUNS" img2pdf -o "$o-g4-img2pdf.pdf" "${pages[@]}") || p=-
  row "Group 4, 60 A4 pages" "${f}s" "img2pdf" "${p}s" "$(ratio "$f" "$p")" 0.5
  check_pdf "$o-g4.pdf" 60
  check_renders "$o-g4.pdf" "${pages[@]}"

  say "bench: 30-page Group 4 TIFF"
  f=$(median_time "$RUNS" folvane -o "$o-book.pdf" "$book") || f=-
  p=$(median_time "$RUNS" tiff2pdf -o "$o-book-tiff2pdf.pdf" "$book") || p=-
  row "Group 4, one 30-page TIFF" "${f}s" "tiff2pdf" "${p}s" "$(ratio "$f" "$p")" 1.2
  check_pdf "$o-book.pdf" 30
  check_renders "$o-book.pdf" "$book"

  say "bench: 30 PNG screenshots"
  f=$(median_time "$SLOW_RUNS" folvane -o "$o-png.pdf" "${screens[@]}") || f=-
  if ((${#MAGICK[@]})); then
    p=$(median_time "$SLOW_RUNS" "${MAGICK[@]}" "${screens[@]}" "$o-png-magick.pdf") || p=-
    row "PNG, 30 screenshots 1920x1080" "${f}s" "ImageMagick" "${p}s" "$(ratio "$f" "$p")" 0.5
  else
    skip "PNG vs ImageMagick" "ImageMagick cannot write PDF here"
  fi
  p=$(median_time "$SLOW_RUNS" img2pdf -o "$o-png-img2pdf.pdf" "${screens[@]}") || p=-
  row "PNG, 30 screenshots 1920x1080" "${f}s" "img2pdf" "${p}s" "$(ratio "$f" "$p")" -
  check_pdf "$o-png.pdf" 30

  skew_scenario

  say "bench: peak memory, 40 and 400 JPEGs"
  local forty=("${small[@]:0:40}") four=("${small[@]}" "${small[@]}")
  local m40 m400
  m40=$(peak_rss "${FOLVANE[@]}" -o "$o-mem40.pdf" "${forty[@]}") || m40=-
  m400=$(peak_rss "${FOLVANE[@]}" -o "$o-mem400.pdf" "${four[@]}") || m400=-
  row "Peak RSS, 400 vs 40 small JPEGs (q75)" "${m400}KiB" "folvane, 40 JPEGs" "${m40}KiB" "$(ratio "$m400" "$m40")" 1.2
  check_pdf "$o-mem400.pdf" 400

  if "$CLI" convert --help 2>/dev/null | grep -qE '(^|[[:space:],])-j([[:space:],]|$)'; then
    say "bench: per-image mode, -j 2 against -j 1"
    local j1 j2
    j1=$(median_time "$SLOW_RUNS" folvane -m image -j 1 -o "$WORK/per-image-1/" "${screens[@]}") || j1=-
    j2=$(median_time "$SLOW_RUNS" folvane -m image -j 2 -o "$WORK/per-image-2/" "${screens[@]}") || j2=-
    # The target is a speed-up of at least 1.6, that is -j 2 taking at most 1/1.6 of -j 1.
    row "Per-image, 30 PNGs, -j 2 vs -j 1" "${j2}s" "folvane -j 1" "${j1}s" "$(ratio "$j2" "$j1")" 0.625
    local out
    for out in "$WORK"/per-image-2/*.pdf; do check_pdf "$out" 1; done
  else
    skip "Per-image, 30 PNGs, -j 2 vs -j 1" "-j not available"
  fi

  run_ocr_scenario "${pages[@]}"
}

# Text recognition (--ocr) on the 60 Group 4 pages, one PDF per page so that -j 2 reads two pages
# at once; one timed run each (a run takes minutes), after a one-page warm-up that loads the
# language data into the page cache. The rows give pages per second; the ratio is the time of
# -j 2 over -j 1.
run_ocr_scenario() { # PAGES...
  if [[ ${BENCH_OCR:-1} == 0 ]]; then
    skip "Text recognition, 60 Group 4 pages" "BENCH_OCR=0"
    return
  fi
  if ! "$CLI" info --ocr-languages 2>/dev/null | grep -qx eng; then
    skip "Text recognition, 60 Group 4 pages" "no English language data (tesseract-ocr-eng)"
    return
  fi
  say "bench: text recognition, 60 Group 4 pages, -j 1 and -j 2"
  folvane --ocr -o "$WORK/ocr-warm.pdf" "$1" >/dev/null 2>&1 || true
  local jobs start end seconds=() rates=() out
  for jobs in 1 2; do
    rm -rf "$WORK/ocr-$jobs" && mkdir -p "$WORK/ocr-$jobs"
    start=$(now)
    if folvane --ocr -m image -j "$jobs" -o "$WORK/ocr-$jobs/" "$@" >/dev/null 2>"$WORK/last.err"; then
      end=$(now)
      seconds+=("$(awk -v t=$((end - start)) 'BEGIN { printf "%.1f", t / 1e6 }')")
      rates+=("$(awk -v t=$((end - start)) -v n=$# 'BEGIN { printf "%.2f", n / (t / 1e6) }')")
    else
      seconds+=(-)
      rates+=(-)
    fi
  done
  row "OCR -j 1: ${rates[0]} pages/s" "${seconds[0]}s" "-" "-" "-" -
  row "OCR -j 2: ${rates[1]} pages/s" "${seconds[1]}s" "folvane --ocr -j 1" "${seconds[0]}s" \
      "$(ratio "${seconds[1]}" "${seconds[0]}")" -
  for out in "$WORK"/ocr-2/*.pdf; do check_pdf "$out" 1; done
}

machine() {
  local cpu cores load
  cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
  cores=$(nproc)
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), ${cpu:-unknown CPU}, $cores cores," \
       "$(awk '/^MemTotal:/ { printf "%.0f", $2 / 1048576 }' /proc/meminfo) GiB," \
       "load average before the run $load"
}

main() {
  [[ -x $CLI && -x $GENERATOR ]] || { say "bench: build $CLI and $GENERATOR first (make bench)"; exit 2; }
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/folvane-bench.XXXXXX")
  trap 'rm -rf "$WORK"' EXIT
  FOLVANE=("$CLI" convert --settings "$WORK/settings.ini" -q -e overwrite)
  install_peers
  setup_imagemagick
  ensure_corpus
  local started header
  started=$(machine)
  run_scenarios
  header=$(printf '%-40s %10s  %-26s %10s  %6s  %7s  %s' scenario folvane peer peer ratio target result)
  mkdir -p "$(dirname "$RESULTS")"
  {
    echo "Machine: $started"
    echo "Medians of $RUNS runs ($SLOW_RUNS for the re-encoding scenarios) after one warm-up; ratio = folvane / peer."
    echo
    echo "$header"
    printf '%s\n' "${ROWS[@]}"
    echo
    if ((${#CHECK_FAILURES[@]})); then
      echo "Output checks FAILED:"
      printf '  %s\n' "${CHECK_FAILURES[@]}"
    else
      echo "Output checks passed: qpdf --check and page counts of every folvane output, byte-identical JPEG"
      echo "passthrough at quality 0, Group 4 pages rendering like their sources (mutool draw)."
    fi
    echo "Targets missed: $MISSES"
  } | tee "$RESULTS"
  ((${#CHECK_FAILURES[@]} == 0))
}

main "$@"
