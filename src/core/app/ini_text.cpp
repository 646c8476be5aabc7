#include "ini_text.h"

namespace folvane::app {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    return true;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

bool hasMatchingQuotes(std::string_view s)
{
    return s.size() >= 2 && isQuote(s.front()) && s.back() == s.front();
}

// One line of the text: [begin, end) is its content without the line end, `next` is where the
// following line starts.
struct Line {
    size_t begin = 0;
    size_t end = 0;
    size_t next = 0;
};

enum class LineKind { Other, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed, quotes still on
};

// Walks the lines of a text, starting behind a byte order mark.
class LineCursor {
public:
    explicit LineCursor(std::string_view text)
        : m_text(text), m_start(text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0),
          m_pos(m_start)
    {
    }

    size_t contentStart() const { return m_start; }

    bool next(Line& line)
    {
        if (m_pos >= m_text.size())
            return false;
        line.begin = m_pos;
        size_t newline = m_text.find('\n', m_pos);
        if (newline == std::string_view::npos) {
            line.end = line.next = m_text.size();
        } else {
            line.end = newline > m_pos && m_text[newline - 1] == '\r' ? newline - 1 : newline;
            line.next = newline + 1;
        }
        m_pos = line.next;
        return true;
    }

private:
    std::string_view m_text;
    size_t m_start; // first byte behind the byte order mark
    size_t m_pos;
};

ParsedLine parseLine(std::string_view content)
{
    ParsedLine parsed;
    std::string_view t = trim(content);
    if (!t.empty() && t.front() == '[') {
        size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Header;
            parsed.name = trim(t.substr(1, close - 1));
            return parsed;
        }
    }
    size_t equals = t.find('=');
    if (equals != std::string_view::npos) {
        parsed.kind = LineKind::Key;
        parsed.name = trim(t.substr(0, equals));
        parsed.value = trim(t.substr(equals + 1));
    }
    return parsed;
}

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool isStorableSection(std::string_view section)
{
    return !section.empty() && section.find(']') == std::string_view::npos && !hasLineBreakOrNul(section);
}

bool isStorableKey(std::string_view key)
{
    return !key.empty() && key.front() != '[' && key.find('=') == std::string_view::npos &&
           !hasLineBreakOrNul(key);
}

// The value as it goes after the "=": quoted when reading would otherwise trim it or strip
// its own quotes.
std::string encodeValue(std::string_view value)
{
    std::string stored = storableIniValue(value);
    if (!stored.empty() && (isBlank(stored.front()) || isBlank(stored.back()) || hasMatchingQuotes(stored)))
        return '"' + stored + '"';
    return stored;
}

std::string_view lineEndOf(std::string_view text)
{
    size_t newline = text.find('\n');
    if (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r')
        return "\r\n";
    return "\n";
}

} // namespace

std::string storableIniValue(std::string_view value)
{
    std::string stored(value.substr(0, value.find('\0')));
    for (char& c : stored)
        if (c == '\r' || c == '\n')
            c = ' ';
    return stored;
}

std::optional<std::string> findIniValue(std::string_view text, std::string_view section, std::string_view key)
{
    section = trim(section);
    key = trim(key);
    LineCursor cursor(text);
    Line line;
    bool inSection = false;
    while (cursor.next(line)) {
        ParsedLine parsed = parseLine(text.substr(line.begin, line.end - line.begin));
        if (parsed.kind == LineKind::Header) {
            if (inSection)
                return std::nullopt; // only the first section of the name counts
            inSection = equalsIgnoringCase(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && equalsIgnoringCase(parsed.name, key)) {
            std::string_view value = parsed.value;
            if (hasMatchingQuotes(value))
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> setIniValue(std::string_view text, std::string_view section, std::string_view key,
                                       std::string_view value)
{
    section = trim(section);
    key = trim(key);
    if (!isStorableSection(section) || !isStorableKey(key))
        return std::nullopt;

    const std::string stored = encodeValue(value);
    const std::string_view lineEnd = lineEndOf(text);

    LineCursor cursor(text);
    Line line;
    bool inSection = false;
    bool sectionSeen = false;
    size_t insertAt = 0; // behind the last non-blank line of the section
    while (cursor.next(line)) {
        std::string_view content = text.substr(line.begin, line.end - line.begin);
        ParsedLine parsed = parseLine(content);
        if (parsed.kind == LineKind::Header) {
            if (inSection)
                break;
            if (!sectionSeen && equalsIgnoringCase(parsed.name, section)) {
                inSection = sectionSeen = true;
                insertAt = line.next;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (parsed.kind == LineKind::Key && equalsIgnoringCase(parsed.name, key)) {
            // Keep the file's own spelling of the key.
            std::string result(text.substr(0, line.begin));
            result.append(parsed.name).append("=").append(stored);
            result.append(text.substr(line.end));
            return result;
        }
        if (!trim(content).empty())
            insertAt = line.next;
    }

    std::string keyLine = std::string(key) + "=" + stored + std::string(lineEnd);
    const bool unterminated = text.size() > cursor.contentStart() && text.back() != '\n';
    if (sectionSeen) {
        std::string result(text.substr(0, insertAt));
        if (insertAt == text.size() && unterminated)
            result.append(lineEnd);
        result.append(keyLine);
        result.append(text.substr(insertAt));
        return result;
    }
    std::string result(text);
    if (unterminated)
        result.append(lineEnd);
    result.append("[").append(section).append("]").append(lineEnd);
    result.append(keyLine);
    return result;
}

} // namespace folvane::app
