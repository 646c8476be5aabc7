// The built-in encoding vectors and the UTF-8 to Windows ANSI conversion for callers that hold
// UTF-8 text. Unicode values follow the published mapping tables of the three code pages; glyph
// names follow the published glyph lists (the Windows ANSI and Mac OS Roman ones as the PDF
// standard's predefined encodings name them; code 160 is the space and 173 the hyphen there).
// Control codes are unassigned.
#include "pdf/fonts.h"

namespace folvane::pdf {

const EncodingVector kWinAnsiEncoding = {
    "winansi",
    "WinAnsiEncoding",
    {
        /*   0 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*   8 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  16 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  24 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  32 */ 0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
        /*  40 */ 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
        /*  48 */ 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
        /*  56 */ 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
        /*  64 */ 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
        /*  72 */ 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
        /*  80 */ 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
        /*  88 */ 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
        /*  96 */ 0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
        /* 104 */ 0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
        /* 112 */ 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
        /* 120 */ 0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2022,
        /* 128 */ 0x20AC, 0x2022, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        /* 136 */ 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x2022, 0x017D, 0x2022,
        /* 144 */ 0x2022, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        /* 152 */ 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x2022, 0x017E, 0x0178,
        /* 160 */ 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
        /* 168 */ 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
        /* 176 */ 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
        /* 184 */ 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
        /* 192 */ 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
        /* 200 */ 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
        /* 208 */ 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
        /* 216 */ 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
        /* 224 */ 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
        /* 232 */ 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
        /* 240 */ 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
        /* 248 */ 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
    },
    {
        /*   0 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*   8 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  16 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  24 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  32 */ "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quotesingle",
        /*  40 */ "parenleft", "parenright", "asterisk", "plus", "comma", "hyphen", "period", "slash",
        /*  48 */ "zero", "one", "two", "three", "four", "five", "six", "seven",
        /*  56 */ "eight", "nine", "colon", "semicolon", "less", "equal", "greater", "question",
        /*  64 */ "at", "A", "B", "C", "D", "E", "F", "G",
        /*  72 */ "H", "I", "J", "K", "L", "M", "N", "O",
        /*  80 */ "P", "Q", "R", "S", "T", "U", "V", "W",
        /*  88 */ "X", "Y", "Z", "bracketleft", "backslash", "bracketright", "asciicircum", "underscore",
        /*  96 */ "grave", "a", "b", "c", "d", "e", "f", "g",
        /* 104 */ "h", "i", "j", "k", "l", "m", "n", "o",
        /* 112 */ "p", "q", "r", "s", "t", "u", "v", "w",
        /* 120 */ "x", "y", "z", "braceleft", "bar", "braceright", "asciitilde", "bullet",
        /* 128 */ "Euro", "bullet", "quotesinglbase", "florin", "quotedblbase", "ellipsis", "dagger", "daggerdbl",
        /* 136 */ "circumflex", "perthousand", "Scaron", "guilsinglleft", "OE", "bullet", "Zcaron", "bullet",
        /* 144 */ "bullet", "quoteleft", "quoteright", "quotedblleft", "quotedblright", "bullet", "endash", "emdash",
        /* 152 */ "tilde", "trademark", "scaron", "guilsinglright", "oe", "bullet", "zcaron", "Ydieresis",
        /* 160 */ "space", "exclamdown", "cent", "sterling", "currency", "yen", "brokenbar", "section",
        /* 168 */ "dieresis", "copyright", "ordfeminine", "guillemotleft", "logicalnot", "hyphen", "registered", "macron",
        /* 176 */ "degree", "plusminus", "twosuperior", "threesuperior", "acute", "mu", "paragraph", "periodcentered",
        /* 184 */ "cedilla", "onesuperior", "ordmasculine", "guillemotright", "onequarter", "onehalf", "threequarters", "questiondown",
        /* 192 */ "Agrave", "Aacute", "Acircumflex", "Atilde", "Adieresis", "Aring", "AE", "Ccedilla",
        /* 200 */ "Egrave", "Eacute", "Ecircumflex", "Edieresis", "Igrave", "Iacute", "Icircumflex", "Idieresis",
        /* 208 */ "Eth", "Ntilde", "Ograve", "Oacute", "Ocircumflex", "Otilde", "Odieresis", "multiply",
        /* 216 */ "Oslash", "Ugrave", "Uacute", "Ucircumflex", "Udieresis", "Yacute", "Thorn", "germandbls",
        /* 224 */ "agrave", "aacute", "acircumflex", "atilde", "adieresis", "aring", "ae", "ccedilla",
        /* 232 */ "egrave", "eacute", "ecircumflex", "edieresis", "igrave", "iacute", "icircumflex", "idieresis",
        /* 240 */ "eth", "ntilde", "ograve", "oacute", "ocircumflex", "otilde", "odieresis", "divide",
        /* 248 */ "oslash", "ugrave", "uacute", "ucircumflex", "udieresis", "yacute", "thorn", "ydieresis",
    },
};

const EncodingVector kMacRomanEncoding = {
    "macroman",
    "MacRomanEncoding",
    {
        /*   0 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*   8 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  16 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  24 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  32 */ 0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
        /*  40 */ 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
        /*  48 */ 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
        /*  56 */ 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
        /*  64 */ 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
        /*  72 */ 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
        /*  80 */ 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
        /*  88 */ 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
        /*  96 */ 0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
        /* 104 */ 0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
        /* 112 */ 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
        /* 120 */ 0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x0000,
        /* 128 */ 0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
        /* 136 */ 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
        /* 144 */ 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
        /* 152 */ 0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
        /* 160 */ 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
        /* 168 */ 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
        /* 176 */ 0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
        /* 184 */ 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
        /* 192 */ 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
        /* 200 */ 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
        /* 208 */ 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
        /* 216 */ 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
        /* 224 */ 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
        /* 232 */ 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
        /* 240 */ 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
        /* 248 */ 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
    },
    {
        /*   0 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*   8 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  16 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  24 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  32 */ "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quotesingle",
        /*  40 */ "parenleft", "parenright", "asterisk", "plus", "comma", "hyphen", "period", "slash",
        /*  48 */ "zero", "one", "two", "three", "four", "five", "six", "seven",
        /*  56 */ "eight", "nine", "colon", "semicolon", "less", "equal", "greater", "question",
        /*  64 */ "at", "A", "B", "C", "D", "E", "F", "G",
        /*  72 */ "H", "I", "J", "K", "L", "M", "N", "O",
        /*  80 */ "P", "Q", "R", "S", "T", "U", "V", "W",
        /*  88 */ "X", "Y", "Z", "bracketleft", "backslash", "bracketright", "asciicircum", "underscore",
        /*  96 */ "grave", "a", "b", "c", "d", "e", "f", "g",
        /* 104 */ "h", "i", "j", "k", "l", "m", "n", "o",
        /* 112 */ "p", "q", "r", "s", "t", "u", "v", "w",
        /* 120 */ "x", "y", "z", "braceleft", "bar", "braceright", "asciitilde", nullptr,
        /* 128 */ "Adieresis", "Aring", "Ccedilla", "Eacute", "Ntilde", "Odieresis", "Udieresis", "aacute",
        /* 136 */ "agrave", "acircumflex", "adieresis", "atilde", "aring", "ccedilla", "eacute", "egrave",
        /* 144 */ "ecircumflex", "edieresis", "iacute", "igrave", "icircumflex", "idieresis", "ntilde", "oacute",
        /* 152 */ "ograve", "ocircumflex", "odieresis", "otilde", "uacute", "ugrave", "ucircumflex", "udieresis",
        /* 160 */ "dagger", "degree", "cent", "sterling", "section", "bullet", "paragraph", "germandbls",
        /* 168 */ "registered", "copyright", "trademark", "acute", "dieresis", "notequal", "AE", "Oslash",
        /* 176 */ "infinity", "plusminus", "lessequal", "greaterequal", "yen", "mu", "partialdiff", "summation",
        /* 184 */ "product", "pi", "integral", "ordfeminine", "ordmasculine", "Omega", "ae", "oslash",
        /* 192 */ "questiondown", "exclamdown", "logicalnot", "radical", "florin", "approxequal", "Delta", "guillemotleft",
        /* 200 */ "guillemotright", "ellipsis", "space", "Agrave", "Atilde", "Otilde", "OE", "oe",
        /* 208 */ "endash", "emdash", "quotedblleft", "quotedblright", "quoteleft", "quoteright", "divide", "lozenge",
        /* 216 */ "ydieresis", "Ydieresis", "fraction", "Euro", "guilsinglleft", "guilsinglright", "fi", "fl",
        /* 224 */ "daggerdbl", "periodcentered", "quotesinglbase", "quotedblbase", "perthousand", "Acircumflex", "Ecircumflex", "Aacute",
        /* 232 */ "Edieresis", "Egrave", "Iacute", "Icircumflex", "Idieresis", "Igrave", "Oacute", "Ocircumflex",
        /* 240 */ "apple", "Ograve", "Uacute", "Ucircumflex", "Ugrave", "dotlessi", "circumflex", "tilde",
        /* 248 */ "macron", "breve", "dotaccent", "ring", "cedilla", "hungarumlaut", "ogonek", "caron",
    },
};

const EncodingVector kEbcdicEncoding = {
    "ebcdic",
    nullptr,
    {
        /*   0 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*   8 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  16 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  24 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  32 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  40 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  48 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  56 */ 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
        /*  64 */ 0x0020, 0x00A0, 0x00E2, 0x00E4, 0x00E0, 0x00E1, 0x00E3, 0x00E5,
        /*  72 */ 0x00E7, 0x00F1, 0x00A2, 0x002E, 0x003C, 0x0028, 0x002B, 0x007C,
        /*  80 */ 0x0026, 0x00E9, 0x00EA, 0x00EB, 0x00E8, 0x00ED, 0x00EE, 0x00EF,
        /*  88 */ 0x00EC, 0x00DF, 0x0021, 0x0024, 0x002A, 0x0029, 0x003B, 0x00AC,
        /*  96 */ 0x002D, 0x002F, 0x00C2, 0x00C4, 0x00C0, 0x00C1, 0x00C3, 0x00C5,
        /* 104 */ 0x00C7, 0x00D1, 0x00A6, 0x002C, 0x0025, 0x005F, 0x003E, 0x003F,
        /* 112 */ 0x00F8, 0x00C9, 0x00CA, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF,
        /* 120 */ 0x00CC, 0x0060, 0x003A, 0x0023, 0x0040, 0x0027, 0x003D, 0x0022,
        /* 128 */ 0x00D8, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
        /* 136 */ 0x0068, 0x0069, 0x00AB, 0x00BB, 0x00F0, 0x00FD, 0x00FE, 0x00B1,
        /* 144 */ 0x00B0, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070,
        /* 152 */ 0x0071, 0x0072, 0x00AA, 0x00BA, 0x00E6, 0x00B8, 0x00C6, 0x00A4,
        /* 160 */ 0x00B5, 0x007E, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, 0x0078,
        /* 168 */ 0x0079, 0x007A, 0x00A1, 0x00BF, 0x00D0, 0x00DD, 0x00DE, 0x00AE,
        /* 176 */ 0x005E, 0x00A3, 0x00A5, 0x00B7, 0x00A9, 0x00A7, 0x00B6, 0x00BC,
        /* 184 */ 0x00BD, 0x00BE, 0x005B, 0x005D, 0x00AF, 0x00A8, 0x00B4, 0x00D7,
        /* 192 */ 0x007B, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
        /* 200 */ 0x0048, 0x0049, 0x00AD, 0x00F4, 0x00F6, 0x00F2, 0x00F3, 0x00F5,
        /* 208 */ 0x007D, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050,
        /* 216 */ 0x0051, 0x0052, 0x00B9, 0x00FB, 0x00FC, 0x00F9, 0x00FA, 0x00FF,
        /* 224 */ 0x005C, 0x00F7, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058,
        /* 232 */ 0x0059, 0x005A, 0x00B2, 0x00D4, 0x00D6, 0x00D2, 0x00D3, 0x00D5,
        /* 240 */ 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
        /* 248 */ 0x0038, 0x0039, 0x00B3, 0x00DB, 0x00DC, 0x00D9, 0x00DA, 0x0000,
    },
    {
        /*   0 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*   8 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  16 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  24 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  32 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  40 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  48 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  56 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        /*  64 */ "space", "space", "acircumflex", "adieresis", "agrave", "aacute", "atilde", "aring",
        /*  72 */ "ccedilla", "ntilde", "cent", "period", "less", "parenleft", "plus", "bar",
        /*  80 */ "ampersand", "eacute", "ecircumflex", "edieresis", "egrave", "iacute", "icircumflex", "idieresis",
        /*  88 */ "igrave", "germandbls", "exclam", "dollar", "asterisk", "parenright", "semicolon", "logicalnot",
        /*  96 */ "hyphen", "slash", "Acircumflex", "Adieresis", "Agrave", "Aacute", "Atilde", "Aring",
        /* 104 */ "Ccedilla", "Ntilde", "brokenbar", "comma", "percent", "underscore", "greater", "question",
        /* 112 */ "oslash", "Eacute", "Ecircumflex", "Edieresis", "Egrave", "Iacute", "Icircumflex", "Idieresis",
        /* 120 */ "Igrave", "grave", "colon", "numbersign", "at", "quotesingle", "equal", "quotedbl",
        /* 128 */ "Oslash", "a", "b", "c", "d", "e", "f", "g",
        /* 136 */ "h", "i", "guillemotleft", "guillemotright", "eth", "yacute", "thorn", "plusminus",
        /* 144 */ "degree", "j", "k", "l", "m", "n", "o", "p",
        /* 152 */ "q", "r", "ordfeminine", "ordmasculine", "ae", "cedilla", "AE", "currency",
        /* 160 */ "mu", "asciitilde", "s", "t", "u", "v", "w", "x",
        /* 168 */ "y", "z", "exclamdown", "questiondown", "Eth", "Yacute", "Thorn", "registered",
        /* 176 */ "asciicircum", "sterling", "yen", "periodcentered", "copyright", "section", "paragraph", "onequarter",
        /* 184 */ "onehalf", "threequarters", "bracketleft", "bracketright", "macron", "dieresis", "acute", "multiply",
        /* 192 */ "braceleft", "A", "B", "C", "D", "E", "F", "G",
        /* 200 */ "H", "I", "hyphen", "ocircumflex", "odieresis", "ograve", "oacute", "otilde",
        /* 208 */ "braceright", "J", "K", "L", "M", "N", "O", "P",
        /* 216 */ "Q", "R", "onesuperior", "ucircumflex", "udieresis", "ugrave", "uacute", "ydieresis",
        /* 224 */ "backslash", "divide", "S", "T", "U", "V", "W", "X",
        /* 232 */ "Y", "Z", "twosuperior", "Ocircumflex", "Odieresis", "Ograve", "Oacute", "Otilde",
        /* 240 */ "zero", "one", "two", "three", "four", "five", "six", "seven",
        /* 248 */ "eight", "nine", "threesuperior", "Ucircumflex", "Udieresis", "Ugrave", "Uacute", nullptr,
    },
};

std::string utf8ToWinAnsi(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
    const size_t n = utf8.size();
    size_t i = 0;
    while (i < n) {
        uint8_t lead = p[i];
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Decode one sequence; anything malformed (stray continuation bytes, truncated or
        // overlong sequences, surrogates) becomes a single "?" for its lead byte.
        size_t extra = lead >= 0xF0 && lead <= 0xF4   ? 3
                       : lead >= 0xE0 && lead <= 0xEF ? 2
                       : lead >= 0xC2 && lead <= 0xDF ? 1
                                                      : 0;
        uint32_t code = extra == 1 ? lead & 0x1Fu : extra == 2 ? lead & 0x0Fu : lead & 0x07u;
        bool valid = extra > 0;
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (p[i + k] & 0x3Fu);
        }
        if (valid && ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
                      (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        i += extra + 1;
        char mapped = '?';
        if (code >= 0xA0 && code <= 0xFF) {
            mapped = static_cast<char>(code);
        } else {
            // Codes 128..159 carry the code page's additions; the unassigned ones show the
            // bullet and are skipped so that U+2022 maps to its own code 149.
            for (int c = 128; c < 160; ++c) {
                if (kWinAnsiEncoding.unicode[c] == code && (code != 0x2022 || c == 149)) {
                    mapped = static_cast<char>(c);
                    break;
                }
            }
        }
        out += mapped;
    }
    return out;
}

} // namespace folvane::pdf
