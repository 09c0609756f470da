#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ruvello::png {

// libdeflate always ends its output with a block marked final. To let a second stream follow,
// the walk below finds that block, and MakeContinuable turns it into an ordinary one followed by
// an empty stored block (what zlib writes for a sync flush), which ends on a byte boundary.

// Bit positions in a raw deflate stream, counted from bit 0 of its first byte.
struct FinalBlock {
    std::size_t header_bit;  // the BFINAL bit of the last block
    std::size_t end_bit;     // just past the last block's end-of-block code
};

// Decodes the block structure (not the data) of a complete raw deflate stream. Empty when the
// stream is malformed or ends early.
std::optional<FinalBlock> FindFinalBlock(std::span<const std::uint8_t> stream);

// Bytes MakeContinuable may add at the end of the stream.
constexpr std::size_t kContinuationBytes = 5;

// Rewrites the stream that `final_block` was found in, which needs kContinuationBytes of room
// after its end, so that another raw deflate stream can be appended. Returns its new size.
std::size_t MakeContinuable(std::uint8_t* stream, const FinalBlock& final_block);

// Writes `size` bytes as stored blocks, none of them final, so another stream can follow: the
// way out when a stream cannot be walked. Returns the bytes written, StoredBytes(size) at most.
std::size_t StoreContinuable(const std::uint8_t* data, std::size_t size, std::uint8_t* out);
constexpr std::size_t StoredBytes(std::size_t size) {
    return size + 5 * (size / 0xFFFF + 1);
}

}  // namespace ruvello::png
