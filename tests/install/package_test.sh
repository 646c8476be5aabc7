#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a scratch root with dpkg -x and
# runs the command line installed there:
#   package_test.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR
# Exit status 77 (skipped) when cpack or dpkg-deb is missing.
set -euo pipefail

build=$1 source=$2 scratch=$3

fail() {
  echo "package test: $*" >&2
  exit 1
}

command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || exit 77

rm -rf "$scratch"
mkdir -p "$scratch/root" "$scratch/home"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
}
debs=("$scratch"/package/*.deb)
((${#debs[@]} == 1)) && [[ -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

# The dependencies come from the libraries the programs and their modules link, and name libcurl,
# which is opened at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libc6 libtiff6 libtesseract5 libopenjp2-7 libcurl4; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg -x "$deb" "$scratch/root"
usr=$scratch/root/usr
for file in bin/folvane bin/folvane-cli share/applications/folvane.desktop share/man/man1/folvane.1.gz \
  share/man/man1/folvane-cli.1.gz share/icons/hicolor/48x48/apps/folvane.png share/doc/folvane/copyright \
  share/bash-completion/completions/folvane-cli share/folvane/help.html; do
  [[ -f $usr/$file ]] || fail "the package lacks /usr/$file"
done
metainfo=$(find "$usr/share/metainfo" -name '*.metainfo.xml')
[[ -n $metainfo ]] || fail "the package has no AppStream metadata"
[[ ! -e $usr/include ]] || fail "the package holds the development header"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 || {
    cat "$scratch/appstream.log" >&2
    fail "appstreamcli rejects $metainfo"
  }
fi

# The unpacked command line converts a sample with a settings file of its own.
pdf=$scratch/out.pdf
env -u FOLVANE_SETTINGS HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config" \
  XDG_DATA_HOME="$scratch/home/data" "$usr/bin/folvane-cli" convert --settings "$scratch/Settings.ini" -q \
  -o "$pdf" "$source/samples/colour.jpg" >"$scratch/cli.log" 2>&1 || {
  cat "$scratch/cli.log" >&2
  fail "the unpacked folvane-cli failed to convert a sample"
}
qpdf --check "$pdf" >/dev/null || fail "qpdf rejects $pdf"
pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
[[ $pages == 1 ]] || fail "$pdf has $pages pages, expected 1"
# Text recognition loads the module the package brings.
env -u FOLVANE_SETTINGS HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config" \
  XDG_DATA_HOME="$scratch/home/data" LD_DEBUG=files LD_DEBUG_OUTPUT="$scratch/ld" "$usr/bin/folvane-cli" convert \
  --settings "$scratch/Settings.ini" -q --ocr -e overwrite -o "$pdf" "$source/samples/scan-g4.tif" >"$scratch/ocr.log" 2>&1 || {
  cat "$scratch/ocr.log" >&2
  fail "the unpacked folvane-cli failed to convert a sample with --ocr"
}
module=$(sed -n 's/.*file=\(.*libfolvane-ocr\.so\) .*generating link map.*/\1/p' "$scratch"/ld.* | head -n 1)
[[ -n $module && $(realpath "$module") == "$(realpath "$scratch/root")"/* ]] ||
  fail "the unpacked folvane-cli did not load its own text recognition module (loaded: ${module:-none})"
version=$("$usr/bin/folvane-cli" --version)
[[ $version == "folvane-cli $(dpkg-deb -f "$deb" Version)" ]] || fail "version '$version' differs from the package's"
for page in folvane folvane-cli; do
  zcat "$usr/share/man/man1/$page.1.gz" | head -n 1 | grep -qF "\"Folvane $(dpkg-deb -f "$deb" Version)\"" ||
    fail "the manual page $page.1 names another version"
done
echo "package test: $(basename "$deb") unpacks and its folvane-cli converts"
