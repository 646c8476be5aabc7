#pragma once
// libtiff handles for the codec's TIFF modules: open options that keep libtiff silent and bound
// its allocations, and a file that closes itself. Not part of the codec's public interface.

#include <cstdarg>

#include <tiffio.h>

#include "base/resource_limits.h"

namespace folvane::codec::tiffhandles {

inline int silentHandler(TIFF*, void*, const char*, const char*, va_list)
{
    return 1; // handled: libtiff must not fall back to its global handler, which prints
}

// Open options shared by every file the codec opens.
class Options {
public:
    Options() : m_options(TIFFOpenOptionsAlloc())
    {
        if (m_options) {
            TIFFOpenOptionsSetErrorHandlerExtR(m_options, silentHandler, nullptr);
            TIFFOpenOptionsSetWarningHandlerExtR(m_options, silentHandler, nullptr);
            TIFFOpenOptionsSetMaxSingleMemAlloc(m_options, static_cast<tmsize_t>(limits::kMaxAllocationBytes + 65536));
        }
    }
    ~Options() { TIFFOpenOptionsFree(m_options); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    TIFFOpenOptions* get() const { return m_options; }

private:
    TIFFOpenOptions* m_options;
};

class TiffFile {
public:
    explicit TiffFile(TIFF* tif) : m_tif(tif) {}
    ~TiffFile()
    {
        if (m_tif)
            TIFFClose(m_tif);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;
    TiffFile(TiffFile&& other) noexcept : m_tif(other.m_tif) { other.m_tif = nullptr; }
    TiffFile& operator=(TiffFile&& other) noexcept
    {
        if (this != &other) {
            if (m_tif)
                TIFFClose(m_tif);
            m_tif = other.m_tif;
            other.m_tif = nullptr;
        }
        return *this;
    }
    TIFF* get() const { return m_tif; }
    // Closes now (flushing a file being written) and reports whether that worked.
    bool close()
    {
        if (!m_tif)
            return false;
        TIFF* tif = m_tif;
        m_tif = nullptr;
        bool flushed = TIFFFlush(tif) == 1;
        TIFFClose(tif);
        return flushed;
    }

private:
    TIFF* m_tif;
};

} // namespace folvane::codec::tiffhandles
