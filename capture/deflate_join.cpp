#include "capture/deflate_join.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ruvello::png {
namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kFastBits = 10;

// Reads the stream's bits, least significant first, as RFC 1951 packs them. Reads past the end
// give zeros; the caller checks the position at the end.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // At least 56 of the next bits.
    std::uint64_t Peek() const {
        const std::size_t byte = position_ / 8;
        std::uint64_t word = 0;
        if (byte + 8 <= bytes_.size()) {
            std::memcpy(&word, bytes_.data() + byte, 8);  // little-endian x86 and ARM
        } else {
            for (std::size_t i = byte; i < bytes_.size(); ++i) {
                word |= std::uint64_t{bytes_[i]} << (8 * (i - byte));
            }
        }
        return word >> (position_ % 8);
    }
    void Skip(std::size_t bits) { position_ += bits; }
    std::uint32_t Take(int bits) {
        const auto value = static_cast<std::uint32_t>(Peek() & ((std::uint64_t{1} << bits) - 1));
        Skip(static_cast<std::size_t>(bits));
        return value;
    }
    void AlignToByte() { position_ = (position_ + 7) / 8 * 8; }
    std::size_t position() const { return position_; }
    bool Overran() const { return position_ > 8 * bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// A canonical Huffman code: a table for codes up to kFastBits long, and a walk by code length for
// the longer ones (as zlib's puff does it).
class HuffmanCode {
  public:
    // False for lengths that give no valid prefix code.
    bool Build(const std::uint8_t* lengths, int symbols) {
        count_.fill(0);
        for (int s = 0; s < symbols; ++s) {
            ++count_[lengths[s]];
        }
        count_[0] = 0;
        int left = 1;
        for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
            left = 2 * left - count_[bits];
            if (left < 0) {
                return false;  // over-subscribed
            }
        }
        std::array<std::uint16_t, kMaxCodeBits + 2> offset{};
        std::array<std::uint16_t, kMaxCodeBits + 1> next_code{};
        for (int bits = 1, code = 0; bits <= kMaxCodeBits; ++bits) {
            offset[bits + 1] = static_cast<std::uint16_t>(offset[bits] + count_[bits]);
            code = (code + count_[bits - 1]) << 1;
            next_code[bits] = static_cast<std::uint16_t>(code);
        }
        fast_.fill(0);
        for (int s = 0; s < symbols; ++s) {
            const int bits = lengths[s];
            if (bits == 0) {
                continue;
            }
            sorted_[offset[bits]++] = static_cast<std::uint16_t>(s);
            const int code = next_code[bits]++;
            if (bits <= kFastBits) {
                int reversed = 0;  // the stream holds codes most significant bit first
                for (int i = 0; i < bits; ++i) {
                    reversed |= ((code >> i) & 1) << (bits - 1 - i);
                }
                for (int i = reversed; i < (1 << kFastBits); i += 1 << bits) {
                    fast_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(s << 4 | bits);
                }
            }
        }
        return true;
    }

    // The symbol at the reader's position, or -1 for a code that is not in the table.
    int Decode(BitReader& in) const {
        const std::uint64_t bits = in.Peek();
        const std::uint16_t entry = fast_[bits & ((1 << kFastBits) - 1)];
        if (entry != 0) {
            in.Skip(entry & 15);
            return entry >> 4;
        }
        int code = 0;
        int first = 0;
        int index = 0;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            code |= static_cast<int>((bits >> (length - 1)) & 1);
            if (code - first < count_[length]) {
                in.Skip(static_cast<std::size_t>(length));
                return sorted_[static_cast<std::size_t>(index + code - first)];
            }
            index += count_[length];
            first = (first + count_[length]) << 1;
            code <<= 1;
        }
        return -1;
    }

  private:
    std::array<std::uint16_t, 1 << kFastBits> fast_{};  // symbol << 4 | length, 0 for longer
    std::array<std::uint16_t, kMaxCodeBits + 1> count_{};
    std::array<std::uint16_t, 288> sorted_{};  // symbols by code length, then value
};

constexpr std::uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kDistanceExtraBits[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Skips the codes of one compressed block, up to and including its end-of-block code.
bool SkipCodes(BitReader& in, const HuffmanCode& literals, const HuffmanCode& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0 || in.Overran()) {
            return false;
        }
        if (symbol < 256) {
            continue;
        }
        if (symbol == 256) {
            return true;
        }
        if (symbol > 285) {
            return false;
        }
        in.Skip(kLengthExtraBits[symbol - 257]);
        const int distance = distances.Decode(in);
        if (distance < 0 || distance > 29) {
            return false;
        }
        in.Skip(kDistanceExtraBits[distance]);
    }
}

bool ReadDynamicCodes(BitReader& in, HuffmanCode& literals, HuffmanCode& distances) {
    const int literal_count = static_cast<int>(in.Take(5)) + 257;
    const int distance_count = static_cast<int>(in.Take(5)) + 1;
    const int length_code_count = static_cast<int>(in.Take(4)) + 4;
    constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::uint8_t lengths[288 + 32] = {};
    for (int i = 0; i < length_code_count; ++i) {
        lengths[kOrder[i]] = static_cast<std::uint8_t>(in.Take(3));
    }
    HuffmanCode length_code;
    if (!length_code.Build(lengths, 19)) {
        return false;
    }
    const int total = literal_count + distance_count;
    for (int i = 0; i < total;) {
        const int symbol = length_code.Decode(in);
        if (symbol < 0 || in.Overran()) {
            return false;
        }
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (i == 0) {
                return false;
            }
            repeated = lengths[i - 1];
            times = 3 + static_cast<int>(in.Take(2));
        } else {
            times =
                symbol == 17 ? 3 + static_cast<int>(in.Take(3)) : 11 + static_cast<int>(in.Take(7));
        }
        if (i + times > total) {
            return false;
        }
        while (times-- > 0) {
            lengths[i++] = repeated;
        }
    }
    return literals.Build(lengths, literal_count) &&
           distances.Build(lengths + literal_count, distance_count);
}

void BuildFixedCodes(HuffmanCode& literals, HuffmanCode& distances) {
    std::uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    literals.Build(lengths, 288);
    std::memset(lengths, 5, 30);
    distances.Build(lengths, 30);
}

}  // namespace

std::optional<FinalBlock> FindFinalBlock(std::span<const std::uint8_t> stream) {
    BitReader in(stream);
    HuffmanCode literals;
    HuffmanCode distances;
    for (;;) {
        const std::size_t header = in.position();
        const bool final_block = in.Take(1) != 0;
        const std::uint32_t type = in.Take(2);
        if (type == 0) {
            in.AlignToByte();
            const std::uint32_t length = in.Take(16);
            if (in.Take(16) != (~length & 0xFFFF)) {
                return std::nullopt;
            }
            in.Skip(8 * std::size_t{length});
        } else if (type == 1) {
            BuildFixedCodes(literals, distances);
            if (!SkipCodes(in, literals, distances)) {
                return std::nullopt;
            }
        } else if (type != 2 || !ReadDynamicCodes(in, literals, distances) ||
                   !SkipCodes(in, literals, distances)) {
            return std::nullopt;
        }
        if (in.Overran()) {
            return std::nullopt;
        }
        if (final_block) {
            return FinalBlock{header, in.position()};
        }
    }
}

std::size_t StoreContinuable(const std::uint8_t* data, std::size_t size, std::uint8_t* out) {
    std::uint8_t* at = out;
    do {
        const std::size_t n = std::min<std::size_t>(size, 0xFFFF);
        const std::uint8_t header[] = {
            0x00,  // not final, stored, padded to the byte
            static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)};
        std::memcpy(at, header, sizeof header);
        std::memcpy(at + sizeof header, data, n);
        at += sizeof header + n;
        data += n;
        size -= n;
    } while (size > 0);
    return static_cast<std::size_t>(at - out);
}

std::size_t MakeContinuable(std::uint8_t* stream, const FinalBlock& final_block) {
    stream[final_block.header_bit / 8] &=
        static_cast<std::uint8_t>(~(1u << (final_block.header_bit % 8)));
    std::size_t size = (final_block.end_bit + 7) / 8;
    const std::size_t used_bits = final_block.end_bit % 8;
    if (used_bits != 0) {
        stream[size - 1] &= static_cast<std::uint8_t>((1u << used_bits) - 1);
    }
    // The empty stored block: three zero header bits, zeros to the byte boundary, LEN 0, NLEN
    // 0xFFFF. The header bits fit into the last byte when at least three of its bits are free.
    if (used_bits == 0 || used_bits > 5) {
        stream[size++] = 0;
    }
    const std::uint8_t lengths[] = {0x00, 0x00, 0xFF, 0xFF};
    std::memcpy(stream + size, lengths, sizeof lengths);
    return size + sizeof lengths;
}

}  // namespace ruvello::png
