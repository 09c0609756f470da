#include "png/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "png/deflate_join.h"
#include "png/deflate_runs.h"
#include "png/png_filters.h"

namespace ruvello {
namespace {

using Byte = std::uint8_t;

// Rows of a band unless the options say otherwise. Taller bands lose less at their edges (each
// starts without the previous band's window and with its own code tables); shorter ones leave
// less to compress again around a small change.
constexpr int kDefaultBandRows = 64;
// How a band is compressed follows from two shares of its filtered bytes (by the minimum sum),
// the zeros and the small residuals (+-1, +-2); see BandKind.
constexpr double kPhotoZeroShare = 0.12;
constexpr double kTextZeroShare = 0.5;
constexpr double kScreenZeroShare = 0.85;
// From this share of small residuals on, a band is a smooth photograph whatever its zeros; from
// the second on (with half its bytes zero or more), a photograph beside text.
constexpr double kSmoothShare = 0.35;
constexpr double kBesideTextShare = 0.2;
// PNG caps a chunk at 2^31 - 1 bytes; the stream goes into IDAT chunks of this size.
constexpr std::size_t kIdatBytes = std::size_t{1} << 20;
// Every band ends on a sync flush; this empty final block (fixed codes) ends the stream.
constexpr Byte kFinalBlock[] = {0x03, 0x00};

// Working memory that is always written before it is read, so it is never zero-filled.
class Scratch {
  public:
    // The old block goes only once the new one is had: a failure leaves the scratch as it was.
    void Reserve(std::size_t n) {
        if (n > size_) {
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

// zlib's memory comes from operator new, as the rest of the encoder's does, so that whatever
// watches or limits the program's allocations sees it too.
voidpf ZlibAlloc(voidpf, uInt items, uInt size) {
    return ::operator new (std::size_t{items} * size, std::nothrow);
}

void ZlibFree(voidpf, voidpf block) {
    ::operator delete(block);
}

struct DeflaterDeleter {
    void operator()(z_stream* z) const {
        deflateEnd(z);
        delete z;
    }
};

// How far zlib's lazy search looks (deflateTune): links of a hash chain to follow, and the match
// lengths from which it follows a quarter of them (`good`), looks no further for a better match
// at the next byte (`lazy`) or stops (`nice`).
struct ZlibSearch {
    int good;
    int lazy;
    int nice;
    int chain;
};

// Level 6's search with the hash chains cut from 128 links to 8: a screen full of text then takes
// 1.1 % fewer bytes than with libdeflate at level 7 for its dense bands at 1920x1080, 0.2 % at
// 3840x2160 (whose larger glyphs libdeflate matches well), in no more time. Longer chains save up
// to 1 % more at up to 1.5 times the time.
constexpr ZlibSearch kTextSearch{8, 16, 128, 8};
// Only the two nearest earlier places of each three bytes: in a photograph beside text, the
// longest match further back pays for its distance less often than a near one. On the desktops
// of photographs and text (bench/other_desktops.py) the file is 1.6 % smaller than with
// kTextSearch and its encoding takes 10-25 % less CPU; the reference desktop of text would be up
// to 1.7 % larger. One place alone saves 1 % more there, but loses 9 % where the text repeats
// its glyphs closely (the encoder's tests). `good` stays above `lazy`, so the chain is never
// quartered: zlib would round it down to no link and then follow it to its end.
constexpr ZlibSearch kPhotoBesideTextSearch{258, 16, 128, 2};

// zlib's raw deflate with its filtered strategy and its largest blocks (memory level 9), kept from
// band to band (on the heap, since zlib's state points back to it).
class ZlibDeflater {
  public:
    void Ready() {
        if (!z_) {
            auto z = std::make_unique<z_stream>();
            z->zalloc = ZlibAlloc;
            z->zfree = ZlibFree;
            if (deflateInit2(z.get(), 6, Z_DEFLATED, -15, 9, Z_FILTERED) != Z_OK) {
                throw std::bad_alloc();
            }
            z_.reset(z.release());
        }
    }

    // Compresses `size` bytes into a stream that ends on a sync flush; 0 when `capacity` did not
    // suffice.
    std::size_t Compress(const Byte* data, std::size_t size, Byte* out, std::size_t capacity,
                         const ZlibSearch& search) {
        deflateReset(z_.get());  // which also resets what deflateTune set
        deflateTune(z_.get(), search.good, search.lazy, search.nice, search.chain);
        z_->next_in = const_cast<Byte*>(data);
        z_->avail_in = static_cast<uInt>(size);
        z_->next_out = out;
        z_->avail_out = static_cast<uInt>(capacity);
        const int result = deflate(z_.get(), Z_SYNC_FLUSH);
        return result == Z_OK && z_->avail_in == 0 && z_->avail_out > 0 ? capacity - z_->avail_out
                                                                        : 0;
    }

    // Output room that always suffices for `size` bytes.
    std::size_t Bound(std::size_t size) const {
        return deflateBound(z_.get(), static_cast<uLong>(size)) + 16;
    }

  private:
    std::unique_ptr<z_stream, DeflaterDeleter> z_;
};

// A band's filtered rows and their compressed form.
struct Trial {
    Scratch rows;
    Scratch deflate;
    std::size_t size = 0;  // of the compressed form; 0 when it did not fit
};

// What one thread works with.
struct Worker {
    png::RowFilter filter;
    Trial trials[2];  // of its current band: one form, or two to choose from
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
    png::RunDeflater runs;
    ZlibDeflater text;
    std::exception_ptr failure;  // what ended its share of the current image
};

// Shares among the filtered bytes of the rows not sent raw. Raw rows (filter type None) are text
// or flat colour, never photographic, and have few zeros; a band of only raw rows counts as
// screen content.
struct BandShares {
    double zeros = 1.0;
    double small = 0.0;  // +-1 and +-2
    bool raw_rows = false;
};

// Counts zeros and bytes from -2 to 2 in `n` bytes, in 8-bit lanes of kLanes emptied before they
// could overflow: compilers vectorise it for the baseline instruction set.
void CountNearZero(const Byte* bytes, std::size_t n, std::size_t& zeros, std::size_t& near_zero) {
    constexpr std::size_t kLanes = 16;
    std::size_t i = 0;
    while (i + kLanes <= n) {
        Byte zero_lanes[kLanes] = {};
        Byte near_lanes[kLanes] = {};
        for (int c = 0; c < 255 && i + kLanes <= n; ++c, i += kLanes) {
            for (std::size_t k = 0; k < kLanes; ++k) {
                zero_lanes[k] = static_cast<Byte>(zero_lanes[k] + (bytes[i + k] == 0));
                near_lanes[k] =
                    static_cast<Byte>(near_lanes[k] + (static_cast<Byte>(bytes[i + k] + 2) <= 4));
            }
        }
        for (std::size_t k = 0; k < kLanes; ++k) {
            zeros += zero_lanes[k];
            near_zero += near_lanes[k];
        }
    }
    for (; i < n; ++i) {
        zeros += bytes[i] == 0;
        near_zero += static_cast<Byte>(bytes[i] + 2) <= 4;
    }
}

BandShares Shares(const Byte* rows, std::size_t row_bytes, std::int32_t count) {
    std::size_t zeros = 0;
    std::size_t near_zero = 0;
    std::size_t filtered = 0;
    for (std::int32_t y = 0; y < count; ++y, rows += row_bytes) {
        if (rows[0] != png::kNone) {
            CountNearZero(rows + 1, row_bytes - 1, zeros, near_zero);
            filtered += row_bytes - 1;
        }
    }
    if (filtered == 0) {
        return {};
    }
    return {double(zeros) / double(filtered), double(near_zero - zeros) / double(filtered),
            filtered < row_bytes * std::size_t(count) - std::size_t(count)};
}

// What a band holds, and so how it is compressed. Measured on desktops of real photographs and
// text beside the reference frames (bench/png_bytes.cpp --bands).
enum class BandKind {
    // Sensor noise (few zeros) or a smooth photograph (many small residuals: blurred, upscaled):
    // no string match pays, and literals and runs of a byte (RunDeflater) take it smallest, as
    // small as zlib on noise and 3-8 % below it on smooth photographs, six times faster.
    kPhoto,
    // Photo beside text, or a smooth picture; the shares tell too little, so both RunDeflater and
    // libdeflate (on the rows filtered by least entropy) try it, and the smaller is kept.
    kMixed,
    // A photograph beside text in the same rows, with as many zeros as text: the minimum sum's
    // raw rows, which suit the text, cost the photo dearly. zlib's filtered strategy on the rows
    // filtered by least entropy takes such bands up to 25 % smaller than on the minimum sum's rows,
    // and RunDeflater seldom beats it.
    kPhotoBesideText,
    // Dense text or drawing, smoothed at its edges: zlib's filtered strategy, which passes over
    // matches shorter than six bytes, takes it smaller than libdeflate. Its rows are filtered
    // again with the raw row counted as the others where the minimum sum sent some raw: zlib
    // takes the reference desktop 0.4 % smaller so at 1920x1080, 0.1 % at 3840x2160 (the raw
    // rows suit libdeflate's longer matches on sparse text, not zlib on dense text).
    kText,
    // Sparse screen content (flat colour, text on plain ground): libdeflate finds the long
    // matches fastest and smallest.
    kScreen,
};

BandKind Classify(const BandShares& shares) {
    if (shares.zeros < kPhotoZeroShare || shares.small >= kSmoothShare) {
        return BandKind::kPhoto;
    }
    if (shares.zeros < kTextZeroShare) {
        return BandKind::kMixed;
    }
    if (shares.small >= kBesideTextShare) {  // then at most 80 % are zeros
        return BandKind::kPhotoBesideText;
    }
    return shares.zeros < kScreenZeroShare ? BandKind::kText : BandKind::kScreen;
}

png::RowRule FirstRule(PngFilterChoice choice) {
    switch (choice) {
        case PngFilterChoice::kEntropy:
            return png::RowRule::kEntropy;
        case PngFilterChoice::kPaeth:
            return png::RowRule::kPaeth;
        default:
            return png::RowRule::kMinimumSum;
    }
}

// What a band's compressed bytes were made from: its rows and the row above them, which the
// filters of its first row read.
struct BandKey {
    XXH128_hash_t hash{};
    bool valid = false;
};

BandKey HashBand(const PixelRows& image, std::int32_t first, std::int32_t rows) {
    XXH3_state_t state;
    XXH3_128bits_reset(&state);
    const std::size_t row_bytes = 4 * static_cast<std::size_t>(image.width);
    for (std::int32_t y = std::max(first - 1, 0); y < first + rows; ++y) {
        XXH3_128bits_update(&state, image.data + static_cast<std::size_t>(y) * image.stride,
                            row_bytes);
    }
    return {XXH3_128bits_digest(&state), true};
}

bool operator==(const BandKey& a, const BandKey& b) {
    return a.valid && b.valid && XXH128_isEqual(a.hash, b.hash);
}

// A run of rows compressed on its own into a raw deflate stream that ends on a sync flush, so
// that the next band's stream can follow.
struct Band {
    std::int32_t first_row = 0;
    std::int32_t rows = 0;
    BandKey key;      // of the pixels `bytes` holds
    BandKey pending;  // of this image's pixels, while the band is compressed again
    std::vector<Byte> bytes;
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

    void PlanBands(const PixelRows& image);
    void FindChangedBands(const PixelRows& image);
    void ReadyWorkers(const PixelRows& image);
    void RunBands(const PixelRows& image, Worker& worker) noexcept;
    void Compress(const PixelRows& image, Worker& worker, Band& band) const;
    std::size_t CompressAs(BandKind kind, Worker& worker, const Byte* rows, std::size_t bytes,
                           Trial& into) const;
    std::size_t Libdeflate(Worker& worker, const Byte* rows, std::size_t bytes, Trial& into,
                           std::size_t beat = SIZE_MAX) const;
    void Finish(std::size_t threads_run);
    std::uint32_t Adler() const;

    PngEncoderOptions options;
    HelperStart start_helper;
    std::int32_t width = 0;  // of the image the bands were planned for
    std::int32_t height = 0;
    std::vector<Band> bands;
    std::vector<std::size_t> changed;  // the bands to compress for this image
    std::atomic<std::size_t> next_changed{0};
    // Workers that earlier images needed stay for later ones, but only the first thread_count
    // are readied for this image: a thread must never run on any of the others.
    std::vector<Worker> workers;
    std::size_t thread_count = 0;
    std::vector<std::span<const Byte>> stream;  // the parts of the zlib stream
};

PngEncoder::State::State(const PngEncoderOptions& o, HelperStart start)
    : options(o), start_helper(std::move(start)) {
    if (!start_helper) {
        start_helper = [](std::function<void()> share) { return std::jthread(std::move(share)); };
    }
    options.threads = std::max(options.threads, 1);
    options.level = std::clamp(options.level, 0, 12);
    if (options.band_rows <= 0) {
        options.band_rows = kDefaultBandRows;
    }
}

// The bands depend on the image's size alone. A new size drops every kept band, once the new
// ones are had: a failure leaves the bands of the old size.
void PngEncoder::State::PlanBands(const PixelRows& image) {
    if (image.width == width && image.height == height) {
        return;
    }
    const std::int32_t rows = options.band_rows;
    std::vector<Band> planned(static_cast<std::size_t>((image.height + rows - 1) / rows));
    for (std::size_t i = 0; i < planned.size(); ++i) {
        planned[i].first_row = static_cast<std::int32_t>(i) * rows;
        planned[i].rows = std::min(rows, image.height - planned[i].first_row);
    }
    bands = std::move(planned);
    width = image.width;
    height = image.height;
}

void PngEncoder::State::FindChangedBands(const PixelRows& image) {
    changed.clear();
    for (std::size_t i = 0; i < bands.size(); ++i) {
        Band& band = bands[i];
        band.pending = HashBand(image, band.first_row, band.rows);
        if (!options.reuse || !(band.pending == band.key)) {
            band.key = {};  // until its bytes are made anew
            changed.push_back(i);
        }
    }
    next_changed = 0;
}

// Sizes every buffer the threads write, so that all they allocate is the bytes a band keeps and
// RunDeflater's runs. A piece whose memory cannot be had stays as it was.
void PngEncoder::State::ReadyWorkers(const PixelRows& image) {
    thread_count = std::min(std::size_t(options.threads), changed.size());
    if (workers.size() < thread_count) {
        workers.resize(thread_count);
    }
    const std::size_t band_bytes =
        png::FilteredRowBytes(image.width) * static_cast<std::size_t>(options.band_rows);
    for (std::size_t t = 0; t < thread_count; ++t) {
        Worker& worker = workers[t];
        if (!worker.compressor) {
            worker.compressor.reset(libdeflate_alloc_compressor(options.level));
            if (!worker.compressor) {
                throw std::bad_alloc();
            }
        }
        worker.text.Ready();
        worker.filter.Reserve(image.width);
        const std::size_t bound =
            std::max({libdeflate_deflate_compress_bound(worker.compressor.get(), band_bytes),
                      worker.text.Bound(band_bytes), png::RunDeflater::Bound(band_bytes),
                      png::StoredBytes(band_bytes)});
        for (Trial& trial : worker.trials) {
            trial.rows.Reserve(band_bytes);
            trial.deflate.Reserve(bound + png::kContinuationBytes);
        }
        worker.failure = nullptr;
    }
}

// Takes the next changed band until none is left, so that a faster thread simply does more. A
// failure (memory) goes back to the caller through Finish: it must not end a helper thread, and
// with it the program. The band it hit keeps no key and is compressed again next time; the
// others need not take any more bands, since this image fails.
void PngEncoder::State::RunBands(const PixelRows& image, Worker& worker) noexcept {
    try {
        for (std::size_t i; (i = next_changed.fetch_add(1)) < changed.size();) {
            Compress(image, worker, bands[changed[i]]);
        }
    } catch (...) {
        worker.failure = std::current_exception();
        next_changed = changed.size();
    }
}

// libdeflate's stream of `bytes` of `rows` in `into`, turned into one that another can follow;
// 0 when it did not fit, or when it is no smaller than `beat` bytes: the walk to its final block
// costs a quarter of libdeflate's time on such bands, spared where the stream is not kept.
std::size_t PngEncoder::State::Libdeflate(Worker& worker, const Byte* rows, std::size_t bytes,
                                          Trial& into, std::size_t beat) const {
    Byte* const out = into.deflate.data();
    const std::size_t size = libdeflate_deflate_compress(
        worker.compressor.get(), rows, bytes, out, into.deflate.size() - png::kContinuationBytes);
    if (size >= beat) {  // MakeContinuable adds bytes, never takes any away
        return 0;
    }
    const auto final_block = png::FindFinalBlock({out, size});
    return final_block ? png::MakeContinuable(out, *final_block) : 0;
}

// The rule of the rows a band's compressor works on, where they differ from the minimum sum's
// (see BandKind).
std::optional<png::RowRule> Refiltering(BandKind kind, const BandShares& shares) {
    if (kind == BandKind::kPhotoBesideText) {
        return png::RowRule::kEntropy;
    }
    if (kind == BandKind::kText && shares.raw_rows) {
        return png::RowRule::kPlainSum;
    }
    return std::nullopt;
}

std::size_t PngEncoder::State::CompressAs(BandKind kind, Worker& worker, const Byte* rows,
                                          std::size_t bytes, Trial& into) const {
    const std::size_t room = into.deflate.size() - png::kContinuationBytes;
    switch (kind) {
        case BandKind::kPhoto:
        case BandKind::kMixed:
            return worker.runs.Compress(rows, bytes, into.deflate.data(), room);
        case BandKind::kPhotoBesideText:
            return worker.text.Compress(rows, bytes, into.deflate.data(), room,
                                        kPhotoBesideTextSearch);
        case BandKind::kText:
            return worker.text.Compress(rows, bytes, into.deflate.data(), room, kTextSearch);
        case BandKind::kScreen:
            break;
    }
    return Libdeflate(worker, rows, bytes, into);
}

void PngEncoder::State::Compress(const PixelRows& image, Worker& worker, Band& band) const {
    const std::size_t bytes = png::FilteredRowBytes(image.width) * std::size_t(band.rows);
    Trial& first = worker.trials[0];
    const Byte* const rows = first.rows.data();
    worker.filter.FilterRows(image, band.first_row, band.rows, FirstRule(options.filter),
                             first.rows.data());
    const BandShares shares = Shares(rows, png::FilteredRowBytes(image.width), band.rows);
    const BandKind kind = Classify(shares);
    const std::optional<png::RowRule> again = Refiltering(kind, shares);
    if (again && options.filter == PngFilterChoice::kAdaptive) {
        worker.filter.FilterRows(image, band.first_row, band.rows, *again, first.rows.data());
    }
    first.size = CompressAs(kind, worker, rows, bytes, first);
    const Trial* kept = &first;
    const Byte* kept_rows = rows;
    if (kind == BandKind::kMixed) {
        Trial& second = worker.trials[1];
        const Byte* second_rows = rows;
        if (options.filter == PngFilterChoice::kAdaptive) {
            worker.filter.FilterRows(image, band.first_row, band.rows, png::RowRule::kEntropy,
                                     second.rows.data());
            second_rows = second.rows.data();
        }
        second.size =
            Libdeflate(worker, second_rows, bytes, second, first.size == 0 ? SIZE_MAX : first.size);
        if (second.size != 0 && (first.size == 0 || second.size < first.size)) {
            kept = &second;
            kept_rows = second_rows;
        }
    }
    std::size_t size = kept->size;
    if (size == 0) {
        size = png::StoreContinuable(kept_rows, bytes, kept->deflate.data());
    }
    band.adler = libdeflate_adler32(1, kept_rows, bytes);
    band.bytes.assign(kept->deflate.data(), kept->deflate.data() + size);
    band.key = band.pending;
}

void PngEncoder::State::Finish(std::size_t threads_run) {
    for (std::size_t t = 0; t < threads_run; ++t) {
        if (workers[t].failure) {
            std::rethrow_exception(std::exchange(workers[t].failure, nullptr));
        }
    }
}

// The Adler-32 of all filtered rows, from those of the bands.
std::uint32_t PngEncoder::State::Adler() const {
    std::uint32_t adler = bands[0].adler;
    for (std::size_t i = 1; i < bands.size(); ++i) {
        const auto bytes = png::FilteredRowBytes(width) * std::size_t(bands[i].rows);
        adler = static_cast<std::uint32_t>(
            adler32_combine(adler, bands[i].adler, static_cast<z_off_t>(bytes)));
    }
    return adler;
}

PngEncoder::PngEncoder(const PngEncoderOptions& options, HelperStart start_helper)
    : state_(std::make_unique<State>(options, std::move(start_helper))) {}

PngEncoder::~PngEncoder() = default;

void PngEncoder::Encode(const PixelRows& image, std::vector<std::uint8_t>& png) {
    State& s = *state_;
    s.PlanBands(image);
    s.FindChangedBands(image);
    s.ReadyWorkers(image);
    {
        std::vector<std::jthread> helpers;  // joined at the end of this block
        helpers.reserve(s.thread_count);
        for (std::size_t t = 1; t < s.thread_count; ++t) {
            try {
                helpers.push_back(
                    s.start_helper([&s, &image, t] { s.RunBands(image, s.workers[t]); }));
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the running ones take the remaining bands
            }
        }
        if (s.thread_count > 0) {
            s.RunBands(image, s.workers[0]);
        }
    }
    s.Finish(s.thread_count);

    const Byte zlib_header[] = {0x78, 0x9C};  // deflate, 32 KiB window, no dictionary
    const auto adler = BigEndian(s.Adler());
    s.stream.assign({zlib_header});
    std::size_t stream_bytes = sizeof zlib_header + sizeof kFinalBlock + adler.size();
    for (const Band& band : s.bands) {
        s.stream.emplace_back(band.bytes);
        stream_bytes += band.bytes.size();
    }
    s.stream.emplace_back(kFinalBlock);
    s.stream.emplace_back(adler);

    const auto width = BigEndian(static_cast<std::uint32_t>(image.width));
    const auto height = BigEndian(static_cast<std::uint32_t>(image.height));
    const Byte format[] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, progressive
    const std::span<const Byte> header[] = {width, height, format};
    const Byte signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::size_t file_bytes =
        8 + 25 + stream_bytes + 12 * (stream_bytes / kIdatBytes + 1) + 12;
    if (png.capacity() < file_bytes) {
        std::vector<Byte> room;  // had before the old file goes, which a failure leaves as it was
        room.reserve(file_bytes);
        png.swap(room);
    }
    png.assign(std::begin(signature), std::end(signature));
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
