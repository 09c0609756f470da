#include "png/deflate_runs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace ruvello::png {
namespace {

using Byte = std::uint8_t;

constexpr unsigned kLiteralCodes = 286;  // literals, end of block, lengths
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kMaxBits = 15;
constexpr unsigned kCodeLengthCodes = 19;
constexpr unsigned kMaxCodeLengthBits = 7;
constexpr unsigned kMinRun = 3;
constexpr unsigned kMaxRun = 258;

constexpr Byte kLengthBase[29] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20, 24,
                                  28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 255};
constexpr Byte kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The order in which a block header gives the code lengths of the code-length alphabet.
constexpr Byte kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length code (0 to 28) of each run length minus kMinRun.
constexpr std::array<Byte, kMaxRun - kMinRun + 1> kLengthCode = [] {
    std::array<Byte, kMaxRun - kMinRun + 1> codes{};
    for (unsigned code = 0; code < 29; ++code) {
        for (unsigned n = kLengthBase[code]; n < codes.size(); ++n) {
            codes[n] = static_cast<Byte>(code);
        }
    }
    return codes;
}();

// A prefix code as a block header declares it: a length per symbol, and the codes that follow
// from the lengths, bit-reversed for writing least significant bit first.
template <unsigned kSymbols>
struct Code {
    std::array<Byte, kSymbols> lengths{};
    std::array<std::uint16_t, kSymbols> codes{};

    // The shortest lengths no longer than `max_bits` for these symbol counts (Huffman's, then
    // the longest codes shortened as zlib and miniz do); two symbols at least get a length, so
    // that every decoder takes the code.
    void Build(const std::uint32_t* counts, unsigned max_bits) {
        std::array<std::uint32_t, kSymbols> weight{};
        std::array<std::uint16_t, kSymbols> used{};
        unsigned n = 0;
        for (unsigned s = 0; s < kSymbols; ++s) {
            if (counts[s] > 0) {
                used[n++] = static_cast<std::uint16_t>(s);
            }
        }
        for (unsigned s = 0; n < 2; ++s) {
            if (counts[s] == 0) {
                used[n++] = static_cast<std::uint16_t>(s);
            }
        }
        // Rarest first; the sort by symbol as well keeps the code the same on every machine.
        std::sort(used.begin(), used.begin() + n, [&](std::uint16_t a, std::uint16_t b) {
            return counts[a] != counts[b] ? counts[a] < counts[b] : a < b;
        });
        for (unsigned i = 0; i < n; ++i) {
            weight[i] = std::max(counts[used[i]], 1u);
        }
        const std::array<unsigned, kMaxBits + 1> per_length = Lengths(weight.data(), n, max_bits);
        lengths.fill(0);
        unsigned next = 0;
        for (unsigned bits = max_bits; bits >= 1; --bits) {
            for (unsigned k = 0; k < per_length[bits]; ++k) {
                lengths[used[next++]] = static_cast<Byte>(bits);
            }
        }
        MakeCodes();
    }

    // The canonical codes of RFC 1951, section 3.2.2.
    void MakeCodes() {
        std::array<unsigned, kMaxBits + 2> next{};
        for (const Byte length : lengths) {
            ++next[length + 1u];
        }
        next[1] = 0;
        for (unsigned bits = 2; bits <= kMaxBits + 1; ++bits) {
            next[bits] = (next[bits] + next[bits - 1]) << 1;
        }
        for (unsigned s = 0; s < kSymbols; ++s) {
            if (lengths[s] != 0) {
                unsigned code = next[lengths[s]]++;
                unsigned reversed = 0;
                for (unsigned b = 0; b < lengths[s]; ++b, code >>= 1) {
                    reversed = (reversed << 1) | (code & 1);
                }
                codes[s] = static_cast<std::uint16_t>(reversed);
            }
        }
    }

    // How many codes of each length the `n` weights, rarest first, get: Huffman's tree, whose
    // inner nodes come in the order of their weights, so two queues replace a heap.
    static std::array<unsigned, kMaxBits + 1> Lengths(const std::uint32_t* weight, unsigned n,
                                                      unsigned max_bits) {
        std::array<std::uint64_t, kSymbols> inner{};
        std::array<std::uint16_t, 2 * kSymbols> parent{};  // leaves, then inner nodes
        unsigned leaf = 0;
        unsigned first_inner = 0;
        const auto take = [&](unsigned made) {
            if (leaf < n && (first_inner == made || weight[leaf] <= inner[first_inner])) {
                const unsigned node = leaf++;
                return std::pair<std::uint64_t, unsigned>{weight[node], node};
            }
            const unsigned node = first_inner++;
            return std::pair<std::uint64_t, unsigned>{inner[node], n + node};
        };
        for (unsigned made = 0; made + 1 < n; ++made) {
            const auto [wa, a] = take(made);
            const auto [wb, b] = take(made);
            inner[made] = wa + wb;
            parent[a] = parent[b] = static_cast<std::uint16_t>(n + made);
        }
        // Depths from the root (the last inner node) down: a node's parent comes after it.
        std::array<unsigned, 2 * kSymbols> depth{};
        std::array<unsigned, kMaxBits + 1> per_length{};
        for (unsigned node = 2 * n - 2; node-- > 0;) {
            depth[node] = depth[parent[node]] + 1;
            if (node < n) {
                ++per_length[std::min(depth[node], max_bits)];
            }
        }
        // Codes cut to max_bits overfill the code space; lengthen shorter ones until it fits.
        std::uint64_t space = 0;
        for (unsigned bits = 1; bits <= max_bits; ++bits) {
            space += std::uint64_t{per_length[bits]} << (max_bits - bits);
        }
        for (; space > (std::uint64_t{1} << max_bits); --space) {
            --per_length[max_bits];
            for (unsigned bits = max_bits - 1; bits >= 1; --bits) {
                if (per_length[bits] > 0) {
                    --per_length[bits];
                    per_length[bits + 1] += 2;
                    break;
                }
            }
        }
        return per_length;
    }
};

// Bits least significant first, as RFC 1951 packs them, in a 64-bit buffer written out eight
// bytes at a time whatever it holds: the caller has checked the room, and 8 bytes beyond.
class BitWriter {
  public:
    explicit BitWriter(Byte* out) : out_(out) {}

    // Adds bits to the buffer, which holds 7 bits at most after Commit: 57 more fit.
    void Add(std::uint64_t bits, unsigned count) {
        buffer_ |= bits << count_;
        count_ += count;
    }
    // Writes the whole bytes held.
    void Commit() {
        std::memcpy(out_ + size_, &buffer_, 8);  // little-endian x86 and ARM
        size_ += count_ / 8;
        buffer_ >>= count_ & ~7u;
        count_ &= 7;
    }
    void Put(std::uint64_t bits, unsigned count) {
        Add(bits, count);
        Commit();
    }
    // Pads to the byte with zero bits.
    void Flush() {
        Commit();
        if (count_ > 0) {
            ++size_;
            buffer_ = 0;
            count_ = 0;
        }
    }
    void PutBytes(const Byte* data, std::size_t n) {  // after Flush
        std::memcpy(out_ + size_, data, n);
        size_ += n;
    }
    // Bits written so far.
    std::size_t bits() const { return 8 * size_ + count_; }

  private:
    Byte* out_;
    std::size_t size_ = 0;
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;
};

void PutStored(BitWriter& writer, const Byte* data, std::size_t size) {
    do {
        const std::size_t n = std::min<std::size_t>(size, 0xFFFF);
        writer.Put(0, 3);  // not final, stored
        writer.Flush();
        const Byte header[] = {static_cast<Byte>(n), static_cast<Byte>(n >> 8),
                               static_cast<Byte>(~n), static_cast<Byte>(~n >> 8)};
        writer.PutBytes(header, sizeof header);
        writer.PutBytes(data, n);
        data += n;
        size -= n;
    } while (size > 0);
}

// Bits of a stored form of `size` bytes, from any bit position.
std::size_t StoredBits(std::size_t size) {
    return 8 * (size + 5 * (size / 0xFFFF + 1)) + 8;
}

// The first position from `from` on (1 at least) where a run starts: the byte before it and the
// three from it are equal; `size` when there is none. Eight bytes are compared with the next
// eight at once, and three equal neighbours in a row are looked for in the mask of equal ones.
std::size_t FindRun(const Byte* data, std::size_t size, std::size_t from) {
    std::size_t b = std::max<std::size_t>(from, 1) - 1;  // the byte before a candidate run
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
    for (; b + 9 <= size; b += 6) {
        std::uint64_t here;
        std::uint64_t next;
        std::memcpy(&here, data + b, 8);  // little-endian: byte j of the word is data[b + j]
        std::memcpy(&next, data + b + 1, 8);
        const std::uint64_t differ = here ^ next;
        // 0x80 in each byte j where data[b + j] == data[b + j + 1], exactly.
        const std::uint64_t equal = ~(((differ & kLow7) + kLow7) | differ | kLow7);
        const std::uint64_t three = equal & (equal >> 8) & (equal >> 16);  // bytes 0 to 5
        if (three != 0) {
            return b + static_cast<std::size_t>(std::countr_zero(three)) / 8 + 1;
        }
    }
    for (; b + 4 <= size; ++b) {
        if (data[b] == data[b + 1] && data[b] == data[b + 2] && data[b] == data[b + 3]) {
            return b + 1;
        }
    }
    return size;
}

// One block: its bytes, the runs among them and the codes made for them.
class Block {
  public:
    // `counts` holds how often each symbol occurs, the end of block not yet.
    Block(const Byte* data, std::size_t size, const ByteRun* runs, std::size_t run_count,
          std::array<std::uint32_t, kLiteralCodes>& counts)
        : data_(data), size_(size), runs_(runs), run_count_(run_count) {
        counts[kEndOfBlock] = 1;
        literals_.Build(counts.data(), kMaxBits);
        literal_count_ = 257;
        for (unsigned s = 257; s < kLiteralCodes; ++s) {
            if (literals_.lengths[s] != 0) {
                literal_count_ = s + 1;
            }
        }
        data_bits_ = 0;
        for (unsigned s = 0; s < kLiteralCodes; ++s) {
            data_bits_ += std::uint64_t{counts[s]} * literals_.lengths[s];
            if (s > 256) {
                // A run's extra length bits and its distance code (one bit: two distance codes
                // of one bit, the second unused, as zlib writes them).
                data_bits_ += std::uint64_t{counts[s]} * (kLengthExtraBits[s - 257] + 1u);
            }
        }
        EncodeLengths();
    }

    std::size_t bits() const {
        return 3 + 5 + 5 + 4 + 3 * header_codes_ + header_bits_ + data_bits_;
    }

    void Write(BitWriter& writer) const {
        writer.Put(0b100, 3);  // not final, dynamic codes
        writer.Put(literal_count_ - 257, 5);
        writer.Put(kDistanceCodes - 1, 5);
        writer.Put(header_codes_ - 4, 4);
        for (unsigned i = 0; i < header_codes_; ++i) {
            writer.Put(lengths_code_.lengths[kCodeLengthOrder[i]], 3);
        }
        for (std::size_t i = 0; i < header_count_; ++i) {
            const unsigned s = header_[i] & 0x1F;
            writer.Put(lengths_code_.codes[s], lengths_code_.lengths[s]);
            if (s >= 16) {
                writer.Put(header_[i] >> 5, s == 16 ? 2 : s == 17 ? 3 : 7);
            }
        }
        std::size_t at = 0;
        for (std::size_t r = 0; r <= run_count_; ++r) {
            const std::size_t end = r < run_count_ ? runs_[r].at : size_;
            // Two literals of 15 bits at most fit beside the 7 bits left from a commit.
            for (; at + 2 <= end; at += 2) {
                writer.Add(literals_.codes[data_[at]], literals_.lengths[data_[at]]);
                writer.Add(literals_.codes[data_[at + 1]], literals_.lengths[data_[at + 1]]);
                writer.Commit();
            }
            if (at < end) {
                writer.Put(literals_.codes[data_[at]], literals_.lengths[data_[at]]);
                ++at;
            }
            if (r < run_count_) {
                // The length's code and extra bits, then distance 1: a zero bit.
                const unsigned run = runs_[r].length - kMinRun;
                const unsigned code = kLengthCode[run];
                const unsigned bits = literals_.lengths[257 + code];
                writer.Put(literals_.codes[257 + code] | (run - kLengthBase[code]) << bits,
                           bits + kLengthExtraBits[code] + 1);
                at += runs_[r].length;
            }
        }
        writer.Put(literals_.codes[kEndOfBlock], literals_.lengths[kEndOfBlock]);
    }

  private:
    static constexpr unsigned kDistanceCodes = 2;

    // The code lengths as the header sends them: runs of a length as symbols 16 to 18 with
    // their repeat counts (kept above bit 5 of each entry), coded with a code of their own.
    void EncodeLengths() {
        std::array<Byte, kLiteralCodes + kDistanceCodes> all{};
        std::copy_n(literals_.lengths.begin(), literal_count_, all.begin());
        all[literal_count_] = all[literal_count_ + 1] = 1;  // the two distance codes
        const std::size_t total = literal_count_ + kDistanceCodes;
        header_count_ = 0;
        for (std::size_t i = 0; i < total;) {
            const Byte length = all[i];
            std::size_t run = 1;
            while (i + run < total && all[i + run] == length) {
                ++run;
            }
            i += run;
            if (length == 0) {
                for (; run >= 11; run -= std::min<std::size_t>(run, 138)) {
                    Add(18, std::min<std::size_t>(run, 138) - 11);
                }
                if (run >= 3) {
                    Add(17, run - 3);
                    run = 0;
                }
            } else {
                Add(length, 0);
                --run;
                for (; run >= 3; run -= std::min<std::size_t>(run, 6)) {
                    Add(16, std::min<std::size_t>(run, 6) - 3);
                }
            }
            for (; run > 0; --run) {
                Add(length, 0);
            }
        }
        std::array<std::uint32_t, kCodeLengthCodes> counts{};
        for (std::size_t i = 0; i < header_count_; ++i) {
            ++counts[header_[i] & 0x1F];
        }
        lengths_code_.Build(counts.data(), kMaxCodeLengthBits);
        header_bits_ = 0;
        for (std::size_t i = 0; i < header_count_; ++i) {
            const unsigned s = header_[i] & 0x1F;
            header_bits_ += lengths_code_.lengths[s] + (s == 16   ? 2u
                                                        : s == 17 ? 3u
                                                        : s == 18 ? 7u
                                                                  : 0u);
        }
        header_codes_ = kCodeLengthCodes;
        while (header_codes_ > 4 &&
               lengths_code_.lengths[kCodeLengthOrder[header_codes_ - 1]] == 0) {
            --header_codes_;
        }
    }

    void Add(unsigned symbol, std::size_t repeat) {
        header_[header_count_++] = static_cast<std::uint16_t>(symbol | repeat << 5);
    }

    const Byte* data_;
    std::size_t size_;
    const ByteRun* runs_;
    std::size_t run_count_;
    Code<kLiteralCodes> literals_;
    unsigned literal_count_ = 257;
    std::size_t data_bits_ = 0;
    Code<kCodeLengthCodes> lengths_code_;
    std::array<std::uint16_t, kLiteralCodes + 2> header_{};
    std::size_t header_count_ = 0;
    std::size_t header_bits_ = 0;
    unsigned header_codes_ = kCodeLengthCodes;
};

// Adds the counts of `n` bytes to `counts`, in four tables, so that equal bytes in a row do not
// wait on each other's counts.
void CountBytes(const Byte* data, std::size_t n, std::uint32_t counts[4][256]) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++counts[0][data[i]];
        ++counts[1][data[i + 1]];
        ++counts[2][data[i + 2]];
        ++counts[3][data[i + 3]];
    }
    for (; i < n; ++i) {
        ++counts[0][data[i]];
    }
}

}  // namespace

std::size_t RunDeflater::Compress(const Byte* data, std::size_t size, Byte* out,
                                  std::size_t capacity) {
    BitWriter writer(out);
    std::size_t at = 0;
    std::size_t next_run = FindRun(data, size, 0);
    while (at < size) {
        const std::size_t start = at;
        std::size_t symbols = 0;
        runs_.clear();  // keeps its room: photos need little, flat colour more
        std::array<std::uint32_t, kLiteralCodes> counts{};
        std::uint32_t bytes[4][256] = {};
        while (at < size && symbols < kRunBlockSymbols) {
            const std::size_t literals = std::min(next_run, at + kRunBlockSymbols - symbols) - at;
            CountBytes(data + at, literals, bytes);
            symbols += literals;
            at += literals;
            if (at == next_run && at < size && symbols < kRunBlockSymbols) {
                const std::size_t limit = std::min<std::size_t>(kMaxRun, size - at);
                std::size_t length = kMinRun;
                while (length < limit && data[at + length] == data[at - 1]) {
                    ++length;
                }
                runs_.push_back(
                    {static_cast<std::uint32_t>(at - start), static_cast<std::uint32_t>(length)});
                ++counts[257 + kLengthCode[length - kMinRun]];
                ++symbols;
                at += length;
                next_run = FindRun(data, size, at);
            }
        }
        for (unsigned b = 0; b < 256; ++b) {
            counts[b] = bytes[0][b] + bytes[1][b] + bytes[2][b] + bytes[3][b];
        }
        const Block block(data + start, at - start, runs_.data(), runs_.size(), counts);
        const std::size_t stored = StoredBits(at - start);
        if ((writer.bits() + std::min(block.bits(), stored) + 7) / 8 + 8 > capacity) {
            return 0;
        }
        if (block.bits() < stored) {
            block.Write(writer);
        } else {
            PutStored(writer, data + start, at - start);
        }
    }
    // The sync flush: an empty stored block.
    if ((writer.bits() + 7) / 8 + 13 > capacity) {
        return 0;
    }
    writer.Put(0, 3);
    writer.Flush();
    const Byte empty[] = {0x00, 0x00, 0xFF, 0xFF};
    writer.PutBytes(empty, sizeof empty);
    return writer.bits() / 8;
}

}  // namespace ruvello::png
