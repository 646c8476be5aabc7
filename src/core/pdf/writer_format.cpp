// Value writers: the writer's own number formatter (never the C locale), literal and text
// strings, names and hex strings.
#include "pdf/document.h"

#include <cmath>
#include <cstring>

#include "writer_internal.h"

namespace folvane::pdf {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kFormatBuffer = 1024;

// Writes `value` in `base` into out, padded to `width` digits. A zero value is "0" repeated to
// the width; other values are padded with zeros or blanks as the format asked.
size_t formatInteger(long long value, unsigned base, int width, bool zeroFill, char* out)
{
    char digits[32];
    size_t n = 0;
    bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    do {
        digits[n++] = kHexDigits[magnitude % base];
        magnitude /= base;
    } while (magnitude);

    size_t length = 0;
    if (value == 0) {
        size_t count = width > 0 ? static_cast<size_t>(width) : 1;
        for (size_t i = 0; i < count; ++i)
            out[length++] = '0';
        return length;
    }
    size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    if (!zeroFill)
        while (pad) {
            out[length++] = ' ';
            --pad;
        }
    if (negative)
        out[length++] = '-';
    while (pad) {
        out[length++] = '0';
        --pad;
    }
    while (n)
        out[length++] = digits[--n];
    return length;
}

} // namespace

size_t formatReal(double value, int precision, char* out, bool* outOfRange)
{
    if (outOfRange)
        *outOfRange = false;
    if (precision < 3 || precision > 6)
        precision = 4;
    if (std::isnan(value)) {
        if (outOfRange)
            *outOfRange = true;
        out[0] = '0';
        return 1;
    }
    size_t length = 0;
    double magnitude = std::fabs(value);
    if (magnitude < 0.000015) {
        out[0] = '0';
        return 1;
    }
    if (value < 0)
        out[length++] = '-';

    if (magnitude >= 32768) {
        double rounded = std::floor(magnitude + 0.5);
        if (rounded > 2147483647.0) {
            if (outOfRange)
                *outOfRange = true;
            rounded = 2147483647.0;
        }
        return length + formatInteger(static_cast<long long>(rounded), 10, 0, false, out + length);
    }

    long long scale = 1;
    for (int i = 0; i < precision; ++i)
        scale *= 10;
    double whole = std::floor(magnitude);
    long long integer = static_cast<long long>(whole);
    long long fraction = static_cast<long long>(std::floor((magnitude - whole) * static_cast<double>(scale) + 0.5));
    if (fraction >= scale) {
        ++integer;
        fraction = 0;
    }
    if (integer == 0 && fraction == 0) {
        out[0] = '0';
        return 1;
    }
    length += formatInteger(integer, 10, 0, false, out + length);
    if (fraction == 0)
        return length;
    char digits[8];
    for (int i = precision - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    int last = precision - 1;
    while (last > 0 && digits[last] == '0')
        --last;
    out[length++] = '.';
    for (int i = 0; i <= last; ++i)
        out[length++] = digits[i];
    return length;
}

size_t writeFormatted(PdfDocument* doc, const char* format, ...)
{
    if (!isValid(doc) || !format)
        return 0;
    char buffer[kFormatBuffer];
    size_t length = 0;
    bool truncated = false;
    auto append = [&](const char* bytes, size_t count) {
        if (length + count > sizeof buffer) {
            count = sizeof buffer - length;
            truncated = true;
        }
        std::memcpy(buffer + length, bytes, count);
        length += count;
    };

    va_list args;
    va_start(args, format);
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            const char* run = p;
            while (p[1] && p[1] != '%')
                ++p;
            append(run, static_cast<size_t>(p - run + 1));
            continue;
        }
        ++p;
        if (*p == '%') {
            append("%", 1);
            continue;
        }
        bool zeroFill = false;
        if (*p == '0') {
            zeroFill = true;
            ++p;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9')
            width = width * 10 + (*p++ - '0');
        bool isLong = false;
        if (*p == 'l') {
            isLong = true;
            ++p;
        }
        char scratch[64];
        switch (*p) {
        case 'c': {
            char c = static_cast<char>(va_arg(args, int));
            append(&c, 1);
            break;
        }
        case 's': {
            const char* text = va_arg(args, const char*);
            if (text)
                append(text, std::strlen(text));
            break;
        }
        case 'd': {
            long long v = isLong ? va_arg(args, long) : va_arg(args, int);
            append(scratch, formatInteger(v, 10, width, zeroFill, scratch));
            break;
        }
        case 'X': {
            unsigned long long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            append(scratch, formatInteger(static_cast<long long>(v), 16, width, zeroFill, scratch));
            break;
        }
        case 'f': {
            bool outOfRange = false;
            append(scratch, formatReal(va_arg(args, double), doc->numberPrecision, scratch, &outOfRange));
            if (outOfRange)
                reportError(doc, kErrArgument, "real number out of range");
            break;
        }
        case '\0':
            --p; // a lone "%" at the end of the format
            reportError(doc, kErrArgument, "format ends in %%");
            break;
        default:
            reportError(doc, kErrArgument, "unknown format directive %%%c", *p);
            break;
        }
    }
    va_end(args);
    if (truncated)
        reportError(doc, kErrArgument, "formatted text longer than %zu bytes was cut", sizeof buffer);
    return writeBytes(doc, buffer, length);
}

void writeLiteralString(PdfDocument* doc, const void* bytes, size_t length)
{
    if (!isValid(doc))
        return;
    const auto* p = static_cast<const uint8_t*>(bytes);
    writeChar(doc, '(');
    size_t run = 0; // bytes copied as they are, written in one piece
    for (size_t i = 0; i < length; ++i) {
        const char* escape = nullptr;
        switch (p[i]) {
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '(': escape = "\\("; break;
        case ')': escape = "\\)"; break;
        case '\\': escape = "\\\\"; break;
        default: break;
        }
        if (!escape)
            continue;
        writeBytes(doc, p + run, i - run);
        writeBytes(doc, escape, 2);
        run = i + 1;
    }
    writeBytes(doc, p + run, length - run);
    writeChar(doc, ')');
}

size_t textValueLength(const char* text)
{
    if (!text)
        return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    if (p[0] == 0xFE && p[1] == 0xFF) {
        size_t n = 2;
        while (p[n] || p[n + 1])
            n += 2;
        return n;
    }
    return std::strlen(text);
}

void writeTextString(PdfDocument* doc, const char* text)
{
    if (!isValid(doc) || !text)
        return;
    writeLiteralString(doc, text, textValueLength(text));
}

void writeName(PdfDocument* doc, const char* name)
{
    if (!isValid(doc) || !name)
        return;
    std::string escaped = "/";
    for (const auto* p = reinterpret_cast<const uint8_t*>(name); *p; ++p) {
        bool plain = *p >= 33 && *p <= 126 && !std::strchr("()<>[]{}/%#", *p);
        if (plain) {
            escaped += static_cast<char>(*p);
        } else {
            escaped += '#';
            escaped += kHexDigits[*p >> 4];
            escaped += kHexDigits[*p & 15];
        }
    }
    writeBytes(doc, escaped.data(), escaped.size());
}

void writeHexBytes(PdfDocument* doc, const void* bytes, size_t length)
{
    if (!isValid(doc))
        return;
    const auto* p = static_cast<const uint8_t*>(bytes);
    writeChar(doc, '<');
    char pair[2];
    for (size_t i = 0; i < length; ++i) {
        pair[0] = kHexDigits[p[i] >> 4];
        pair[1] = kHexDigits[p[i] & 15];
        writeBytes(doc, pair, 2);
    }
    writeChar(doc, '>');
}

} // namespace folvane::pdf
