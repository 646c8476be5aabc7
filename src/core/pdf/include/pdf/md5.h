#pragma once
// MD5 over nettle, as a copyable value so a running digest can be finished on a copy.

#include <array>
#include <cstddef>
#include <cstdint>

#include <nettle/md5.h>

namespace folvane::pdf {

class Md5 {
public:
    Md5() { reset(); }
    void reset();
    void update(const void* data, size_t length);
    // Finishes a copy of the running digest; the object itself keeps running.
    std::array<uint8_t, 16> digestCopy() const;

private:
    md5_ctx m_ctx;
};

std::array<uint8_t, 16> md5Of(const void* data, size_t length);

} // namespace folvane::pdf
