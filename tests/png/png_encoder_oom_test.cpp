#include <gtest/gtest.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "fakes/failing_allocations.h"
#include "png/png_encoder.h"
#include "png_check.h"
#include "test_images.h"

namespace ruvello {
namespace {

using pngtest::Content;
using pngtest::MakeImage;
using pngtest::TestImage;
using testing::FailingAllocations;

// Bands of 16 rows, so that the small images below take every way the encoder has of
// compressing a band (see Content::kBands).
constexpr int kBandRows = 16;

struct Images {
    TestImage small = MakeImage(40, 40, Content::kBands, 0, 1);
    TestImage medium = MakeImage(120, 96, Content::kBands, 4, 2);
    TestImage changed = MakeImage(120, 96, Content::kBands, 4, 2);  // medium, a band repainted
    TestImage large = MakeImage(200, 130, Content::kBands, 0, 3);

    Images() {
        const TestImage other = MakeImage(120, 96, Content::kBands, 4, 9);
        const std::size_t first = 20 * changed.stride;
        std::copy_n(other.bytes.data() + first, 10 * changed.stride, changed.bytes.data() + first);
    }
};

const Images& TheImages() {
    static const Images images;
    return images;
}

// What a fresh encoder writes for each image, checked once against the decoder.
const std::vector<std::uint8_t>& FreshFile(const TestImage& image) {
    static std::map<const TestImage*, std::vector<std::uint8_t>> files;
    auto [at, added] = files.try_emplace(&image);
    if (added) {
        PngEncoder({.band_rows = kBandRows}).Encode(image.Rows(), at->second);
        const pngtest::Decoded decoded = pngtest::DecodeWithLibpng(at->second);
        EXPECT_EQ(decoded.error, "");
        EXPECT_TRUE(decoded.rgb == pngtest::ExpectedRgb(image.Rows()));
        EXPECT_EQ(pngtest::InspectLayout(at->second).error, "");
    }
    return at->second;
}

// The helper's share runs on a thread of its own and ends before the caller starts on its own:
// every band is then compressed, and every allocation for it made, on the helper thread.
std::jthread HelperTakesEveryBand(std::function<void()> share) {
    std::jthread helper(std::move(share));
    helper.join();
    return helper;
}

struct Threading {
    const char* name;
    int threads;
    PngEncoder::HelperStart start;
};

struct Scenario {
    const char* name;
    std::vector<const TestImage*> before;  // the shots the encoder took before
    const TestImage* shot;                 // the one whose allocations fail in turn
};

// After the failed shot: that image again, then a smaller and a larger screen, in two orders.
// The image again first finds bands and row buffers that claim the new size without having it;
// the smaller screen first finds buffers that claim the old size without having it.
std::vector<std::vector<const TestImage*>> NextShots(const Images& i, const TestImage* shot) {
    return {{shot, &i.small, &i.large}, {&i.small, shot, &i.large}};
}

class PngEncoderOutOfMemory : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // libdeflate takes its memory through malloc; its compressors count too.
        libdeflate_set_memory_allocator(FailingAllocations::Malloc, std::free);
    }
    static void TearDownTestSuite() { libdeflate_set_memory_allocator(std::malloc, std::free); }
};

// How the nth allocation of a shot went.
struct Outcome {
    bool failed = false;     // it came, and failed
    bool on_helper = false;  // on a helper thread
};

// A fresh encoder takes the scenario's shots before, then its shot with the nth allocation
// failing, then `next_shots`. The failed shot must throw std::bad_alloc and leave the caller's
// buffer as it was; every other shot must give the file a fresh encoder gives.
Outcome ShootWithNthFailing(const Threading& threading, const Scenario& scenario,
                            const std::vector<const TestImage*>& next_shots, long nth) {
    PngEncoder encoder({.threads = threading.threads, .band_rows = kBandRows}, threading.start);
    std::vector<std::uint8_t> png;
    for (const TestImage* image : scenario.before) {
        encoder.Encode(image->Rows(), png);
    }
    const std::vector<std::uint8_t> before = png;
    Outcome outcome;
    bool threw = false;
    {
        FailingAllocations failing(nth);
        try {
            encoder.Encode(scenario.shot->Rows(), png);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        outcome = {failing.Failed(), failing.FailedOnAnotherThread()};
    }
    EXPECT_EQ(threw, outcome.failed);
    if (outcome.failed) {
        EXPECT_TRUE(png == before) << "the failed shot changed the file's bytes";
    } else {
        EXPECT_TRUE(png == FreshFile(*scenario.shot));
    }
    for (const TestImage* image : next_shots) {
        encoder.Encode(image->Rows(), png);
        EXPECT_TRUE(png == FreshFile(*image))
            << image->width << "x" << image->height << " after the failed shot";
    }
    return outcome;
}

// Every allocation an Encode makes, on any of its threads, fails in turn (the first, the second
// ... until an Encode needs no more): only that shot fails, and the encoder goes on as if new.
TEST_F(PngEncoderOutOfMemory, EveryFailedAllocationFailsOnlyItsShot) {
    const Images& i = TheImages();
    const Threading threadings[] = {{"two threads", 2, {}},
                                    {"the helper thread first", 2, HelperTakesEveryBand},
                                    {"three threads", 3, {}}};
    const Scenario scenarios[] = {{"the first shot", {}, &i.medium},
                                  {"a larger screen", {&i.small}, &i.medium},
                                  {"a changed frame", {&i.medium}, &i.changed},
                                  {"a smaller screen", {&i.large}, &i.medium}};
    for (const Threading& threading : threadings) {
        bool failed_on_helper = false;
        for (const Scenario& scenario : scenarios) {
            for (const auto& next_shots : NextShots(i, scenario.shot)) {
                Outcome outcome{.failed = true};
                for (long nth = 1; outcome.failed && !HasFailure(); ++nth) {
                    SCOPED_TRACE(std::string(threading.name) + ", " + scenario.name +
                                 ", allocation " + std::to_string(nth));
                    outcome = ShootWithNthFailing(threading, scenario, next_shots, nth);
                    failed_on_helper |= outcome.on_helper;
                }
            }
        }
        if (threading.start) {
            EXPECT_TRUE(failed_on_helper) << "no allocation failed on the helper thread";
        }
    }
}

}  // namespace
}  // namespace ruvello
