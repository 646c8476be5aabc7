#!/usr/bin/env python3
"""Generates src/core/pdf/fonts_standard.cpp: the 14 standard PDF fonts with their widths.

The widths come from the AFM files of Debian's fonts-urw-base35, whose fonts are metric
compatible with the standard fonts (same advance widths glyph for glyph). The descriptor values
(flags, bounding box, heights, stems) are those published for the standard fonts themselves and
are listed below, because the URW files describe their own outlines.

Width order: the twelve Latin fonts follow the Windows ANSI code order (encoding slot 0); Symbol
and ZapfDingbats follow their own built-in encodings (the codes in their AFM files). Codes 0..31
take the width of the space; the codes that Windows ANSI leaves unassigned take the width of the
bullet, which is what they show.

Usage: scripts/gen-standard-fonts.py [AFM folder] > src/core/pdf/fonts_standard.cpp
"""
import os
import sys

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Windows ANSI (code page 1252) glyph names for codes 32..255; None = unassigned.
WIN_ANSI = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright "
    "asterisk plus comma hyphen period slash zero one two three four five six seven eight nine "
    "colon semicolon less equal greater question at A B C D E F G H I J K L M N O P Q R S T U V W "
    "X Y Z bracketleft backslash bracketright asciicircum underscore grave a b c d e f g h i j k l "
    "m n o p q r s t u v w x y z braceleft bar braceright asciitilde - "
    "Euro - quotesinglbase florin quotedblbase ellipsis dagger daggerdbl circumflex perthousand "
    "Scaron guilsinglleft OE - Zcaron - - quoteleft quoteright quotedblleft quotedblright bullet "
    "endash emdash tilde trademark scaron guilsinglright oe - zcaron Ydieresis "
    "space exclamdown cent sterling currency yen brokenbar section dieresis copyright ordfeminine "
    "guillemotleft logicalnot hyphen registered macron degree plusminus twosuperior threesuperior "
    "acute mu paragraph periodcentered cedilla onesuperior ordmasculine guillemotright onequarter "
    "onehalf threequarters questiondown Agrave Aacute Acircumflex Atilde Adieresis Aring AE "
    "Ccedilla Egrave Eacute Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde "
    "Ograve Oacute Ocircumflex Otilde Odieresis multiply Oslash Ugrave Uacute Ucircumflex "
    "Udieresis Yacute Thorn germandbls agrave aacute acircumflex atilde adieresis aring ae "
    "ccedilla egrave eacute ecircumflex edieresis igrave iacute icircumflex idieresis eth ntilde "
    "ograve oacute ocircumflex otilde odieresis divide oslash ugrave uacute ucircumflex udieresis "
    "yacute thorn ydieresis"
).split()
assert len(WIN_ANSI) == 224, len(WIN_ANSI)
WIN_ANSI = [None] * 32 + [None if n == "-" else n for n in WIN_ANSI]

FIXED, SYMBOLIC, NONSYMBOLIC, ITALIC, FORCEBOLD = 1, 4, 32, 64, 0x40000

# name, AFM file, encoding (0 = Windows ANSI slot, -1 = built-in), flags, italic angle,
# fixed pitch, bbox, cap height, x height, ascender, descender, stemV, stemH
FONTS = [
    ("Courier-Bold", "NimbusMonoPS-Bold", 0, FIXED | NONSYMBOLIC | FORCEBOLD, 0, 1,
     (-113, -250, 749, 801), 562, 439, 629, -157, 106, 84),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic", 0, FIXED | NONSYMBOLIC | ITALIC | FORCEBOLD, -12, 1,
     (-57, -250, 869, 801), 562, 439, 629, -157, 106, 84),
    ("Courier-Oblique", "NimbusMonoPS-Italic", 0, FIXED | NONSYMBOLIC | ITALIC, -12, 1,
     (-27, -250, 849, 805), 562, 426, 629, -157, 51, 51),
    ("Courier", "NimbusMonoPS-Regular", 0, FIXED | NONSYMBOLIC, 0, 1,
     (-23, -250, 715, 805), 562, 426, 629, -157, 51, 51),
    ("Helvetica-Bold", "NimbusSans-Bold", 0, NONSYMBOLIC | FORCEBOLD, 0, 0,
     (-170, -228, 1003, 962), 718, 532, 718, -207, 140, 118),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic", 0, NONSYMBOLIC | ITALIC | FORCEBOLD, -12, 0,
     (-174, -228, 1114, 962), 718, 532, 718, -207, 140, 118),
    ("Helvetica-Oblique", "NimbusSans-Italic", 0, NONSYMBOLIC | ITALIC, -12, 0,
     (-170, -225, 1116, 931), 718, 523, 718, -207, 88, 76),
    ("Helvetica", "NimbusSans-Regular", 0, NONSYMBOLIC, 0, 0,
     (-166, -225, 1000, 931), 718, 523, 718, -207, 88, 76),
    ("Symbol", "StandardSymbolsPS", -1, SYMBOLIC, 0, 0,
     (-180, -293, 1090, 1010), 700, 0, 800, -200, 85, 92),
    ("Times-Bold", "NimbusRoman-Bold", 0, NONSYMBOLIC | FORCEBOLD, 0, 0,
     (-168, -218, 1000, 935), 676, 461, 683, -217, 139, 44),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic", 0, NONSYMBOLIC | ITALIC | FORCEBOLD, -15, 0,
     (-200, -218, 996, 921), 669, 462, 683, -217, 121, 42),
    ("Times-Italic", "NimbusRoman-Italic", 0, NONSYMBOLIC | ITALIC, -15.5, 0,
     (-169, -217, 1010, 883), 653, 441, 683, -217, 76, 32),
    ("Times-Roman", "NimbusRoman-Regular", 0, NONSYMBOLIC, 0, 0,
     (-168, -218, 1000, 898), 662, 450, 683, -217, 84, 28),
    ("ZapfDingbats", "D050000L", -1, SYMBOLIC, 0, 0,
     (-1, -143, 981, 820), 700, 0, 800, -200, 90, 28),
]


# Glyphs that a URW file encodes but the standard font it stands in for leaves unencoded.
UNENCODED_IN_STANDARD = {"StandardSymbolsPS": {"apple"}}


def read_afm(path, unencoded=()):
    """Returns ({glyph name: width}, {code: width}) from the character metrics of an AFM file."""
    by_name, by_code = {}, {}
    in_metrics = False
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith("StartCharMetrics"):
                in_metrics = True
                continue
            if line.startswith("EndCharMetrics"):
                break
            if not in_metrics:
                continue
            fields = {}
            for item in line.split(";"):
                parts = item.split()
                if len(parts) >= 2:
                    fields[parts[0]] = parts[1]
            if "WX" not in fields or "N" not in fields:
                continue
            width = round(float(fields["WX"]))
            by_name[fields["N"]] = width
            code = int(fields.get("C", "-1"))
            if 0 <= code <= 255 and fields["N"] not in unencoded:
                by_code[code] = width
    return by_name, by_code


def widths_for(afm_dir, afm, encoding):
    by_name, by_code = read_afm(os.path.join(afm_dir, afm + ".afm"), UNENCODED_IN_STANDARD.get(afm, ()))
    space = by_name["space"]
    widths = []
    for code in range(256):
        if code < 32:
            widths.append(space)
        elif encoding == 0:
            name = WIN_ANSI[code] or "bullet"
            if name not in by_name:
                sys.exit(f"{afm}: no glyph {name} for code {code}")
            widths.append(by_name[name])
        else:
            widths.append(by_code.get(code, 0))
    return widths


def c_float(value):
    return repr(float(value))


def main():
    afm_dir = sys.argv[1] if len(sys.argv) > 1 else AFM_DIR
    out = []
    out.append("// GENERATED by scripts/gen-standard-fonts.py from the AFM files of fonts-urw-base35")
    out.append("// (metric-compatible with the 14 standard PDF fonts). Do not edit; run the script again.")
    out.append('#include "pdf/fonts_internal.h"')
    out.append("")
    out.append("namespace folvane::pdf {")
    out.append("")
    out.append(f"const StandardFont kStandardFonts[kStandardFontCount] = {{")
    for (name, afm, enc, flags, angle, fixed, bbox, cap, xh, asc, desc, stemv, stemh) in FONTS:
        widths = widths_for(afm_dir, afm, enc)
        out.append(f'    {{"{name}", {enc}, 0x{flags:X}, {c_float(angle)}, {fixed},')
        out.append(f"     {{{', '.join(str(v) for v in bbox)}}}, {cap}, {xh}, {asc}, {desc}, {stemv}, {stemh},")
        out.append("     {")
        for row in range(16):
            cells = ", ".join(str(w) for w in widths[row * 16:(row + 1) * 16])
            out.append(f"         {cells},")
        out.append("     }},")
    out.append("};")
    out.append("")
    out.append("} // namespace folvane::pdf")
    print("\n".join(out))


if __name__ == "__main__":
    main()
