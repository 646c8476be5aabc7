// Streams of existing files: the data of a stream object (its /Length direct or indirect),
// decrypted and decoded (FlateDecode with the PNG predictors of cross-reference streams), and the
// objects kept in object streams, cut out of the decoded data by their index.
#include "reader_internal.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace folvane::pdf::reader {

namespace {

// The value of an object stream's header and its objects stay far below these.
constexpr int64_t kMaxObjectsPerStream = 1 << 20;
constexpr uint64_t kStreamDictionaryLimit = 1 << 20;
constexpr size_t kInflateChunk = 1 << 16;

// Moves `scan` to the start of the value of `key` in its dictionary; false when there is none.
bool toValueOf(Scanner& scan, std::string_view key)
{
    if (!scan.findKey(key))
        return false;
    std::string skipped;
    scan.readName(&skipped);
    scan.skipBlanks();
    return true;
}

bool nameValue(std::string_view dictionary, std::string_view key, std::string* name)
{
    Scanner scan(dictionary);
    if (!toValueOf(scan, key))
        return false;
    if (scan.peek() == '[') {
        // An array of one filter is the same as the filter; longer chains are not read.
        scan.advance();
        scan.skipBlanks();
        if (scan.peek() != '/' || !scan.readName(name))
            return false;
        scan.skipBlanks();
        return scan.peek() == ']';
    }
    return scan.peek() == '/' && scan.readName(name);
}

// The text of a dictionary value of `key` ("<< ... >>"), looking into a one-element array.
bool dictionaryValue(std::string_view dictionary, std::string_view key, std::string* value)
{
    Scanner scan(dictionary);
    if (!toValueOf(scan, key))
        return false;
    if (scan.peek() == '[') {
        scan.advance();
        scan.skipBlanks();
    }
    return scan.startsWith("<<") && scan.skipBalanced(value, dictionary.size());
}

bool charge(ReadContext& ctx, size_t bytes)
{
    if (static_cast<int64_t>(bytes) > ctx.budget) {
        ctx.exhausted = true;
        return false;
    }
    ctx.budget -= static_cast<int64_t>(bytes);
    return true;
}

bool inflateData(ReadContext& ctx, const std::string& in, uint64_t limit, std::string* out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
    out->clear();
    int status = Z_OK;
    while (status == Z_OK) {
        size_t had = out->size();
        if (had >= limit || !charge(ctx, kInflateChunk)) {
            status = Z_MEM_ERROR;
            break;
        }
        out->resize(had + kInflateChunk);
        z.next_out = reinterpret_cast<Bytef*>(out->data() + had);
        z.avail_out = static_cast<uInt>(kInflateChunk);
        status = inflate(&z, Z_NO_FLUSH);
        out->resize(had + (kInflateChunk - z.avail_out));
        // Data cut short after complete output is common (a missing checksum): keep what came.
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            status = Z_STREAM_END;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && out->size() <= limit;
}

int paeth(int a, int b, int c)
{
    int p = a + b - c;
    int pa = std::abs(p - a);
    int pb = std::abs(p - b);
    int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the PNG predictors (10 to 15): every row starts with its own filter byte.
bool unpredict(std::string_view parameters, std::string* data)
{
    int64_t predictor = 1;
    if (!integerValue(parameters, "/Predictor", &predictor) || predictor == 1)
        return true;
    if (predictor < 10 || predictor > 15)
        return false; // the TIFF predictor is not used by the structures read here
    int64_t columns = 1;
    int64_t colors = 1;
    int64_t bits = 8;
    integerValue(parameters, "/Columns", &columns);
    integerValue(parameters, "/Colors", &colors);
    integerValue(parameters, "/BitsPerComponent", &bits);
    if (columns < 1 || columns > (1 << 20) || colors < 1 || colors > 32 || (bits != 1 && bits != 2 && bits != 4 &&
                                                                             bits != 8 && bits != 16))
        return false;
    const auto rowBytes = static_cast<size_t>((columns * colors * bits + 7) / 8);
    const auto pixelBytes = static_cast<size_t>(std::max<int64_t>(1, (colors * bits + 7) / 8));
    std::string out;
    out.reserve(data->size());
    std::string previous(rowBytes, '\0');
    std::string row(rowBytes, '\0');
    for (size_t at = 0; at + 1 + rowBytes <= data->size(); at += 1 + rowBytes) {
        int filter = static_cast<uint8_t>((*data)[at]);
        for (size_t i = 0; i < rowBytes; ++i) {
            int raw = static_cast<uint8_t>((*data)[at + 1 + i]);
            int left = i >= pixelBytes ? static_cast<uint8_t>(row[i - pixelBytes]) : 0;
            int up = static_cast<uint8_t>(previous[i]);
            int upLeft = i >= pixelBytes ? static_cast<uint8_t>(previous[i - pixelBytes]) : 0;
            int value = raw;
            switch (filter) {
            case 0: break;
            case 1: value += left; break;
            case 2: value += up; break;
            case 3: value += (left + up) / 2; break;
            case 4: value += paeth(left, up, upLeft); break;
            default: return false;
            }
            row[i] = static_cast<char>(value & 0xFF);
        }
        out += row;
        previous.swap(row);
    }
    data->swap(out);
    return true;
}

bool decode(ReadContext& ctx, const std::string& dictionary, uint64_t limit, std::string* data)
{
    std::string filter;
    Scanner probe(dictionary);
    if (!probe.findKey("/Filter")) {
        return data->size() <= limit;
    }
    if (!nameValue(dictionary, "/Filter", &filter) || (filter != "FlateDecode" && filter != "Fl"))
        return false;
    std::string compressed;
    compressed.swap(*data);
    if (!inflateData(ctx, compressed, limit, data))
        return false;
    std::string parameters;
    if (!dictionaryValue(dictionary, "/DecodeParms", &parameters) &&
        !dictionaryValue(dictionary, "/DP", &parameters))
        return true;
    return unpredict(parameters, data);
}

// The stream's /Length: direct, or an object of its own (which is never itself compressed into
// the object stream being read, since that would need the length to be known).
bool streamLength(ReadContext& ctx, const ExistingPdf& existing, const std::string& dictionary, int64_t* length)
{
    Scanner scan(dictionary);
    if (!scan.findKey("/Length"))
        return false;
    std::string name;
    scan.readName(&name);
    int number = 0;
    int generation = 0;
    Scanner reference = scan;
    if (reference.readReference(&number, &generation)) {
        if (ctx.objectStreamDepth > 1)
            return false;
        std::string text;
        if (!loadObject(ctx, existing, number, 4096, false, &text))
            return false;
        Scanner value(std::string_view(text).substr(bodyStart(text)));
        return value.readInteger(length);
    }
    return scan.readInteger(length);
}

} // namespace

bool readBytesAt(ReadContext& ctx, int64_t offset, size_t length, std::string* out)
{
    out->resize(length);
    if (offset < 0 || offset > ctx.fileSize || static_cast<int64_t>(length) > ctx.budget) {
        ctx.exhausted = ctx.exhausted || static_cast<int64_t>(length) > ctx.budget;
        return false;
    }
    if (fseeko(ctx.file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    size_t got = std::fread(out->data(), 1, length, ctx.file);
    ctx.budget -= static_cast<int64_t>(got);
    out->resize(got);
    return got == length;
}

bool dictionaryEntries(std::string_view dictionary, std::vector<std::pair<std::string, std::string>>* entries)
{
    if (dictionary.substr(0, 2) != "<<")
        return false;
    Scanner scan(dictionary.substr(2));
    for (;;) {
        scan.skipBlanks();
        if (scan.startsWith(">>"))
            return true;
        if (scan.peek() != '/')
            return false;
        size_t start = scan.index();
        std::string key;
        if (!scan.readName(&key) || !scan.skipValue())
            return false;
        for (scan.skipBlanks(); !scan.atEnd() && scan.peek() != '/' && !scan.startsWith(">>"); scan.skipBlanks()) {
            if (!scan.skipValue())
                return false;
        }
        entries->emplace_back(key, std::string(dictionary.substr(2 + start, scan.index() - start)));
    }
}

bool integerValue(std::string_view dictionary, std::string_view key, int64_t* value)
{
    Scanner scan(dictionary);
    return toValueOf(scan, key) && scan.readInteger(value);
}

bool loadStream(ReadContext& ctx, const ExistingPdf& existing, int64_t position, int number, int generation,
                bool decrypt, uint64_t limit, std::string* dictionary, std::string* data)
{
    if (position < 0 || position >= ctx.fileSize)
        return false;
    Scanner scan(ctx, position, 4096);
    scan.skipBlanks();
    int64_t n = 0;
    int64_t g = 0;
    if (!scan.readInteger(&n) || n != number || !scan.readInteger(&g) || g != generation)
        return false;
    scan.skipBlanks();
    if (!scan.consume("obj"))
        return false;
    scan.skipBlanks();
    dictionary->clear();
    if (!scan.startsWith("<<") || !scan.skipBalanced(dictionary, kStreamDictionaryLimit))
        return false;
    scan.skipBlanks();
    if (!scan.consume("stream"))
        return false;
    // The keyword ends with CR LF or LF (a lone CR is taken too).
    if (scan.peek() == '\r')
        scan.advance();
    if (scan.peek() == '\n')
        scan.advance();
    const int64_t dataStart = position + static_cast<int64_t>(scan.consumed());
    int64_t length = 0;
    if (!streamLength(ctx, existing, *dictionary, &length) || length < 0 || length > ctx.fileSize - dataStart)
        return false;
    if (!readBytesAt(ctx, dataStart, static_cast<size_t>(length), data))
        return false;
    if (decrypt && existing.encryption.encrypted && !decryptBytes(existing.encryption, number, generation, *data))
        return false;
    return decode(ctx, *dictionary, limit, data);
}

bool loadCompressedObject(ReadContext& ctx, const ExistingPdf& existing, int number, uint64_t limit,
                          std::string* text)
{
    auto where = existing.compressed.find(number);
    if (where == existing.compressed.end())
        return false;
    const auto [streamNumber, index] = where->second;
    auto cached = ctx.objectStreams.find(streamNumber);
    if (cached == ctx.objectStreams.end()) {
        if (streamNumber < 1 || static_cast<size_t>(streamNumber) >= existing.offsets.size() ||
            existing.offsets[static_cast<size_t>(streamNumber)] < 0 || ctx.objectStreamDepth > 0)
            return false; // an object stream must be an ordinary object
        ++ctx.objectStreamDepth;
        std::string dictionary;
        ReadContext::ObjectStream stream;
        bool loaded = loadStream(ctx, existing, existing.offsets[static_cast<size_t>(streamNumber)], streamNumber,
                                 existing.generations[static_cast<size_t>(streamNumber)], true,
                                 limits::kMaxAllocationBytes, &dictionary, &stream.data);
        --ctx.objectStreamDepth;
        if (!loaded)
            return false;
        int64_t count = 0;
        int64_t first = 0;
        if (!integerValue(dictionary, "/N", &count) || !integerValue(dictionary, "/First", &first) || count < 0 ||
            count > kMaxObjectsPerStream || first < 0 || static_cast<uint64_t>(first) > stream.data.size())
            return false;
        Scanner header(std::string_view(stream.data).substr(0, static_cast<size_t>(first)));
        for (int64_t i = 0; i < count; ++i) {
            int64_t object = 0;
            int64_t offset = 0;
            if (!header.readInteger(&object) || !header.readInteger(&offset) || object < 1 ||
                object > kMaxObjectNumber || offset < 0 ||
                static_cast<uint64_t>(offset) > stream.data.size() - static_cast<uint64_t>(first))
                return false;
            stream.objects.emplace_back(static_cast<int>(object), static_cast<size_t>(first + offset));
        }
        cached = ctx.objectStreams.emplace(streamNumber, std::move(stream)).first;
    }
    const ReadContext::ObjectStream& stream = cached->second;
    if (index < 0 || static_cast<size_t>(index) >= stream.objects.size() ||
        stream.objects[static_cast<size_t>(index)].first != number)
        return false;
    const size_t start = stream.objects[static_cast<size_t>(index)].second;
    size_t end = stream.data.size();
    if (static_cast<size_t>(index) + 1 < stream.objects.size() &&
        stream.objects[static_cast<size_t>(index) + 1].second >= start)
        end = stream.objects[static_cast<size_t>(index) + 1].second;
    if (end - start + 32 > limit)
        return false;
    *text = std::to_string(number) + " 0 obj\n" + stream.data.substr(start, end - start) + "\nendobj";
    return true;
}

} // namespace folvane::pdf::reader
