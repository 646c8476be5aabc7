// The reader's working block and its scanning primitives: numbers, counts, blanks, tokens, key
// searches, matching delimiters, strings and object texts, over the file or over text in memory.
#include "reader_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace folvane::pdf::reader {

namespace {

// Values saturate here: far above any offset or count a file can hold, far below overflow.
constexpr int64_t kSaturated = int64_t{1} << 60;

// Files above this size are refused: offsets are kept in 64 bits and the read budget below is
// a multiple of the size.
constexpr int64_t kMaxFileSize = int64_t{1} << 50;

// The read budget: every object may be read in a chunk of its own, so a file of tiny objects
// legitimately needs many times its own size; the constant covers small files.
constexpr int64_t kBudgetFactor = 64;
constexpr int64_t kBudgetBase = int64_t{64} << 20;

int lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

void addDigit(int64_t& value, int c)
{
    value = value >= kSaturated / 10 ? kSaturated : value * 10 + (c - '0');
}

} // namespace

bool ReadContext::open(FILE* f)
{
    file = f;
    if (!file || fseeko(file, 0, SEEK_END) != 0)
        return false;
    off_t size = ftello(file);
    if (size <= 0 || size > kMaxFileSize)
        return false;
    fileSize = size;
    blockCapacity = static_cast<size_t>(std::min<int64_t>(fileSize, static_cast<int64_t>(kReaderBlockSize)));
    block.reset(new (std::nothrow) uint8_t[blockCapacity]);
    if (!block)
        return false;
    budget = kBudgetFactor * fileSize + kBudgetBase;
    exhausted = false;
    return true;
}

Scanner::Scanner(ReadContext& context, int64_t offset, size_t firstRead)
    : m_context(&context), m_data(context.block.get()), m_nextRead(offset), m_firstRead(std::max<size_t>(firstRead, 1))
{
}

Scanner::Scanner(std::string_view text)
    : m_data(reinterpret_cast<const uint8_t*>(text.data())), m_filled(text.size())
{
}

// The bytes not yet consumed move to the block's start and the block is filled up from the file.
bool Scanner::refill()
{
    ReadContext* ctx = m_context;
    if (!ctx || ctx->exhausted || m_nextRead < 0 || m_nextRead >= ctx->fileSize)
        return false;
    uint8_t* block = ctx->block.get();
    size_t kept = m_filled - m_pos;
    if (kept && m_pos)
        std::memmove(block, block + m_pos, kept);
    m_pos = 0;
    m_filled = kept;

    size_t wanted = m_firstRead ? m_firstRead : kReaderRefillSize;
    wanted = std::min(wanted, ctx->blockCapacity - kept);
    wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(wanted), ctx->fileSize - m_nextRead));
    if (wanted == 0)
        return false;
    if (static_cast<int64_t>(wanted) > ctx->budget) {
        ctx->exhausted = true;
        return false;
    }
    if (fseeko(ctx->file, static_cast<off_t>(m_nextRead), SEEK_SET) != 0)
        return false;
    size_t got = std::fread(block + kept, 1, wanted, ctx->file);
    ctx->budget -= static_cast<int64_t>(got);
    m_firstRead = 0;
    m_nextRead += static_cast<int64_t>(got);
    m_filled += got;
    return got > 0;
}

void Scanner::advance(size_t count)
{
    while (count) {
        if (m_pos >= m_filled && !refill())
            return;
        size_t step = std::min(count, m_filled - m_pos);
        m_pos += step;
        m_consumed += step;
        count -= step;
    }
}

bool Scanner::startsWith(std::string_view word, bool ignoreCase)
{
    for (size_t i = 0; i < word.size(); ++i) {
        int c = peek(i);
        if (c < 0)
            return false;
        int w = static_cast<uint8_t>(word[i]);
        if (ignoreCase ? lower(c) != lower(w) : c != w)
            return false;
    }
    return true;
}

bool Scanner::consume(std::string_view word)
{
    if (!startsWith(word))
        return false;
    advance(word.size());
    return true;
}

void Scanner::skipBlanks()
{
    while (isBlank(peek()))
        advance();
}

void Scanner::skipToken()
{
    for (int c = peek(); c >= 0 && !isBlank(c) && !isDelimiter(c); c = peek())
        advance();
}

bool Scanner::nextNumber(int64_t* value)
{
    int c;
    while ((c = peek()) >= 0 && !isDigit(c))
        advance();
    if (c < 0)
        return false;
    int64_t v = 0;
    while (isDigit(c = peek())) {
        addDigit(v, c);
        advance();
    }
    while (isDigit(c = peek()) || c == '.')
        advance();
    *value = v;
    return true;
}

bool Scanner::nextCount(int64_t* value)
{
    int c;
    while ((c = peek()) >= 0 && !isDigit(c))
        advance();
    if (c < 0)
        return false;
    size_t run = 0;
    while (run < kLookahead && isDigit(peek(run)))
        ++run;
    if (run >= kLookahead)
        return false;
    if (run <= 10)
        return nextNumber(value);
    int64_t v = 0;
    for (size_t i = 0; i < run - 10; ++i) {
        addDigit(v, peek());
        advance();
    }
    *value = v;
    return true;
}

bool Scanner::readInteger(int64_t* value)
{
    skipBlanks();
    bool negative = false;
    int c = peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        advance();
    }
    if (!isDigit(peek()))
        return false;
    int64_t v = 0;
    while (isDigit(c = peek())) {
        addDigit(v, c);
        advance();
    }
    if (c == '.') {
        advance();
        while (isDigit(peek()))
            advance();
    }
    *value = negative ? -v : v;
    return true;
}

bool Scanner::readReference(int* number, int* generation)
{
    int64_t n = 0;
    int64_t g = 0;
    if (!readInteger(&n) || !readInteger(&g) || n < 1 || n > kMaxObjectNumber || g < 0 || g > 65535)
        return false;
    skipBlanks();
    if (peek() != 'R')
        return false;
    int after = peek(1);
    if (after >= 0 && !isBlank(after) && !isDelimiter(after))
        return false;
    advance();
    *number = static_cast<int>(n);
    *generation = static_cast<int>(g);
    return true;
}

bool Scanner::readName(std::string* name)
{
    if (peek() != '/')
        return false;
    advance();
    name->clear();
    for (int c = peek(); c >= 0 && !isBlank(c) && !isDelimiter(c); c = peek()) {
        if (name->size() < 4096)
            *name += static_cast<char>(c);
        advance();
    }
    return true;
}

int Scanner::take(std::string* copy)
{
    int c = peek();
    if (c >= 0) {
        if (copy)
            *copy += static_cast<char>(c);
        advance();
    }
    return c;
}

bool Scanner::skipComment(std::string* copy)
{
    for (int c = peek(); c >= 0; c = peek()) {
        if (c == '\r' || c == '\n')
            return true;
        take(copy);
    }
    return false;
}

bool Scanner::skipBalanced(std::string* copy, uint64_t limit)
{
    uint64_t start = m_consumed;
    int depth = 0;      // open dictionaries and arrays
    int stringDepth = 0;// open parentheses of a literal string
    bool inHex = false;
    do {
        if (m_consumed - start >= limit)
            return false;
        int c = peek();
        if (c < 0)
            return false;
        if (stringDepth) {
            take(copy);
            if (c == '\\')
                take(copy);
            else if (c == '(')
                ++stringDepth;
            else if (c == ')')
                --stringDepth;
        } else if (inHex) {
            take(copy);
            inHex = c != '>';
        } else if (c == '(') {
            take(copy);
            ++stringDepth;
        } else if (c == '<' && peek(1) == '<') {
            take(copy), take(copy);
            if (++depth > limits::kMaxPdfNestingDepth)
                return false;
        } else if (c == '>' && peek(1) == '>') {
            take(copy), take(copy);
            --depth;
        } else if (c == '<') {
            take(copy);
            inHex = true;
        } else if (c == '[') {
            take(copy);
            if (++depth > limits::kMaxPdfNestingDepth)
                return false;
        } else if (c == ']') {
            take(copy);
            --depth;
        } else if (c == '%') {
            if (!skipComment(copy))
                return false;
        } else {
            take(copy);
        }
    } while (depth > 0 || stringDepth > 0 || inHex);
    return true;
}

bool Scanner::skipValue()
{
    skipBlanks();
    int c = peek();
    if (c < 0)
        return false;
    if (c == '(' || c == '<' || c == '[')
        return skipBalanced(nullptr, UINT64_MAX);
    if (c == '/') {
        std::string ignored;
        return readName(&ignored);
    }
    uint64_t before = m_consumed;
    skipToken();
    if (m_consumed == before)
        advance(); // a stray delimiter such as ")" or "}"
    return true;
}

bool Scanner::readLiteralString(std::string* raw, uint64_t limit)
{
    if (peek() != '(')
        return false;
    std::string copy;
    if (!skipBalanced(&copy, limit))
        return false;
    raw->assign(copy, 1, copy.size() - 2);
    return true;
}

bool Scanner::readHexString(std::string* raw, uint64_t limit)
{
    if (peek() != '<' || peek(1) == '<')
        return false;
    std::string copy;
    if (!skipBalanced(&copy, limit))
        return false;
    raw->assign(copy, 1, copy.size() - 2);
    return true;
}

int Scanner::boundedSearch(std::string_view key, uint64_t limit, std::string_view stopWord)
{
    uint64_t start = m_consumed;
    int dictDepth = 0;
    int arrayDepth = 0;
    while (m_consumed - start < limit) {
        int c = peek();
        if (c < 0)
            return kEndReached;
        if (!stopWord.empty() && c == static_cast<uint8_t>(stopWord[0]) && startsWith(stopWord))
            return kStopWordMet;
        if (c == '(' || (c == '<' && peek(1) != '<')) {
            if (!skipBalanced(nullptr, limit - (m_consumed - start)))
                return kEndReached;
        } else if (c == '<') {
            advance(2);
            ++dictDepth;
        } else if (c == '>' && peek(1) == '>') {
            advance(2);
            dictDepth = std::max(dictDepth - 1, 0);
        } else if (c == '[') {
            advance();
            ++arrayDepth;
        } else if (c == ']') {
            advance();
            arrayDepth = std::max(arrayDepth - 1, 0);
        } else if (c == '%') {
            if (!skipComment(nullptr))
                return kEndReached;
        } else if (c == '/') {
            if (dictDepth == 1 && arrayDepth == 0 && startsWith(key, true))
                return kFound;
            advance();
            skipToken();
        } else {
            advance();
        }
    }
    return kEndReached;
}

bool Scanner::findKey(std::string_view key)
{
    return boundedSearch(key, UINT64_MAX, "endobj") == kFound;
}

bool Scanner::objectText(std::string* text, uint64_t limit, bool allowTruncated)
{
    static constexpr std::string_view kEnd = "endobj";
    text->clear();
    int stringDepth = 0;
    for (;;) {
        if (text->size() >= limit)
            return allowTruncated;
        int c = peek();
        if (c < 0)
            return false;
        if (stringDepth) {
            take(text);
            if (c == '\\') {
                if (text->size() < limit)
                    take(text);
            } else if (c == '(') {
                ++stringDepth;
            } else if (c == ')') {
                --stringDepth;
            }
        } else if (c == 'e' && startsWith(kEnd)) {
            if (text->size() + kEnd.size() > limit)
                return allowTruncated;
            for (size_t i = 0; i < kEnd.size(); ++i)
                take(text);
            return true;
        } else if (c == '(') {
            take(text);
            stringDepth = 1;
        } else if (c == '%') {
            while ((c = peek()) >= 0 && c != '\r' && c != '\n' && text->size() < limit)
                take(text);
        } else {
            take(text);
        }
    }
}

// String values -----------------------------------------------------------------------------------

std::string decodeHex(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size() / 2 + 1);
    int high = -1;
    for (char ch : raw) {
        int c = static_cast<uint8_t>(ch);
        if (isBlank(c))
            continue;
        int digit = isDigit(c) ? c - '0' : (lower(c) >= 'a' && lower(c) <= 'f') ? lower(c) - 'a' + 10 : 0;
        if (high < 0) {
            high = digit;
        } else {
            out += static_cast<char>(high << 4 | digit);
            high = -1;
        }
    }
    if (high >= 0)
        out += static_cast<char>(high << 4);
    return out;
}

std::string decodeLiteral(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        char e = raw[++i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case '\r':
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            break;
        case '\n': break;
        default:
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int k = 0; k < 2 && i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '7'; ++k)
                    value = value * 8 + (raw[++i] - '0');
                out += static_cast<char>(value & 0xFF);
            } else {
                out += e;
            }
        }
    }
    return out;
}

} // namespace folvane::pdf::reader
