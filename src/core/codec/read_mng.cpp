// MNG animations (and JNG) through libmng. The frame is rendered onto an RGBA canvas; frames
// after the first are reached by running the animation forward without waiting for its timers.
#include <algorithm>
#include <cstdio> // libmng.h pulls in jpeglib.h, which needs FILE
#include <cstdlib>
#include <cstring>
#include <vector>

#include <libmng.h>

#include "codec_internal.h"

namespace folvane::codec {

namespace {

// Frames counted at most.
constexpr uint32_t kMaxFrames = 10000;

struct Session {
    std::span<const uint8_t> data;
    size_t pos = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> canvas; // RGBA rows
    uint32_t ticks = 0;
};

Session& session(mng_handle h)
{
    return *static_cast<Session*>(mng_get_userdata(h));
}

mng_ptr MNG_DECL allocate(mng_size_t size)
{
    return std::calloc(1, size);
}

void MNG_DECL release(mng_ptr p, mng_size_t)
{
    std::free(p);
}

mng_bool MNG_DECL openStream(mng_handle) { return MNG_TRUE; }
mng_bool MNG_DECL closeStream(mng_handle) { return MNG_TRUE; }

mng_bool MNG_DECL readData(mng_handle h, mng_ptr buffer, mng_uint32 size, mng_uint32p read)
{
    Session& s = session(h);
    size_t n = std::min<size_t>(size, s.data.size() - s.pos);
    std::memcpy(buffer, s.data.data() + s.pos, n);
    s.pos += n;
    *read = static_cast<mng_uint32>(n);
    return MNG_TRUE;
}

mng_bool MNG_DECL processHeader(mng_handle h, mng_uint32 width, mng_uint32 height)
{
    Session& s = session(h);
    if (!frameSizeAllowed(width, height, 32))
        return MNG_FALSE;
    s.width = width;
    s.height = height;
    try {
        s.canvas.assign(static_cast<size_t>(width) * height * 4, 0);
    } catch (const std::bad_alloc&) {
        return MNG_FALSE;
    }
    return mng_set_canvasstyle(h, MNG_CANVAS_RGBA8) == MNG_NOERROR ? MNG_TRUE : MNG_FALSE;
}

mng_ptr MNG_DECL canvasLine(mng_handle h, mng_uint32 line)
{
    Session& s = session(h);
    if (line >= s.height || s.canvas.empty())
        return nullptr;
    return s.canvas.data() + static_cast<size_t>(line) * s.width * 4;
}

mng_bool MNG_DECL refresh(mng_handle, mng_uint32, mng_uint32, mng_uint32, mng_uint32) { return MNG_TRUE; }

mng_uint32 MNG_DECL tickCount(mng_handle h)
{
    // Time runs fast: every question moves the clock on by a minute, so no delay ever holds.
    return session(h).ticks += 60000;
}

mng_bool MNG_DECL setTimer(mng_handle, mng_uint32) { return MNG_TRUE; }

mng_bool MNG_DECL onError(mng_handle, mng_int32, mng_int8, mng_chunkid, mng_uint32, mng_int32, mng_int32, mng_pchar)
{
    return MNG_FALSE;
}

// The frames of an animation: its embedded images (PNG, JNG and basic images), counted from
// the chunk list. The library cannot tell them before an endlessly looping animation ends.
uint32_t countImages(std::span<const uint8_t> data)
{
    uint32_t images = 0;
    size_t pos = 8;
    while (pos + 12 <= data.size() && images < kMaxFrames) {
        const uint32_t length = (uint32_t(data[pos]) << 24) | (uint32_t(data[pos + 1]) << 16) |
                                (uint32_t(data[pos + 2]) << 8) | data[pos + 3];
        const auto type = data.subspan(pos + 4, 4);
        auto is = [&](const char* name) { return std::equal(type.begin(), type.end(), name); };
        if (is("IHDR") || is("JHDR") || is("BASI"))
            ++images;
        if (is("MEND") || length > data.size() - pos - 12)
            break;
        pos += 12 + static_cast<size_t>(length);
    }
    return images;
}

class Handle {
public:
    explicit Handle(Session& s) : m_handle(mng_initialize(&s, allocate, release, MNG_NULL)) {}
    ~Handle()
    {
        if (m_handle)
            mng_cleanup(&m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    mng_handle get() const { return m_handle; }

private:
    mng_handle m_handle;
};

} // namespace

bool readMng(const LoadRequest& request, LoadResult& result)
{
    static const uint8_t mng[8] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const uint8_t jng[8] = {0x8B, 'J', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (request.data.size() < 8 || request.frame < 0 ||
        (!std::equal(mng, mng + 8, request.data.begin()) && !std::equal(jng, jng + 8, request.data.begin())))
        return false;
    Session s;
    s.data = request.data;
    Handle handle(s);
    mng_handle h = handle.get();
    if (!h)
        return false;
    if (mng_setcb_errorproc(h, onError) || mng_setcb_openstream(h, openStream) ||
        mng_setcb_closestream(h, closeStream) || mng_setcb_readdata(h, readData) ||
        mng_setcb_processheader(h, processHeader) || mng_setcb_getcanvasline(h, canvasLine) ||
        mng_setcb_refresh(h, refresh) || mng_setcb_gettickcount(h, tickCount) || mng_setcb_settimer(h, setTimer))
        return false;
    if (mng_read(h) != MNG_NOERROR || s.width == 0 || s.height == 0)
        return false;
    const uint32_t frames = countImages(request.data);
    const uint32_t wanted = static_cast<uint32_t>(request.frame);
    if (frames == 0 || wanted >= frames)
        return false;
    result.frameCount = frames > 1 ? static_cast<int>(frames) : 0;
    if (request.headerOnly)
        return finishLoad(result, static_cast<int>(s.width), static_cast<int>(s.height), 32);

    // Each stop of the display for a timer ends one frame; the selected one is kept.
    mng_retcode rc = mng_display(h);
    for (uint32_t index = 0; index < wanted; ++index) {
        if (rc != MNG_NEEDTIMERWAIT)
            return false;
        rc = mng_display_resume(h);
    }
    if (rc != MNG_NOERROR && rc != MNG_NEEDTIMERWAIT)
        return false;
    Bitmap& bitmap = result.bitmap;
    if (!bitmap.create(static_cast<int>(s.width), static_cast<int>(s.height), 32))
        return false;
    for (uint32_t y = 0; y < s.height; ++y)
        std::memcpy(bitmap.row(static_cast<int>(y)), s.canvas.data() + static_cast<size_t>(y) * s.width * 4,
                    static_cast<size_t>(s.width) * 4);
    if (!dropUnusedAlpha(bitmap, false)) {
        bitmap.clear();
        return false;
    }
    return finishLoad(result);
}

} // namespace folvane::codec
