// The output buffer: one growing memory block handed to the sink in large writes, with
// Flate compression writing straight into the block while a stream is open.
#include "pdf/document.h"

#include <cstring>

#include "pdf/security.h"
#include "writeback.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr size_t kInitialBlock = 65536;
constexpr size_t kLargeBlock = 0x500000;

size_t blockSize(const OutputBuffer& out)
{
    return static_cast<size_t>(out.end - out.start);
}

void flushBlock(PdfDocument* doc)
{
    OutputBuffer& out = doc->out;
    if (!doc->sink || out.compressing || doc->writeFailed || !out.start)
        return;
    // Plain bytes of an unfinished AES block stay behind until their block is encrypted.
    size_t tail = unsealedTail(doc);
    size_t count = static_cast<size_t>(out.cursor - out.start) - tail;
    if (count == 0)
        return;
    size_t written = std::fwrite(out.start, 1, count, doc->sink);
    if (written != count) {
        releaseOutputBuffer(doc);
        doc->writeFailed = true;
        reportError(doc, kErrWrite, "short write to %s", doc->outputPath.c_str());
        return;
    }
    out.flushed += static_cast<int64_t>(count);
    if (tail)
        std::memmove(out.start, out.start + count, tail);
    out.cursor = out.start + tail;
    if (!doc->sinkIsStdout) {
        if (!doc->writeback)
            doc->writeback = std::make_unique<Writeback>();
        doc->writeback->written(fileno(doc->sink), static_cast<int64_t>(ftello(doc->sink)));
    }
}

voidpf zlibAllocate(voidpf opaque, uInt items, uInt size)
{
    auto* doc = static_cast<PdfDocument*>(opaque);
    return allocateZeroed(doc, static_cast<size_t>(items) * size, "zlib");
}

void zlibRelease(voidpf opaque, voidpf block)
{
    releaseBlock(static_cast<PdfDocument*>(opaque), block);
}

} // namespace

void releaseOutputBuffer(PdfDocument* doc)
{
    OutputBuffer& out = doc->out;
    if (out.compressing) {
        deflateEnd(&out.zs);
        out.compressing = false;
    }
    if (out.start)
        releaseBlock(doc, out.start);
    out.start = out.cursor = out.end = nullptr;
}

bool makeRoom(PdfDocument* doc, size_t count)
{
    OutputBuffer& out = doc->out;
    if (doc->writeFailed)
        return false;
    if (!out.start) {
        size_t size = kInitialBlock;
        while (size < count)
            size *= 2;
        out.start = static_cast<uint8_t*>(allocateZeroed(doc, size, "output"));
        if (!out.start) {
            doc->writeFailed = true;
            reportError(doc, kErrAllocation, "output buffer could not be allocated");
            return false;
        }
        out.cursor = out.start;
        out.end = out.start + size;
    }
    while (static_cast<size_t>(out.end - out.cursor) < count) {
        if (doc->outputFlags & kFlushWhenFull)
            flushBlock(doc);
        if (static_cast<size_t>(out.end - out.cursor) >= count)
            break;
        if ((doc->outputFlags & kFlushBeyond5MB) && blockSize(out) > kLargeBlock)
            flushBlock(doc);
        if (doc->writeFailed)
            return false;
        if (static_cast<size_t>(out.end - out.cursor) >= count)
            break;
        size_t used = static_cast<size_t>(out.cursor - out.start);
        size_t grown = blockSize(out) * 2;
        auto* block = static_cast<uint8_t*>(reallocateBlock(doc, out.start, grown, "output"));
        if (!block) {
            releaseOutputBuffer(doc);
            doc->writeFailed = true;
            reportError(doc, kErrAllocation, "output buffer could not grow to %zu bytes", grown);
            return false;
        }
        out.start = block;
        out.cursor = block + used;
        out.end = block + grown;
    }
    return true;
}

size_t writeBytes(PdfDocument* doc, const void* bytes, size_t length)
{
    if (!isValid(doc) || doc->writeFailed || length == 0)
        return 0;
    OutputBuffer& out = doc->out;
    if (!out.compressing) {
        if (!makeRoom(doc, length))
            return 0;
        std::memcpy(out.cursor, bytes, length);
        encryptStreamOutput(doc, out.cursor, length);
        out.cursor += length;
        return length;
    }

    z_stream& zs = out.zs;
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    zs.avail_in = static_cast<uInt>(length);
    while (zs.avail_in > 0) {
        if (out.cursor == out.end && !makeRoom(doc, zs.avail_in / 4 + 16))
            return 0;
        zs.next_out = out.cursor;
        zs.avail_out = static_cast<uInt>(out.end - out.cursor);
        int rc = deflate(&zs, Z_NO_FLUSH);
        encryptStreamOutput(doc, out.cursor, static_cast<size_t>(zs.next_out - out.cursor));
        out.cursor = zs.next_out;
        if (rc == Z_BUF_ERROR) {
            if (!makeRoom(doc, zs.avail_in / 4 + 16))
                return 0;
        } else if (rc != Z_OK) {
            reportError(doc, kErrCompression, "deflate failed (%d)", rc);
            return 0;
        }
    }
    return length;
}

size_t writeString(PdfDocument* doc, const char* text)
{
    return text ? writeBytes(doc, text, std::strlen(text)) : 0;
}

size_t writeChar(PdfDocument* doc, char byte)
{
    return writeBytes(doc, &byte, 1);
}

int64_t currentOffset(const PdfDocument* doc)
{
    if (!isValid(doc))
        return 0;
    return doc->out.flushed + (doc->out.cursor - doc->out.start);
}

void flushOutput(PdfDocument* doc)
{
    if (isValid(doc))
        flushBlock(doc);
}

void startCompression(PdfDocument* doc)
{
    if (doc->compressionLevel == 0 || doc->writeFailed)
        return;
    z_stream& zs = doc->out.zs;
    std::memset(&zs, 0, sizeof zs);
    zs.zalloc = zlibAllocate;
    zs.zfree = zlibRelease;
    zs.opaque = doc;
    int rc = deflateInit(&zs, doc->compressionLevel);
    if (rc != Z_OK) {
        reportError(doc, kErrCompression, "deflateInit failed (%d)", rc);
        return;
    }
    doc->out.compressing = true;
}

void finishCompression(PdfDocument* doc)
{
    OutputBuffer& out = doc->out;
    if (!out.compressing)
        return;
    z_stream& zs = out.zs;
    zs.next_in = nullptr;
    zs.avail_in = 0;
    for (;;) {
        if (!makeRoom(doc, 128))
            break;
        zs.next_out = out.cursor;
        zs.avail_out = static_cast<uInt>(out.end - out.cursor);
        int rc = deflate(&zs, Z_FINISH);
        encryptStreamOutput(doc, out.cursor, static_cast<size_t>(zs.next_out - out.cursor));
        out.cursor = zs.next_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            reportError(doc, kErrCompression, "deflate finish failed (%d)", rc);
            break;
        }
    }
    deflateEnd(&zs);
    out.compressing = false;
}

} // namespace folvane::pdf
