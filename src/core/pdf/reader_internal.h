#pragma once
// The reader's own machinery, shared by its files: the read context with the working block and
// the read budget, and the scanner whose primitives every part of the reader is built on.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/reader.h"

namespace folvane::pdf::reader {

// One read of one file: the file, its size, the working block and what may still be read.
// The budget bounds the bytes read from the file over the whole read to a multiple of the file
// size, so that offsets pointing many times at the same region cannot make the reader hang.
struct ReadContext {
    FILE* file = nullptr;
    int64_t fileSize = 0;
    std::unique_ptr<uint8_t[]> block;
    size_t blockCapacity = 0; // min(fileSize, kReaderBlockSize)
    int64_t budget = 0;
    bool exhausted = false;   // the budget ran out; the read has failed
    // Why the read failed, when a step knows better than "damaged" (a kRefusal text).
    std::string refusal;

    // Decoded object streams met so far: the data and, per index, the object's number and the
    // position of its text in the data.
    struct ObjectStream {
        std::string data;
        std::vector<std::pair<int, size_t>> objects;
    };
    std::map<int, ObjectStream> objectStreams;
    int objectStreamDepth = 0; // an object stream's /Length may itself be compressed

    // Takes the file's size. False when the size cannot be taken, the file is empty or absurdly
    // large, or the working block cannot be allocated.
    bool open(FILE* f);
};

inline bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == 0;
}

inline bool isDelimiter(int c)
{
    return c == '/' || c == '<' || c == '>' || c == '[' || c == ']' || c == '(' || c == ')' || c == '{' ||
           c == '}' || c == '%';
}

inline bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Results of Scanner::boundedSearch.
enum SearchResult : int {
    kFound = 1,
    kEndReached = -1,
    kStopWordMet = -2,
};

// A forward cursor over either a region of the file (read through the context's working block,
// refilled as the cursor moves on) or a text in memory. Only one file scanner of a context may
// be in use at a time, since they share the block.
class Scanner {
public:
    // Over the file from position `offset`; the first read brings at most `firstRead` bytes,
    // every later one kReaderRefillSize (both limited by the block and the file).
    Scanner(ReadContext& context, int64_t offset, size_t firstRead);
    // Over text in memory, which must outlive the scanner.
    explicit Scanner(std::string_view text);

    // The byte `ahead` positions after the cursor (ahead < kLookahead), or -1 past the end.
    int peek(size_t ahead = 0)
    {
        while (m_pos + ahead >= m_filled)
            if (!refill())
                return -1;
        return m_data[m_pos + ahead];
    }
    void advance(size_t count = 1);
    bool atEnd() { return peek() < 0; }
    // Bytes advanced over since the scanner was made.
    uint64_t consumed() const { return m_consumed; }
    // For a scanner over memory: the cursor's index in the text.
    size_t index() const { return m_pos; }

    // True when the bytes at the cursor are `word` (exactly, or ignoring ASCII letter case).
    bool startsWith(std::string_view word, bool ignoreCase = false);
    // startsWith, and on success the cursor moves past the word.
    bool consume(std::string_view word);

    // Skips blank, tab, line feed, form feed, carriage return and NUL.
    void skipBlanks();
    // Moves to the next blank or delimiter.
    void skipToken();
    // Skips to the next decimal digit and reads the number, then skips the digits and any "."
    // that follow. False at the end. Values saturate far above any offset a file can hold.
    bool nextNumber(int64_t* value);
    // Like nextNumber, but of a run of more than ten digits only the leading ones form the
    // number and the cursor stays before the last ten (a count written without a blank before
    // the first ten-digit offset). Runs longer than kLookahead digits are refused.
    bool nextCount(int64_t* value);
    // Strict reading of a value: blanks, an optional sign, at least one digit, and a fraction
    // that is skipped. False, with the cursor somewhere after the blanks, when there is none.
    bool readInteger(int64_t* value);
    // "N G R" with 1 <= N <= kMaxObjectNumber and 0 <= G <= 65535.
    bool readReference(int* number, int* generation);
    // At "/": the name's raw text (without the slash), and the cursor after it.
    bool readName(std::string* name);

    // Searches forward for `key` (a name with its slash, prefix, any letter case) among the
    // keys of the dictionary the cursor is before or at the start of: only at the top level of
    // that dictionary, never inside strings, comments or nested dictionaries and arrays.
    // At most `limit` bytes are searched, and the search stops at `stopWord` met outside strings.
    // On kFound the cursor is on the key's slash.
    int boundedSearch(std::string_view key, uint64_t limit, std::string_view stopWord);
    // boundedSearch without a length limit, stopping at "endobj".
    bool findKey(std::string_view key);

    // At "<<", "[", "(" or "<": moves past the matching closing delimiter, counting nesting and
    // skipping strings and comments. The bytes passed over are appended to *copy when given.
    // False when the end or `limit` bytes come first, or when dictionaries and arrays nest deeper
    // than limits::kMaxPdfNestingDepth.
    bool skipBalanced(std::string* copy, uint64_t limit);
    // Skips one value at the cursor (after blanks): a dictionary, array, string, name or token.
    bool skipValue();
    // At "(": the raw text between the outer parentheses (nesting and escapes respected).
    bool readLiteralString(std::string* raw, uint64_t limit);
    // At "<" (not "<<"): the raw text between the angle brackets.
    bool readHexString(std::string* raw, uint64_t limit);

    // From the cursor up to and including the first "endobj" outside strings, copied into
    // *text. When more than `limit` bytes would be needed the result is false, unless
    // `allowTruncated`, in which case the first `limit` bytes are kept.
    bool objectText(std::string* text, uint64_t limit, bool allowTruncated);

    static constexpr size_t kLookahead = 64;

private:
    bool refill();
    int take(std::string* copy);
    bool skipComment(std::string* copy);

    ReadContext* m_context = nullptr; // null for a scanner over memory
    const uint8_t* m_data = nullptr;
    size_t m_filled = 0;
    size_t m_pos = 0;
    int64_t m_nextRead = 0;  // file position of the next byte to read into the block
    size_t m_firstRead = 0;  // 0 once the first read happened
    uint64_t m_consumed = 0;
};

// Decoding of string values ---------------------------------------------------------------------

// Hex digits paired into bytes; white space is ignored, any other non-digit counts as 0, and an
// odd last digit is completed with 0.
std::string decodeHex(std::string_view raw);
// Escapes of a literal string resolved: \n \r \t \b \f, one to three octal digits, a backslash
// before a line end removes both (CR LF counts as one line end), any other escaped character is
// kept without its backslash.
std::string decodeLiteral(std::string_view raw);

// Objects ---------------------------------------------------------------------------------------

// Reads `length` bytes at file position `offset` into *out, counting them against the budget.
bool readBytesAt(ReadContext& context, int64_t offset, size_t length, std::string* out);

// The top-level entries of a dictionary text "<< ... >>": key without its slash, and the entry
// "/Key value" as written (a value of several tokens such as "3 0 R" runs up to the next key).
bool dictionaryEntries(std::string_view dictionary, std::vector<std::pair<std::string, std::string>>* entries);
// An integer value of a key of a dictionary text; false when absent or not an integer.
bool integerValue(std::string_view dictionary, std::string_view key, int64_t* value);

// The stream object whose header stands at file position `position`, which must name `number`
// and `generation`: its dictionary ("<< ... >>") and its data, decrypted when `decrypt` and the
// file is encrypted, and decoded (no filter, or FlateDecode with or without a PNG predictor).
// Decoded bytes count against the read budget; no more than `limit` bytes are decoded.
bool loadStream(ReadContext& context, const ExistingPdf& existing, int64_t position, int number, int generation,
                bool decrypt, uint64_t limit, std::string* dictionary, std::string* data);
// The text of an object kept in an object stream, as "N 0 obj <value> endobj".
bool loadCompressedObject(ReadContext& context, const ExistingPdf& existing, int number, uint64_t limit,
                          std::string* text);
// Whether object `number` is kept in an object stream (whose strings are not encrypted one by one).
inline bool isCompressed(const ExistingPdf& existing, int number)
{
    return number >= 1 && static_cast<size_t>(number) < existing.offsets.size() &&
           existing.offsets[static_cast<size_t>(number)] == kOffsetCompressed;
}
// The bytes of an encrypted file's string or stream of object `number` decrypted (RC4, or
// AES-CBC with its IV and padding removed); false for AES data that is not whole blocks.
bool decryptBytes(const ExistingEncryption& encryption, int number, int generation, std::string& bytes);

// The text of object `number` ("N G obj" up to "endobj") read from its offset. Fails when the
// number is not listed in use, the offset lies outside the file, or the text does not start with
// the object's own number, generation and "obj".
bool loadObject(ReadContext& context, const ExistingPdf& existing, int number, uint64_t limit, bool allowTruncated,
                std::string* text);
// The position just after "obj" in an object text.
size_t bodyStart(const std::string& text);

// The cross-reference chain and trailers (first three steps of a structure read).
bool readCrossReferences(ReadContext& context, ExistingPdf& existing);
// The encryption dictionary and the authentication with empty passwords.
bool readEncryption(ReadContext& context, ExistingPdf& existing);
bool readInfo(ReadContext& context, ExistingPdf& existing);
bool readPages(ReadContext& context, ExistingPdf& existing);
// The /Kids of a page-tree node's text: 1 with *kids filled (possibly empty), 0 when the node has
// no /Kids (a page), -1 when they cannot be read. An indirect array is loaded through context.
int readKids(ReadContext& context, const ExistingPdf& existing, const std::string& text,
             std::vector<std::pair<int, int>>* kids);

} // namespace folvane::pdf::reader
