#!/usr/bin/env bash
# Makes the small sample images that `make demo` converts. The results are committed; run this
# again only to change them. Needs GraphicsMagick (gm), which scripts/install-deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")"

# A colour photograph stand-in: a gradient with a disc, as a baseline JPEG.
gm convert -size 320x240 gradient:'#1d4e89-#f7b32b' \
  -fill '#d1495b' -draw 'circle 160,120 160,60' -quality 85 colour.jpg

# A scanned text page: black/white, CCITT Group 4, 200 dpi.
gm convert -size 400x300 xc:white -fill black \
  -draw 'rectangle 30,30 370,50' -draw 'rectangle 30,80 300,92' -draw 'rectangle 30,110 340,122' \
  -draw 'rectangle 30,140 260,152' -draw 'rectangle 30,170 330,182' -draw 'rectangle 30,230 200,260' \
  -monochrome -density 200x200 -units PixelsPerInch -compress Group4 scan-g4.tif

# A three-page TIFF: gray, colour and black/white pages of different sizes (LZW).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gm convert -size 200x150 gradient:black-white -colorspace Gray "$work/1.miff"
gm convert -size 150x200 xc:'#2e86ab' -fill '#f18f01' -draw 'rectangle 20,20 130,180' "$work/2.miff"
gm convert -size 180x180 xc:white -fill black -draw 'circle 90,90 90,20' -monochrome "$work/3.miff"
gm convert "$work/1.miff" "$work/2.miff" "$work/3.miff" -depth 8 -compress LZW pages.tif

# A PNG with an alpha channel: a half-transparent square over a transparent background.
gm convert -size 160x160 xc:none -fill '#3a86ff80' -draw 'rectangle 20,20 140,140' \
  -fill '#ff006e' -draw 'circle 80,80 80,50' -depth 8 transparent.png

# A 24-bit BMP.
gm convert -size 120x90 gradient:'#06d6a0-#118ab2' -type TrueColor bitmap.bmp

# A GIF, which only the external converter reads.
gm convert -size 100x100 xc:'#ffd166' -fill '#073b4c' -draw 'rectangle 25,25 75,75' -colors 8 drawing.gif
