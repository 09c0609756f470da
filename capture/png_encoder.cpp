#include "capture/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <new>
#include <span>
#include <system_error>
#include <thread>

#include <time.h>

#include "capture/png_filters.h"

namespace ruvello {
namespace {

using Byte = std::uint8_t;

// Below this many filtered bytes starting a thread costs more than it saves.
constexpr std::size_t kMinParallelBytes = 256 * 1024;
// zlib takes its rows in batches of about this size, so that they stay in the cache.
constexpr std::size_t kBatchBytes = 128 * 1024;
// PNG caps a chunk at 2^31 - 1 bytes; the stream goes into IDAT chunks of this size.
constexpr std::size_t kIdatBytes = std::size_t{1} << 20;

// Working memory that is always written before it is read, so it is never zero-filled.
class Scratch {
  public:
    void Reserve(std::size_t n) {
        if (n > size_) {
            data_.reset();  // the old block goes first, to keep the peak low
            data_ = std::make_unique_for_overwrite<Byte[]>(n);
            size_ = n;
        }
    }
    Byte* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

  private:
    std::unique_ptr<Byte[]> data_;
    std::size_t size_ = 0;
};

// A compressed part of the zlib stream, the Adler-32 of its uncompressed bytes and the CPU time
// its thread spent on it.
struct Part {
    std::span<const Byte> deflate;
    std::uint32_t adler = 1;
    double seconds = 0;
};

// CPU time of the calling thread: unlike the wall clock it leaves out the time other programs
// took the core away, so it measures the work itself.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Runs deflate over `n` bytes, in pieces that zlib's 32-bit counters can hold; `out` has room for
// all of its output.
void Deflate(z_stream& z, const Byte* in, std::size_t n, Byte* out, std::size_t capacity,
             int flush) {
    do {
        const std::size_t piece = std::min<std::size_t>(n, UINT_MAX);
        z.next_in = const_cast<Byte*>(in);  // zlib's interface predates const
        z.avail_in = static_cast<uInt>(piece);
        in += piece;
        n -= piece;
        do {
            z.next_out = out + z.total_out;
            z.avail_out =
                static_cast<uInt>(std::min<std::size_t>(capacity - z.total_out, UINT_MAX));
            deflate(&z, n == 0 ? flush : Z_NO_FLUSH);
        } while (z.avail_out == 0);
    } while (n > 0);
}

std::array<Byte, 4> BigEndian(std::uint32_t v) {
    return {static_cast<Byte>(v >> 24), static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 8),
            static_cast<Byte>(v)};
}

void AppendU32(std::vector<Byte>& png, std::uint32_t v) {
    const auto bytes = BigEndian(v);
    png.insert(png.end(), bytes.begin(), bytes.end());
}

// Appends the chunks of `type` whose data are `pieces` joined, at most `max_data` bytes each.
void AppendChunks(std::vector<Byte>& png, const char* type,
                  std::initializer_list<std::span<const Byte>> pieces,
                  std::size_t max_data = kIdatBytes) {
    std::size_t left = 0;
    for (const auto& piece : pieces) {
        left += piece.size();
    }
    auto piece = pieces.begin();
    std::size_t offset = 0;
    do {
        std::size_t n = std::min(left, max_data);
        left -= n;
        AppendU32(png, static_cast<std::uint32_t>(n));
        const std::size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        while (n > 0) {
            const std::size_t take = std::min(n, piece->size() - offset);
            png.insert(png.end(), piece->data() + offset, piece->data() + offset + take);
            n -= take;
            offset += take;
            if (offset == piece->size()) {
                ++piece;
                offset = 0;
            }
        }
        AppendU32(png, static_cast<std::uint32_t>(
                           libdeflate_crc32(0, png.data() + start, png.size() - start)));
    } while (left > 0);
}

}  // namespace

struct PngEncoder::State {
    explicit State(const PngEncoderOptions& o);
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    std::int32_t TopRows(const PixelRows& image) const;
    void Rebalance(const Part& top, const Part& bottom, double top_share);
    void Reserve(const PixelRows& image, std::int32_t top_rows);
    Part CompressTop(const PixelRows& image, std::int32_t rows);
    Part CompressBottom(const PixelRows& image, std::int32_t first);

    PngEncoderOptions options;
    double share;  // of the rows that zlib gets
    z_stream zlib{};
    libdeflate_compressor* libdeflate = nullptr;
    png::RowFilter top_filter;
    png::RowFilter bottom_filter;
    std::int32_t batch_rows = 1;
    Scratch batch;
    Scratch top_stream;
    Scratch bottom_rows;
    Scratch bottom_stream;
};

PngEncoder::State::State(const PngEncoderOptions& o) : options(o), share(o.zlib_share) {
    options.zlib_level = std::clamp(options.zlib_level, 1, 9);
    options.libdeflate_level = std::clamp(options.libdeflate_level, 0, 12);
    // Raw deflate: the zlib header and the Adler-32 are written here, around both parts.
    // Z_FILTERED suits PNG rows and is what libpng uses for them.
    if (deflateInit2(&zlib, options.zlib_level, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) {
        throw std::bad_alloc();
    }
    libdeflate = libdeflate_alloc_compressor(options.libdeflate_level);
    if (libdeflate == nullptr) {
        deflateEnd(&zlib);
        throw std::bad_alloc();
    }
}

PngEncoder::State::~State() {
    libdeflate_free_compressor(libdeflate);
    deflateEnd(&zlib);
}

std::int32_t PngEncoder::State::TopRows(const PixelRows& image) const {
    const std::size_t bytes = png::FilteredRowBytes(image.width) * std::size_t(image.height);
    if (share <= 0 || bytes < kMinParallelBytes) {
        return 0;
    }
    const double rows = std::round(share * image.height);
    return static_cast<std::int32_t>(std::clamp(rows, 0.0, image.height - 1.0));
}

// Moves the split toward the share at which both parts would have taken equally long, were each
// part's time proportional to its rows; only half-way, so that one odd shot cannot swing it.
void PngEncoder::State::Rebalance(const Part& top, const Part& bottom, double top_share) {
    const double zlib_frame = top.seconds / top_share;
    const double libdeflate_frame = bottom.seconds / (1 - top_share);
    if (zlib_frame > 0 && libdeflate_frame > 0) {
        const double even = libdeflate_frame / (zlib_frame + libdeflate_frame);
        share = std::clamp(0.5 * (share + even), 0.05, 0.95);
    }
}

// Sizes every buffer for `image`, so that the two parts, which run at the same time, cannot fail.
void PngEncoder::State::Reserve(const PixelRows& image, std::int32_t top_rows) {
    const std::size_t row_bytes = png::FilteredRowBytes(image.width);
    const std::size_t bottom_bytes = row_bytes * std::size_t(image.height - top_rows);
    top_filter.Reserve(image.width);
    bottom_filter.Reserve(image.width);
    if (top_rows > 0) {
        batch_rows = static_cast<std::int32_t>(
            std::clamp<std::size_t>(kBatchBytes / row_bytes, 1, std::size_t(top_rows)));
        batch.Reserve(std::size_t(batch_rows) * row_bytes);
        // deflateBound leaves out flushes; a sync flush adds at most an empty stored block.
        top_stream.Reserve(deflateBound(&zlib, row_bytes * std::size_t(top_rows)) + 16);
    }
    bottom_rows.Reserve(bottom_bytes);
    bottom_stream.Reserve(libdeflate_deflate_compress_bound(libdeflate, bottom_bytes));
}

// The top rows: filtered a batch at a time, deflated by zlib and ended with a sync flush, which
// closes the last block without marking it final and pads to a whole byte, so that the bottom
// part's blocks can follow.
Part PngEncoder::State::CompressTop(const PixelRows& image, std::int32_t rows) {
    const std::size_t row_bytes = png::FilteredRowBytes(image.width);
    const double start = ThreadSeconds();
    deflateReset(&zlib);
    std::uint32_t adler = 1;
    for (std::int32_t y = 0; y < rows; y += batch_rows) {
        const std::int32_t n = std::min(batch_rows, rows - y);
        const std::size_t bytes = std::size_t(n) * row_bytes;
        top_filter.FilterRows(image, y, n, options.filter, batch.data());
        adler = libdeflate_adler32(adler, batch.data(), bytes);
        Deflate(zlib, batch.data(), bytes, top_stream.data(), top_stream.size(),
                y + n == rows ? Z_SYNC_FLUSH : Z_NO_FLUSH);
    }
    return {{top_stream.data(), zlib.total_out}, adler, ThreadSeconds() - start};
}

// The bottom rows: filtered whole, as libdeflate compresses one buffer at a time, into blocks
// that end with the final one.
Part PngEncoder::State::CompressBottom(const PixelRows& image, std::int32_t first) {
    const double start = ThreadSeconds();
    const std::int32_t rows = image.height - first;
    const std::size_t bytes = png::FilteredRowBytes(image.width) * std::size_t(rows);
    bottom_filter.FilterRows(image, first, rows, options.filter, bottom_rows.data());
    const std::size_t size = libdeflate_deflate_compress(
        libdeflate, bottom_rows.data(), bytes, bottom_stream.data(), bottom_stream.size());
    const std::uint32_t adler = libdeflate_adler32(1, bottom_rows.data(), bytes);
    return {{bottom_stream.data(), size}, adler, ThreadSeconds() - start};
}

PngEncoder::PngEncoder(const PngEncoderOptions& options)
    : state_(std::make_unique<State>(options)) {}

PngEncoder::~PngEncoder() = default;

void PngEncoder::Encode(const PixelRows& image, std::vector<std::uint8_t>& png) {
    State& s = *state_;
    const std::int32_t top_rows = s.TopRows(image);
    s.Reserve(image, top_rows);
    Part top;
    Part bottom;
    {
        std::jthread worker;
        if (top_rows > 0) {
            auto compress_top = [&] { top = s.CompressTop(image, top_rows); };
            try {
                worker = std::jthread(compress_top);
            } catch (const std::system_error&) {
                compress_top();  // no thread to be had: the same work, one after the other
            }
        }
        bottom = s.CompressBottom(image, top_rows);
    }
    if (top_rows > 0 && s.options.balance) {
        s.Rebalance(top, bottom, static_cast<double>(top_rows) / image.height);
    }
    const std::size_t bottom_bytes =
        png::FilteredRowBytes(image.width) * std::size_t(image.height - top_rows);

    const auto adler = static_cast<std::uint32_t>(
        adler32_combine(top.adler, bottom.adler, static_cast<z_off_t>(bottom_bytes)));
    const Byte zlib_header[] = {0x78, 0x9C};  // deflate, 32 KiB window, no dictionary
    const auto adler_bytes = BigEndian(adler);
    const auto width = BigEndian(static_cast<std::uint32_t>(image.width));
    const auto height = BigEndian(static_cast<std::uint32_t>(image.height));
    const Byte format[] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, progressive
    const std::size_t stream = 6 + top.deflate.size() + bottom.deflate.size();

    const Byte signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(std::begin(signature), std::end(signature));
    png.reserve(8 + 25 + stream + 12 * (stream / kIdatBytes + 1) + 12);
    AppendChunks(png, "IHDR", {width, height, format});
    AppendChunks(png, "IDAT", {zlib_header, top.deflate, bottom.deflate, adler_bytes});
    AppendChunks(png, "IEND", {});
}

double PngEncoder::zlib_share() const {
    return state_->share;
}

std::vector<std::uint8_t> EncodePng(const PixelRows& image) {
    std::vector<std::uint8_t> png;
    PngEncoder().Encode(image, png);
    return png;
}

}  // namespace ruvello
