#pragma once
// Damaged files made deterministically from valid ones: cut short, bytes flipped, header sizes
// made huge or zero, strip offsets moved, and PDF structures broken (cross-reference tables,
// /Prev chains, page trees). Every variant says which outcomes a converter may give it.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace folvane::test {

// A valid file the variants are made from. `kind` names the format ("bmp24", "tiff-g4", ...);
// `extension` includes the dot and is kept by every variant, since some formats are recognised
// by their extension.
struct Seed {
    std::string kind;
    std::string extension;
    std::string bytes;
};

struct Damaged {
    std::string name;  // unique file stem: a running number, the damage and the seed's kind
    std::string bytes;
    // False when the damage may leave a file that still decodes (a flipped byte inside
    // compressed data, a JPEG cut after its header, which is embedded without decoding): the
    // conversion may then succeed, but its PDF must be valid.
    bool mustFail = true;
};

// The variants of one image seed: truncations at several points, byte flips, and, where the
// header layout of the kind is known, huge and zero sizes and moved strip offsets.
void damageImage(const Seed& seed, std::mt19937& random, std::vector<Damaged>& out);

// The variants of a PDF made by the writer (with one or more incremental updates): truncations,
// startxref moved, cross-reference offsets garbled, a /Prev loop, a page-tree cycle, a header
// of a version that does not exist. Every one must be refused for appending, except a file cut after the end of its first
// version, which is that version with a damaged tail.
void damagePdf(const Seed& seed, std::vector<Damaged>& out);

// Little helpers shared with the tests.
void putU16le(std::string& bytes, size_t at, uint32_t value);
void putU32le(std::string& bytes, size_t at, uint32_t value);
void putU16be(std::string& bytes, size_t at, uint32_t value);
void putU32be(std::string& bytes, size_t at, uint32_t value);

} // namespace folvane::test
