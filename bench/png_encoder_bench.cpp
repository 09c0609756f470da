// The PNG encoder alone on the reference desktop frames, against libpng's defaults (the size
// reference) and against one-thread libdeflate forms of itself. Each benchmark reports the file
// size (bytes) and its ratio to libpng's default output for the same frame (ratio).

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "png/deflate_join.h"
#include "png/png_encoder.h"
#include "png/png_filters.h"

namespace ruvello {
namespace {

using bench::BgrxFrame;

PixelRows Rows(const BgrxFrame& frame) {
    return {frame.pixels.data(), frame.width, frame.height, frame.stride};
}

// libpng at its defaults (zlib level 6, the adaptive filter choice), fed the BGRX rows as they are.
std::vector<std::uint8_t> EncodeWithLibpngDefaults(const BgrxFrame& frame) {
    std::vector<std::uint8_t> png;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(writer);
    png_set_write_fn(
        writer, &png,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(writer, info, static_cast<png_uint_32>(frame.width),
                 static_cast<png_uint_32>(frame.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer, info);
    png_set_bgr(writer);
    png_set_filler(writer, 0, PNG_FILLER_AFTER);
    for (std::int32_t y = 0; y < frame.height; ++y) {
        png_write_row(writer, frame.pixels.data() + std::size_t(y) * frame.stride);
    }
    png_write_end(writer, info);
    png_destroy_write_struct(&writer, &info);
    return png;
}

double ReferenceBytes(const BgrxFrame& frame) {
    static std::map<std::string, double> bytes;
    auto [at, added] = bytes.try_emplace(frame.name, 0.0);
    if (added) {
        at->second = static_cast<double>(EncodeWithLibpngDefaults(frame).size());
    }
    return at->second;
}

void ReportSize(benchmark::State& state, const BgrxFrame& frame, std::size_t bytes) {
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ratio"] = static_cast<double>(bytes) / ReferenceBytes(frame);
}

void BM_Libpng(benchmark::State& state, const BgrxFrame* frame) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = EncodeWithLibpngDefaults(*frame).size();
    }
    ReportSize(state, *frame, bytes);
}

// Resident memory of the process in MiB.
double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0;
    statm >> pages >> pages;  // total size, then resident
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

// One encoder and one output buffer for all shots, as the program keeps them. resident_MiB is
// the memory they hold after the shots. Unless the options say otherwise, every shot compresses
// every band (reuse off): the cost of a screen that changed everywhere.
void BM_Encoder(benchmark::State& state, const BgrxFrame* frame, PngEncoderOptions options) {
    const double resident_before = ResidentMiB();
    PngEncoder encoder(options);
    std::vector<std::uint8_t> png;
    for (auto _ : state) {
        encoder.Encode(Rows(*frame), png);
    }
    ReportSize(state, *frame, png.size());
    state.counters["resident_MiB"] = ResidentMiB() - resident_before;
}

// The same frame again and again with reuse: the cost of a screen where nothing changed (the
// hash of every band, the file put together from kept bytes).
void BM_EncoderUnchanged(benchmark::State& state, const BgrxFrame* frame) {
    PngEncoder encoder;
    std::vector<std::uint8_t> png;
    encoder.Encode(Rows(*frame), png);
    for (auto _ : state) {
        encoder.Encode(Rows(*frame), png);
    }
    ReportSize(state, *frame, png.size());
}

// A new encoder and buffer every shot: the cost of allocating and faulting in its memory.
void BM_EncoderFresh(benchmark::State& state, const BgrxFrame* frame) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = EncodePng(Rows(*frame)).size();
    }
    ReportSize(state, *frame, bytes);
}

// The filter pass alone, on one thread.
void BM_Filter(benchmark::State& state, const BgrxFrame* frame, png::RowRule rule,
               const png::RowKernels* kernels) {
    png::RowFilter filter(*kernels);
    filter.Reserve(frame->width);
    std::vector<std::uint8_t> rows(png::FilteredRowBytes(frame->width) *
                                   std::size_t(frame->height));
    for (auto _ : state) {
        filter.FilterRows(Rows(*frame), 0, frame->height, rule, rows.data());
        benchmark::DoNotOptimize(rows.data());
    }
}

// The walk that finds where libdeflate's final block starts, over a whole frame's stream.
void BM_FindFinalBlock(benchmark::State& state, const BgrxFrame* frame) {
    png::RowFilter filter;
    filter.Reserve(frame->width);
    std::vector<std::uint8_t> rows(png::FilteredRowBytes(frame->width) *
                                   std::size_t(frame->height));
    filter.FilterRows(Rows(*frame), 0, frame->height, png::RowRule::kMinimumSum, rows.data());
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    std::vector<std::uint8_t> stream(libdeflate_deflate_compress_bound(compressor, rows.size()));
    stream.resize(libdeflate_deflate_compress(compressor, rows.data(), rows.size(), stream.data(),
                                              stream.size()));
    libdeflate_free_compressor(compressor);
    for (auto _ : state) {
        benchmark::DoNotOptimize(png::FindFinalBlock(stream));
    }
    state.counters["stream_bytes"] = static_cast<double>(stream.size());
}

std::string Describe(const PngEncoderOptions& o) {
    return std::to_string(o.threads) + (o.threads == 1 ? "_thread" : "_threads") + "/level" +
           std::to_string(o.level) + (o.filter == PngFilterChoice::kPaeth ? "/paeth" : "") +
           (o.band_rows ? "/bands" + std::to_string(o.band_rows) : "");
}

template <typename... Args>
void Register(const std::string& name, const BgrxFrame& frame, Args&&... args) {
    benchmark::RegisterBenchmark((name + "/" + frame.name).c_str(), std::forward<Args>(args)...)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()  // the encoder's second thread does not show in the caller's CPU time
        ->ComputeStatistics(
            "min",
            [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ComputeStatistics("max", [](const std::vector<double>& v) {
            return *std::max_element(v.begin(), v.end());
        });
}

void RegisterAll() {
    std::vector<PngEncoderOptions> variants;
    for (const int threads : {1, 2}) {
        for (const int level : {4, 5, 6, 7, 8, 9, 10}) {
            variants.push_back({.threads = threads, .level = level, .reuse = false});
        }
        variants.push_back({.threads = threads, .filter = PngFilterChoice::kPaeth, .reuse = false});
    }
    // The band height: what the edges cost in bytes and time.
    for (const int rows : {8, 16, 32, 64, 128, 256, 100000}) {
        variants.push_back({.threads = 1, .band_rows = rows, .reuse = false});
    }
    for (const BgrxFrame& frame : bench::ReferenceFrames()) {
        Register("encoder/default", frame, BM_Encoder, &frame, PngEncoderOptions{.reuse = false});
        Register("encoder/default_unchanged", frame, BM_EncoderUnchanged, &frame);
        Register("encoder/default_fresh_buffers", frame, BM_EncoderFresh, &frame);
        for (const PngEncoderOptions& options : variants) {
            Register("encoder/" + Describe(options), frame, BM_Encoder, &frame, options);
        }
        Register("libpng/default", frame, BM_Libpng, &frame);
        for (const auto& [name, kernels] : {std::pair{"", &png::BestKernels()},
                                            std::pair{"_portable", &png::PortableKernels()}}) {
            Register(std::string("filter/minimum_sum") + name, frame, BM_Filter, &frame,
                     png::RowRule::kMinimumSum, kernels);
            Register(std::string("filter/entropy") + name, frame, BM_Filter, &frame,
                     png::RowRule::kEntropy, kernels);
            Register(std::string("filter/paeth") + name, frame, BM_Filter, &frame,
                     png::RowRule::kPaeth, kernels);
        }
        Register("find_final_block/level6", frame, BM_FindFinalBlock, &frame);
    }
}

}  // namespace
}  // namespace ruvello

int main(int argc, char** argv) {
    // Large blocks always from the system and back to it when freed, so that resident_MiB does
    // not count memory that an earlier run freed and this one reuses.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    ruvello::RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
