#include "png/deflate_join.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ruvello::png {
namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kTableBits = 10;

// The stream's bits, least significant first as RFC 1951 packs them, in a 64-bit buffer that is
// refilled a word at a time. Past the end it reads zeros; Overran() tells.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // Makes at least 56 bits available. The bits above count_ may already hold the next bytes,
    // loaded by the previous refill; loading them again leaves them as they are.
    void Refill() {
        if (next_ + 8 <= bytes_.size()) {
            std::uint64_t word;
            std::memcpy(&word, bytes_.data() + next_, 8);  // little-endian x86 and ARM
            buffer_ |= word << count_;
            next_ += (63 - count_) / 8;
            count_ |= 56;
        } else {
            for (; count_ <= 56; count_ += 8, ++next_) {
                if (next_ < bytes_.size()) {
                    buffer_ |= std::uint64_t{bytes_[next_]} << count_;
                }
            }
        }
    }
    std::uint64_t bits() const { return buffer_; }
    void Drop(unsigned n) {
        buffer_ >>= n;
        count_ -= n;
    }
    std::uint32_t Take(unsigned n) {  // n <= 32
        Refill();
        const auto value = static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1));
        Drop(n);
        return value;
    }
    void AlignToByte() { Drop(count_ % 8); }
    void SkipBytes(std::size_t n) {  // from a byte boundary
        next_ = position() / 8 + n;
        buffer_ = 0;
        count_ = 0;
    }
    std::size_t position() const { return 8 * next_ - count_; }
    bool Overran() const { return position() > 8 * bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;  // the next byte to load
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;  // bits in buffer_ not yet dropped
};

constexpr std::uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kDistanceExtraBits[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A canonical Huffman code, looked up as entries: symbol << 5 | the bits that the symbol takes,
// its code and the extra bits after it. A table serves codes up to kTableBits long; longer ones
// are found by a walk over the code lengths, as zlib's puff does it.
class HuffmanCode {
  public:
    // `extra` holds the extra bits of the symbols from `first_extra` on. False for lengths that
    // give no prefix code.
    bool Build(const std::uint8_t* lengths, unsigned symbols,
               std::span<const std::uint8_t> extra = {}, unsigned first_extra = 0) {
        extra_ = extra;
        first_extra_ = first_extra;
        count_.fill(0);
        for (unsigned s = 0; s < symbols; ++s) {
            ++count_[lengths[s]];
        }
        count_[0] = 0;
        int left = 1;
        for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
            left = 2 * left - count_[bits];
            if (left < 0) {
                return false;  // over-subscribed
            }
        }
        std::array<std::uint16_t, kMaxCodeBits + 2> offset{};
        std::array<unsigned, kMaxCodeBits + 1> next_code{};
        for (unsigned bits = 1, code = 0; bits <= kMaxCodeBits; ++bits) {
            offset[bits + 1] = static_cast<std::uint16_t>(offset[bits] + count_[bits]);
            code = (code + count_[bits - 1]) << 1;
            next_code[bits] = code;
        }
        table_.fill(0);
        for (unsigned s = 0; s < symbols; ++s) {
            const unsigned bits = lengths[s];
            if (bits == 0) {
                continue;
            }
            sorted_[offset[bits]++] = static_cast<std::uint16_t>(s);
            const unsigned code = next_code[bits]++;
            if (bits <= kTableBits) {
                unsigned reversed = 0;  // codes are packed starting from their most significant bit
                for (unsigned i = 0; i < bits; ++i) {
                    reversed |= ((code >> i) & 1) << (bits - 1 - i);
                }
                for (unsigned i = reversed; i < (1u << kTableBits); i += 1u << bits) {
                    table_[i] = Entry(s, bits);
                }
            }
        }
        return true;
    }

    // The entry for the code at the start of `bits`, 0 when there is none.
    std::uint32_t Lookup(std::uint64_t bits) const {
        const std::uint32_t entry = table_[bits & ((1u << kTableBits) - 1)];
        return entry != 0 ? entry : LookupLong(bits);
    }

  private:
    std::uint32_t Entry(unsigned symbol, unsigned code_bits) const {
        const unsigned index = symbol - first_extra_;  // wraps below first_extra_: no extra bits
        const unsigned extra = index < extra_.size() ? extra_[index] : 0;
        return symbol << 5 | (code_bits + extra);
    }

    std::uint32_t LookupLong(std::uint64_t bits) const {
        unsigned code = 0;
        unsigned first = 0;
        unsigned index = 0;
        for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
            code |= static_cast<unsigned>(bits >> (length - 1)) & 1;
            if (code - first < count_[length]) {  // code >= first here: canonical codes
                return Entry(sorted_[index + code - first], length);
            }
            index += count_[length];
            first = (first + count_[length]) << 1;
            code <<= 1;
        }
        return 0;
    }

    std::array<std::uint32_t, 1 << kTableBits> table_{};
    std::array<std::uint16_t, kMaxCodeBits + 1> count_{};
    std::array<std::uint16_t, 288> sorted_{};  // symbols by code length, then value
    std::span<const std::uint8_t> extra_;
    unsigned first_extra_ = 0;
};

// Skips the codes of one compressed block, up to and including its end-of-block code. Each round
// takes at most 48 bits: a length code with its extra bits and a distance code with its own. A
// round looks up a distance code after literals too and drops it only after lengths: choosing
// without a branch is faster than the branch, which is a coin toss on screen data.
bool SkipCodes(BitReader& reader, const HuffmanCode& literals, const HuffmanCode& distances) {
    BitReader in = reader;  // a local copy stays in registers
    for (;;) {
        in.Refill();
        const std::uint32_t literal = literals.Lookup(in.bits());
        const std::uint32_t symbol = literal >> 5;
        in.Drop(literal & 31);
        const std::uint32_t distance = distances.Lookup(in.bits());
        const bool length = symbol > 256;
        in.Drop(length ? distance & 31 : 0);
        const bool bad = (literal == 0) | (symbol > 285) |
                         (length & ((distance == 0) | (distance >> 5 > 29))) | in.Overran();
        if (bad | (symbol == 256)) {
            reader = in;
            return !bad;
        }
    }
}

bool ReadDynamicCodes(BitReader& in, HuffmanCode& literals, HuffmanCode& distances) {
    const unsigned literal_count = in.Take(5) + 257;
    const unsigned distance_count = in.Take(5) + 1;
    const unsigned length_code_count = in.Take(4) + 4;
    constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::uint8_t lengths[288 + 32] = {};
    for (unsigned i = 0; i < length_code_count; ++i) {
        lengths[kOrder[i]] = static_cast<std::uint8_t>(in.Take(3));
    }
    HuffmanCode length_code;
    if (!length_code.Build(lengths, 19)) {
        return false;
    }
    const unsigned total = literal_count + distance_count;
    for (unsigned i = 0; i < total;) {
        in.Refill();
        const std::uint32_t entry = length_code.Lookup(in.bits());
        if (entry == 0 || in.Overran()) {
            return false;
        }
        in.Drop(entry & 31);
        const std::uint32_t symbol = entry >> 5;
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        if (symbol == 16 && i == 0) {
            return false;
        }
        const std::uint8_t repeated = symbol == 16 ? lengths[i - 1] : 0;
        const unsigned times = symbol == 16   ? 3 + in.Take(2)
                               : symbol == 17 ? 3 + in.Take(3)
                                              : 11 + in.Take(7);
        if (i + times > total) {
            return false;
        }
        std::fill_n(lengths + i, times, repeated);
        i += times;
    }
    return literals.Build(lengths, literal_count, kLengthExtraBits, 257) &&
           distances.Build(lengths + literal_count, distance_count, kDistanceExtraBits);
}

void BuildFixedCodes(HuffmanCode& literals, HuffmanCode& distances) {
    std::uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    literals.Build(lengths, 288, kLengthExtraBits, 257);
    std::memset(lengths, 5, 30);
    distances.Build(lengths, 30, kDistanceExtraBits);
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
            in.SkipBytes(length);
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
        if (n > 0) {  // an empty input may come without a buffer
            std::memcpy(at + sizeof header, data, n);
        }
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
