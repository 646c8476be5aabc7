#!/usr/bin/env bash
# Installs a build into a scratch prefix (not the one it was configured for, so nothing may depend
# on configured absolute paths) and checks the installed layout and programs:
#   install_test.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR BINDIR LIBDIR DATADIR INCLUDEDIR MANDIR
# The folders after SCRATCH_DIR are the GNUInstallDirs folders of the build, relative to the prefix.
# Exit status 77 (skipped) when no headless X server is available for the desktop program.
set -euo pipefail

build=$1 source=$2 scratch=$3
bindir=$4 libdir=$5 datadir=$6 includedir=$7 mandir=$8

fail() {
  echo "install test: $*" >&2
  exit 1
}

under() { # a GNUInstallDirs folder below the prefix, unless it is absolute already
  if [[ $1 == /* ]]; then echo "$1"; else echo "$prefix/$1"; fi
}

rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || {
  cat "$scratch/install.log" >&2
  fail "cmake --install failed"
}

bin=$(under "$bindir")
lib=$(under "$libdir")
data=$(under "$datadir")
include=$(under "$includedir")
man=$(under "$mandir")

plugin_built=0
[[ -e $build/bin/libquillmar5.so ]] && plugin_built=1

expected=(
  "$bin/folvane" "$bin/folvane-cli" "$lib/libfolvane-engine.so" "$include/folvane/engine.h"
  "$data/folvane/help.html" "$data/applications/folvane.desktop" "$man/man1/folvane-cli.1"
  "$data/icons/hicolor/scalable/apps/folvane.svg"
  "$data/bash-completion/completions/folvane-cli" "$data/zsh/vendor-completions/_folvane-cli"
  "$data/fish/vendor_completions.d/folvane-cli.fish"
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("$data/icons/hicolor/${size}x${size}/apps/folvane.png")
done
((plugin_built)) && expected+=("$lib/folvane/libquillmar5.so")
expected+=("$lib/folvane/libfolvane-ocr.so" "$lib/folvane/libfolvane-codecs.so")
for file in "${expected[@]}"; do
  [[ -f $file ]] || fail "not installed: $file"
done
[[ -x $bin/folvane && -x $bin/folvane-cli ]] || fail "the programs are not executable"
bash -c "source '$data/bash-completion/completions/folvane-cli' && complete -p folvane-cli" >/dev/null ||
  fail "the installed bash completion does not load"

grep -qx 'Icon=folvane' "$data/applications/folvane.desktop" || fail "the desktop file names no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$data/applications/folvane.desktop" || fail "invalid desktop file"
fi
if command -v gm >/dev/null; then
  for size in 16 48 256; do
    got=$(gm identify -format '%wx%h' "$data/icons/hicolor/${size}x${size}/apps/folvane.png")
    [[ $got == "${size}x${size}" ]] || fail "the ${size}x${size} icon is $got"
  done
fi

# A private home for the programs: nothing of the user's is read or written.
home=$scratch/home
mkdir -p "$home" "$scratch/config" "$scratch/data" "$scratch/run"
chmod 700 "$scratch/run"
run_isolated() {
  env -u FOLVANE_SETTINGS HOME="$home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_RUNTIME_DIR="$scratch/run" "$@"
}

# The installed command line converts a JPEG, and a GIF through the installed converter.
inputs=("$source/samples/colour.jpg")
((plugin_built)) && inputs+=("$source/samples/drawing.gif")
pdf=$scratch/out.pdf
run_isolated "$bin/folvane-cli" convert --settings "$scratch/Settings.ini" -q -o "$pdf" "${inputs[@]}" \
  >"$scratch/cli.log" 2>&1 || {
  cat "$scratch/cli.log" >&2
  fail "the installed folvane-cli failed to convert the samples"
}
qpdf --check "$pdf" >/dev/null || fail "qpdf rejects $pdf"
pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
[[ $pages == "${#inputs[@]}" ]] || fail "$pdf has $pages pages, expected ${#inputs[@]}"

# Text recognition loads the installed module, and a plain conversion does not.
for ocr in --ocr ""; do
  rm -f "$scratch"/ld.*
  run_isolated env LD_DEBUG=files LD_DEBUG_OUTPUT="$scratch/ld" "$bin/folvane-cli" convert \
    --settings "$scratch/Settings.ini" -q $ocr -e overwrite -o "$pdf" "$source/samples/scan-g4.tif" \
    >"$scratch/ocr.log" 2>&1 || {
    cat "$scratch/ocr.log" >&2
    fail "the installed folvane-cli failed to convert a sample${ocr:+ with $ocr}"
  }
  module=$(sed -n 's/.*file=\(.*libfolvane-ocr\.so\) .*generating link map.*/\1/p' "$scratch"/ld.* | head -n 1)
  if [[ -n $ocr ]]; then
    [[ -n $module && $(realpath "$module") == $(realpath "$lib/folvane/libfolvane-ocr.so") ]] ||
      fail "--ocr did not load $lib/folvane/libfolvane-ocr.so (loaded: ${module:-none})"
  else
    [[ -z $module ]] || fail "a conversion without --ocr loaded $module"
  fi
done

# The installed desktop program finds its own help page and converter.
version=$(run_isolated "$bin/folvane" --version)
grep -qxF "Help: $data/folvane/help.html" <<<"$version" || fail "help page not found: $version"
if ((plugin_built)); then
  grep -qx 'External converter: loaded' <<<"$version" || fail "converter not found: $version"
fi

# And it starts and keeps running under a headless X server until it is told to end.
if ! command -v xvfb-run >/dev/null; then
  echo "install test: xvfb-run is missing; the start of the desktop program was not tried"
  exit 77
fi
status=0
# The authority file lives in the scratch folder: xvfb-run's own temporary folder for it sometimes
# cannot be removed at its exit on a busy machine, which turns a good run into a failure.
touch "$scratch/Xauthority"
run_isolated xvfb-run -a -f "$scratch/Xauthority" -s "-screen 0 1280x800x24" timeout -s TERM 5 \
  env LD_DEBUG=files LD_DEBUG_OUTPUT="$scratch/ld" QT_QPA_PLATFORM=xcb "$bin/folvane" --settings "$scratch/Settings.ini" \
  >"$scratch/gui.log" 2>&1 || status=$?
if ((status != 124)); then
  cat "$scratch/gui.log" >&2
  fail "the installed folvane did not keep running under xvfb (status $status)"
fi
if ((plugin_built)); then
  loaded=$(sed -n 's/.*file=\(.*libquillmar5\.so\) .*generating link map.*/\1/p' "$scratch"/ld.* | head -n 1)
  [[ -n $loaded && $(realpath "$loaded") == $(realpath "$lib/folvane/libquillmar5.so") ]] ||
    fail "the desktop program did not load $lib/folvane/libquillmar5.so (loaded: ${loaded:-none})"
fi
echo "install test: installed into $prefix, both programs work"
