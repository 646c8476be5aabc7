#pragma once
// Reading and editing INI text in memory, with the rules of the Windows profile functions that
// the settings file has always been read with:
//
// - A section starts at a line whose first non-blank character is "[" and that holds a "]";
//   its name is the text between "[" and the last "]". Only the first section of a name counts.
// - A key line is a line with "="; the key is the text before the first "=", the value the
//   text after it. Section and key names are compared without regard to ASCII letter case.
// - Blanks (space, tab, CR, VT, FF) around names and values are ignored, and a value enclosed
//   in a matching pair of quotes (" or ') loses that pair.
// - Lines end with "\n"; a "\r" before it is part of the line end. A UTF-8 byte order mark at
//   the start of the text is skipped.
//
// Both functions work on byte strings (UTF-8 in practice) and never throw for any input.

#include <optional>
#include <string>
#include <string_view>

namespace folvane::app {

// The value of `key` in the first section named `section`, or nullopt when that section or
// key is absent. A key line without a value gives an empty string.
std::optional<std::string> findIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// `text` with `key` set to `value` in the first section named `section`; every other byte of
// the text stays as it was. An existing key line is replaced in place (its first occurrence);
// a new key goes after the last non-blank line of the section; a missing section is appended
// at the end. New lines use the line end of the text's first line ("\n" for a new text).
//
// The value is stored so that findIniValue returns it unchanged, with two exceptions that keep
// a value from breaking the line structure: it ends at its first NUL byte, and each CR or LF
// in it becomes a space. Values with surrounding blanks or quotes are written in quotes.
//
// Returns nullopt when the section or key name cannot be stored: empty, holding "=" (keys),
// "]" (sections), a line break or NUL, or a key that would read as a section header.
std::optional<std::string> setIniValue(std::string_view text, std::string_view section,
                                       std::string_view key, std::string_view value);

// The value exactly as findIniValue will return it after setIniValue stored `value`.
std::string storableIniValue(std::string_view value);

} // namespace folvane::app
