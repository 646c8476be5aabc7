// The estimator's block pool: bump allocation inside blocks of at least 32 KiB, all released
// together when the estimate ends.
#include "deskew_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace folvane::engine::deskew {

struct BlockPool::Block {
    Block* next;
    size_t size; // usable bytes after the header
    size_t used;
};

namespace {

constexpr size_t kAlign = alignof(std::max_align_t);

constexpr size_t roundUp(size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

constexpr size_t kHeaderBytes = roundUp(sizeof(void*) + 2 * sizeof(size_t));

} // namespace

BlockPool::BlockPool(size_t limitBytes) : m_limit(limitBytes) {}

BlockPool::~BlockPool()
{
    while (m_blocks) {
        Block* next = m_blocks->next;
        std::free(m_blocks);
        m_blocks = next;
    }
}

void* BlockPool::allocate(size_t bytes)
{
    if (bytes == 0 || bytes > m_limit)
        return nullptr;
    const size_t need = roundUp(bytes);
    if (!m_blocks || m_blocks->size - m_blocks->used < need) {
        const size_t size = std::max(need, kPoolBlockBytes);
        if (size > m_limit - std::min(m_limit, m_reserved))
            return nullptr;
        auto* block = static_cast<Block*>(std::malloc(kHeaderBytes + size));
        if (!block)
            return nullptr;
        block->size = size;
        block->used = 0;
        // A large request gets a block of its own; the partly used block stays current.
        if (m_blocks && need > kPoolBlockBytes) {
            block->next = m_blocks->next;
            m_blocks->next = block;
        } else {
            block->next = m_blocks;
            m_blocks = block;
        }
        m_reserved += size;
        if (block != m_blocks) {
            block->used = need;
            char* memory = reinterpret_cast<char*>(block) + kHeaderBytes;
            std::memset(memory, 0, need);
            return memory;
        }
    }
    char* memory = reinterpret_cast<char*>(m_blocks) + kHeaderBytes + m_blocks->used;
    m_blocks->used += need;
    std::memset(memory, 0, need);
    return memory;
}

} // namespace folvane::engine::deskew
