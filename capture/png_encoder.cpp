#include "capture/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "capture/deflate_join.h"
#include "capture/png_filters.h"

namespace ruvello {
namespace {

using Byte = std::uint8_t;

// The image is cut into pieces of rows that the threads take one after the other: a dozen, so
// that the threads finish close together even when the screen is much harder to compress in
// some places than in others; but no piece under 256 KiB, where starting without the previous
// piece's window would cost size, nor over 2 MiB. The pieces depend on the image alone, so that
// the file does too.
constexpr std::size_t kBalancingPieces = 12;
constexpr std::size_t kMinPieceBytes = 256 * 1024;
constexpr std::size_t kMaxPieceBytes = 2 * 1024 * 1024;
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

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// What one thread works with.
struct Worker {
    png::RowFilter filter;
    Scratch rows;  // the filtered rows of its current piece
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
};

// A run of rows, compressed on its own into a raw deflate stream that, but for the last piece,
// lets the next piece's stream follow.
struct Piece {
    std::int32_t first_row = 0;
    std::int32_t rows = 0;
    Scratch deflate;
    std::size_t size = 0;
    std::uint32_t adler = 1;  // of its filtered rows
};

std::array<Byte, 4> BigEndian(std::uint32_t v) {
    return {static_cast<Byte>(v >> 24), static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 8),
            static_cast<Byte>(v)};
}

void AppendU32(std::vector<Byte>& png, std::uint32_t v) {
    const auto bytes = BigEndian(v);
    png.insert(png.end(), bytes.begin(), bytes.end());
}

// Appends chunks of `type` whose data are `parts` joined, at most kIdatBytes each.
void AppendChunks(std::vector<Byte>& png, const char* type,
                  std::span<const std::span<const Byte>> parts) {
    std::size_t left = 0;
    for (const auto& part : parts) {
        left += part.size();
    }
    auto part = parts.begin();
    std::size_t offset = 0;
    do {
        std::size_t n = std::min(left, kIdatBytes);
        left -= n;
        AppendU32(png, static_cast<std::uint32_t>(n));
        const std::size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        while (n > 0) {
            const std::size_t take = std::min(n, part->size() - offset);
            png.insert(png.end(), part->data() + offset, part->data() + offset + take);
            n -= take;
            offset += take;
            if (offset == part->size()) {
                ++part;
                offset = 0;
            }
        }
        AppendU32(png, static_cast<std::uint32_t>(
                           libdeflate_crc32(0, png.data() + start, png.size() - start)));
    } while (left > 0);
}

}  // namespace

struct PngEncoder::State {
    State(const PngEncoderOptions& o, HelperStart start);

    void Plan(const PixelRows& image);
    void RunPieces(const PixelRows& image, Worker& worker);
    void Compress(const PixelRows& image, Worker& worker, Piece& piece, bool last) const;
    std::uint32_t Adler(std::int32_t width) const;

    PngEncoderOptions options;
    HelperStart start_helper;
    // Workers that earlier, larger images needed stay for later ones, but only the first
    // thread_count are readied for this image: a thread must never run on any of the others.
    std::vector<Worker> workers;
    std::size_t thread_count = 0;
    std::vector<Piece> pieces;  // the first piece_count are this image's
    std::size_t piece_count = 0;
    std::atomic<std::size_t> next_piece{0};
    std::vector<std::span<const Byte>> stream;  // the parts of the zlib stream
};

PngEncoder::State::State(const PngEncoderOptions& o, HelperStart start)
    : options(o), start_helper(std::move(start)) {
    if (!start_helper) {
        start_helper = [](std::function<void()> share) { return std::jthread(std::move(share)); };
    }
    options.threads = std::max(options.threads, 1);
    options.level = std::clamp(options.level, 0, 12);
}

// Cuts the image into pieces and sizes every buffer, so that the threads cannot fail.
void PngEncoder::State::Plan(const PixelRows& image) {
    const std::size_t row_bytes = png::FilteredRowBytes(image.width);
    const std::size_t bytes = row_bytes * std::size_t(image.height);
    piece_count = 1;
    if (options.threads > 1) {
        piece_count =
            std::max(std::min(kBalancingPieces, bytes / kMinPieceBytes), bytes / kMaxPieceBytes);
        piece_count = std::clamp(piece_count, std::size_t{1}, std::size_t(image.height));
    }
    thread_count = std::min(std::size_t(options.threads), piece_count);
    if (workers.size() < thread_count) {
        workers.resize(thread_count);
    }
    if (pieces.size() < piece_count) {
        pieces.resize(piece_count);
    }
    std::size_t most_rows = 0;
    for (std::size_t i = 0; i < piece_count; ++i) {
        Piece& piece = pieces[i];
        piece.first_row = static_cast<std::int32_t>(std::size_t(image.height) * i / piece_count);
        const auto end =
            static_cast<std::int32_t>(std::size_t(image.height) * (i + 1) / piece_count);
        piece.rows = end - piece.first_row;
        most_rows = std::max(most_rows, std::size_t(piece.rows));
    }
    for (std::size_t t = 0; t < thread_count; ++t) {
        Worker& worker = workers[t];
        if (!worker.compressor) {
            worker.compressor.reset(libdeflate_alloc_compressor(options.level));
            if (!worker.compressor) {
                throw std::bad_alloc();
            }
        }
        worker.filter.Reserve(image.width);
        worker.rows.Reserve(most_rows * row_bytes);
    }
    for (std::size_t i = 0; i < piece_count; ++i) {
        const std::size_t piece_bytes = row_bytes * std::size_t(pieces[i].rows);
        const std::size_t bound =
            libdeflate_deflate_compress_bound(workers[0].compressor.get(), piece_bytes);
        pieces[i].deflate.Reserve(std::max(bound, png::StoredBytes(piece_bytes)) +
                                  png::kContinuationBytes);
    }
    stream.reserve(piece_count + 2);
    next_piece = 0;
}

// Takes the next piece until none is left, so that a faster thread simply does more of them.
void PngEncoder::State::RunPieces(const PixelRows& image, Worker& worker) {
    for (std::size_t i; (i = next_piece.fetch_add(1)) < piece_count;) {
        Compress(image, worker, pieces[i], i + 1 == piece_count);
    }
}

void PngEncoder::State::Compress(const PixelRows& image, Worker& worker, Piece& piece,
                                 bool last) const {
    const std::size_t bytes = png::FilteredRowBytes(image.width) * std::size_t(piece.rows);
    Byte* const rows = worker.rows.data();
    Byte* const out = piece.deflate.data();
    worker.filter.FilterRows(image, piece.first_row, piece.rows, options.filter, rows);
    piece.adler = libdeflate_adler32(1, rows, bytes);
    piece.size = libdeflate_deflate_compress(worker.compressor.get(), rows, bytes, out,
                                             piece.deflate.size() - png::kContinuationBytes);
    if (!last) {
        const auto final_block = png::FindFinalBlock({out, piece.size});
        piece.size = final_block ? png::MakeContinuable(out, *final_block)
                                 : png::StoreContinuable(rows, bytes, out);
    }
}

// The Adler-32 of all filtered rows, from those of the pieces.
std::uint32_t PngEncoder::State::Adler(std::int32_t width) const {
    std::uint32_t adler = pieces[0].adler;
    for (std::size_t i = 1; i < piece_count; ++i) {
        const auto bytes = png::FilteredRowBytes(width) * std::size_t(pieces[i].rows);
        adler = static_cast<std::uint32_t>(
            adler32_combine(adler, pieces[i].adler, static_cast<z_off_t>(bytes)));
    }
    return adler;
}

PngEncoder::PngEncoder(const PngEncoderOptions& options, HelperStart start_helper)
    : state_(std::make_unique<State>(options, std::move(start_helper))) {}

PngEncoder::~PngEncoder() = default;

void PngEncoder::Encode(const PixelRows& image, std::vector<std::uint8_t>& png) {
    State& s = *state_;
    s.Plan(image);
    {
        std::vector<std::jthread> helpers;  // joined at the end of this block
        helpers.reserve(s.thread_count);
        for (std::size_t t = 1; t < s.thread_count; ++t) {
            try {
                helpers.push_back(
                    s.start_helper([&s, &image, t] { s.RunPieces(image, s.workers[t]); }));
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the running ones take the remaining pieces
            }
        }
        s.RunPieces(image, s.workers[0]);
    }

    const Byte zlib_header[] = {0x78, 0x9C};  // deflate, 32 KiB window, no dictionary
    const auto adler = BigEndian(s.Adler(image.width));
    s.stream.assign({zlib_header});
    std::size_t stream_bytes = sizeof zlib_header + adler.size();
    for (std::size_t i = 0; i < s.piece_count; ++i) {
        s.stream.emplace_back(s.pieces[i].deflate.data(), s.pieces[i].size);
        stream_bytes += s.pieces[i].size;
    }
    s.stream.emplace_back(adler);

    const auto width = BigEndian(static_cast<std::uint32_t>(image.width));
    const auto height = BigEndian(static_cast<std::uint32_t>(image.height));
    const Byte format[] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, progressive
    const std::span<const Byte> header[] = {width, height, format};
    const Byte signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(std::begin(signature), std::end(signature));
    png.reserve(8 + 25 + stream_bytes + 12 * (stream_bytes / kIdatBytes + 1) + 12);
    AppendChunks(png, "IHDR", header);
    AppendChunks(png, "IDAT", s.stream);
    AppendChunks(png, "IEND", {});
}

std::vector<std::uint8_t> EncodePng(const PixelRows& image) {
    std::vector<std::uint8_t> png;
    PngEncoder().Encode(image, png);
    return png;
}

}  // namespace ruvello
