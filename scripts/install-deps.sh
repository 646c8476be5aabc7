#!/usr/bin/env bash
# Installs the Debian packages that Folvane needs to build, test, fuzz and run its demo.
# Only missing packages are installed; running it again changes nothing.
set -euo pipefail

packages=(
  # toolchain and build
  build-essential cmake pkg-config clang-14 libclang-rt-14-dev
  # test framework and PDF checkers used by the tests
  libgtest-dev googletest qpdf poppler-utils mupdf-tools locales
  # JSON parser for the tests of the command line's --json records
  nlohmann-json3-dev
  # benchmarks under bench/
  libbenchmark-dev
  # other producers' PDF files for the reader's tests
  ghostscript
  # libraries of the core
  zlib1g-dev nettle-dev libidn-dev libtiff-dev libjpeg62-turbo-dev libpng-dev
  # image codec libraries
  libopenjp2-7-dev libmng-dev libraw-dev libwmf-dev
  # installed-font lookup; the fonts the font tests and the width generator read
  libfontconfig-dev fonts-dejavu-core fonts-urw-base35
  # the external converter plugin, and the gm tool that makes its test images
  libgraphicsmagick1-dev graphicsmagick
  # the command line's option parser
  libcli11-dev
  # the desktop application and its update check
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev libcurl4-openssl-dev fonts-liberation
  # the installation test: a headless X server for the installed program, the desktop file checker;
  # strace shows the order of syncs and deletes in the watch tests
  xvfb xauth desktop-file-utils strace
  # the check of the scale-out recipes parses the Kubernetes manifest
  python3-yaml
  # make package: CPack's dependency lookup (dpkg-shlibdeps, file), the Debian package checker
  # and the AppStream metadata validator
  dpkg-dev file lintian appstream
  # text recognition for searchable scans (Leptonica comes with it), its English data, and the
  # tesseract tool whose language list the tests compare with
  libtesseract-dev tesseract-ocr-eng tesseract-ocr
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A German locale lets the tests prove that number output does not follow the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [[ -f /etc/locale.gen ]] && { [[ $(id -u) -eq 0 ]] || command -v sudo >/dev/null; }; then
    as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    as_root locale-gen >/dev/null 2>&1 || true
  fi
fi
exit 0
