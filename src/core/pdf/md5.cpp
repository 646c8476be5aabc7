#include "pdf/md5.h"

namespace folvane::pdf {

void Md5::reset()
{
    md5_init(&m_ctx);
}

void Md5::update(const void* data, size_t length)
{
    if (length)
        md5_update(&m_ctx, length, static_cast<const uint8_t*>(data));
}

std::array<uint8_t, 16> Md5::digestCopy() const
{
    md5_ctx copy = m_ctx;
    std::array<uint8_t, 16> out{};
    md5_digest(&copy, out.size(), out.data());
    return out;
}

std::array<uint8_t, 16> md5Of(const void* data, size_t length)
{
    Md5 md5;
    md5.update(data, length);
    return md5.digestCopy();
}

} // namespace folvane::pdf
