#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ruvello::png {

// A run within a block: bytes [at, at + length) from the block's first byte repeat the byte
// before them.
struct ByteRun {
    std::uint32_t at;
    std::uint32_t length;
};

// Deflate for filtered photographic rows, where string matches seldom pay for themselves: every
// byte is a literal, except that a byte repeated three times or more becomes a match one byte
// back (what zlib's run-length strategy writes). Each block of up to kRunBlockSymbols symbols
// gets Huffman codes of its own. Several times faster than zlib on such rows and as small.
class RunDeflater {
  public:
    // Compresses `size` bytes into a raw deflate stream whose blocks are none of them final and
    // which ends on an empty stored block (a sync flush), so that another stream can follow.
    // Returns its size, or 0 when `capacity` does not suffice; Bound(size) always does. Throws
    // std::bad_alloc only.
    std::size_t Compress(const std::uint8_t* data, std::size_t size, std::uint8_t* out,
                         std::size_t capacity);

    static constexpr std::size_t Bound(std::size_t size) { return size + size / 4096 + 64; }

  private:
    std::vector<ByteRun> runs_;  // of the current block
};

// Symbols per block: larger blocks share one code table among more rows, smaller ones follow
// changes in the picture more closely.
constexpr std::size_t kRunBlockSymbols = std::size_t{1} << 16;

}  // namespace ruvello::png
