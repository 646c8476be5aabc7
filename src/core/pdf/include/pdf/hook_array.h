#pragma once
// A growable array whose memory comes from a document's allocation hooks. The writer's tables
// (object offsets, pages, page-tree leaves, content lists, ...) are all of this kind: they start
// at a fixed capacity and double when full.

#include <cstddef>
#include <cstring>

namespace folvane::pdf {

struct PdfDocument;
void* allocateZeroed(PdfDocument* doc, size_t size, const char* tag);
void* reallocateBlock(PdfDocument* doc, void* block, size_t size, const char* tag);
void releaseBlock(PdfDocument* doc, void* block);

template <typename T>
struct HookArray {
    T* data = nullptr;
    size_t capacity = 0;

    // Makes room for index `index`; the capacity starts at `initial` and doubles.
    // New entries are set to `fill`. Returns false when the allocation hook fails.
    bool ensure(PdfDocument* doc, size_t index, size_t initial, T fill, const char* tag)
    {
        if (index < capacity)
            return true;
        size_t wanted = capacity ? capacity : initial;
        while (wanted <= index)
            wanted *= 2;
        void* grown = data ? reallocateBlock(doc, data, wanted * sizeof(T), tag)
                           : allocateZeroed(doc, wanted * sizeof(T), tag);
        if (!grown)
            return false;
        data = static_cast<T*>(grown);
        for (size_t i = capacity; i < wanted; ++i)
            data[i] = fill;
        capacity = wanted;
        return true;
    }

    void release(PdfDocument* doc)
    {
        if (data)
            releaseBlock(doc, data);
        data = nullptr;
        capacity = 0;
    }

    T& operator[](size_t i) { return data[i]; }
    const T& operator[](size_t i) const { return data[i]; }
};

} // namespace folvane::pdf
