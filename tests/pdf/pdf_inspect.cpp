#include "pdf/pdf_inspect.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace folvane::test {

namespace {

bool isDigits(const std::string& s, size_t pos, size_t count)
{
    if (pos + count > s.size())
        return false;
    for (size_t i = pos; i < pos + count; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

} // namespace

WrittenPdf readWrittenPdf(const std::string& bytes)
{
    WrittenPdf pdf;
    size_t sx = bytes.rfind("startxref\r");
    if (sx == std::string::npos) {
        pdf.error = "no startxref";
        return pdf;
    }
    pdf.xrefOffset = std::strtoll(bytes.c_str() + sx + 10, nullptr, 10);
    if (pdf.xrefOffset <= 0 || static_cast<size_t>(pdf.xrefOffset) >= bytes.size() ||
        bytes.compare(static_cast<size_t>(pdf.xrefOffset), 5, "xref\r") != 0) {
        pdf.error = "startxref does not point at xref";
        return pdf;
    }
    size_t pos = static_cast<size_t>(pdf.xrefOffset) + 5;
    if (bytes.compare(pos, 2, "0 ") != 0) {
        pdf.error = "subsection does not start at 0";
        return pdf;
    }
    char* end = nullptr;
    pdf.size = static_cast<int>(std::strtol(bytes.c_str() + pos + 2, &end, 10));
    pos = static_cast<size_t>(end - bytes.c_str());
    if (bytes[pos] != '\r') {
        pdf.error = "subsection header not ended by CR";
        return pdf;
    }
    ++pos;
    if (bytes.compare(pos, 20, std::string("0000000000 65535 f\r\r")) != 0) {
        pdf.error = "first entry is not the free head";
        return pdf;
    }
    pos += 20;
    for (int n = 1; n < pdf.size; ++n, pos += 20) {
        if (!isDigits(bytes, pos, 10) || bytes.compare(pos + 10, 10, " 00000 n\r\r") != 0) {
            pdf.error = "entry " + std::to_string(n) + " is not 20 bytes of the form nnnnnnnnnn 00000 n CR CR";
            return pdf;
        }
        size_t offset = std::strtoull(bytes.substr(pos, 10).c_str(), nullptr, 10);
        std::string header = std::to_string(n) + " 0 obj";
        if (bytes.compare(offset, header.size(), header) != 0) {
            pdf.error = "entry " + std::to_string(n) + " does not point at its object";
            return pdf;
        }
        size_t objEnd = bytes.find("endobj", offset);
        // Streams may contain "endobj" by chance; skip to after "endstream" first.
        size_t streamKw = bytes.find("stream\r\n", offset);
        if (streamKw != std::string::npos && streamKw < objEnd) {
            size_t es = bytes.find("\rendstream", streamKw);
            objEnd = bytes.find("endobj", es);
        }
        pdf.objects[n] = bytes.substr(offset, objEnd - offset);
    }
    size_t tr = bytes.find("trailer\r", pos);
    if (tr != pos) {
        pdf.error = "trailer does not follow the table";
        return pdf;
    }
    pdf.trailer = bytes.substr(tr, sx - tr);
    return pdf;
}

std::string rawStreamData(const std::string& objectText)
{
    size_t start = objectText.find("stream\r\n");
    size_t end = objectText.rfind("\rendstream");
    if (start == std::string::npos || end == std::string::npos || end < start + 8)
        return {};
    return objectText.substr(start + 8, end - start - 8);
}

std::string streamData(const std::string& objectText)
{
    std::string raw = rawStreamData(objectText);
    if (objectText.find("/FlateDecode") == std::string::npos)
        return raw;
    std::string out;
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(raw.data());
    zs.avail_in = static_cast<uInt>(raw.size());
    char chunk[16384];
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - zs.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string("<inflate failed>");
}

std::vector<int> referencesIn(const std::string& objectText, const std::string& key)
{
    std::vector<int> refs;
    size_t k = objectText.find(key + " [");
    if (k == std::string::npos)
        return refs;
    size_t close = objectText.find(']', k);
    std::string inner = objectText.substr(k + key.size() + 2, close - k - key.size() - 2);
    const char* p = inner.c_str();
    while (*p) {
        char* end;
        long number = std::strtol(p, &end, 10);
        if (end == p)
            break;
        refs.push_back(static_cast<int>(number));
        p = end;
        std::strtol(p, &end, 10); // generation
        p = end;
        while (*p == ' ' || *p == 'R')
            ++p;
    }
    return refs;
}

long integerAfter(const std::string& text, const std::string& key)
{
    size_t k = text.find(key + " ");
    if (k == std::string::npos)
        return -1;
    return std::strtol(text.c_str() + k + key.size() + 1, nullptr, 10);
}

bool ErrorLog::has(int code) const
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

pdf::PdfDocument* makeDocument(ErrorLog* log)
{
    pdf::PdfHooks hooks;
    hooks.error = [](pdf::PdfDocument* doc, int code, const char*) {
        reinterpret_cast<ErrorLog*>(doc->userValue)->codes.push_back(code);
    };
    return pdf::newPdfDocument(hooks, reinterpret_cast<intptr_t>(log));
}

std::string memoryBytes(const pdf::PdfDocument* doc)
{
    size_t length = 0;
    const uint8_t* bytes = pdf::bufferedBytes(doc, &length);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), length) : std::string();
}

} // namespace folvane::test
