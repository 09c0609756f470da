#include "capture/portal/video_formats_pipewire.h"

#include <gtest/gtest.h>
#include <spa/param/format.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/pod/filter.h>

#include <cstdint>
#include "capture/portal/spa_macros_pipewire.h"

namespace ruvello {
namespace {

TEST(PipeWireFormats, TakesFourByteFormatsInEitherOrderAndNothingElse) {
    EXPECT_EQ(PixelOrderOfVideoFormat(SPA_VIDEO_FORMAT_BGRx), PixelOrder::kBgrx);
    EXPECT_EQ(PixelOrderOfVideoFormat(SPA_VIDEO_FORMAT_BGRA), PixelOrder::kBgrx);
    EXPECT_EQ(PixelOrderOfVideoFormat(SPA_VIDEO_FORMAT_RGBx), PixelOrder::kRgbx);
    EXPECT_EQ(PixelOrderOfVideoFormat(SPA_VIDEO_FORMAT_RGBA), PixelOrder::kRgbx);
    for (spa_video_format other :
         {SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_RGB, SPA_VIDEO_FORMAT_BGR,
          SPA_VIDEO_FORMAT_NV12, SPA_VIDEO_FORMAT_UNKNOWN}) {
        EXPECT_FALSE(PixelOrderOfVideoFormat(other).has_value()) << other;
    }
}

// A compositor's offer as screen casts make it: its frame size and rate, and, when it can hand
// over GPU buffers, the modifiers it must be asked for.
const spa_pod* CompositorOffer(spa_pod_builder& b, spa_video_format format, bool dmaBuf) {
    spa_pod_frame object{};
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    const spa_rectangle size{2560, 1440};
    const spa_fraction zero{0, 1}, one{1, 1}, refresh{60, 1};
    spa_pod_builder_add(&b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
                        SPA_FORMAT_VIDEO_format, SPA_POD_Id(format), SPA_FORMAT_VIDEO_size,
                        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_Fraction(&zero), SPA_FORMAT_VIDEO_maxFramerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&refresh, &one, &refresh), 0);
    if (dmaBuf) {
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_modifier,
                             SPA_POD_PROP_FLAG_MANDATORY | SPA_POD_PROP_FLAG_DONT_FIXATE);
        spa_pod_frame choice{};
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
        spa_pod_builder_long(&b, 0);
        spa_pod_builder_long(&b, 0);
        spa_pod_builder_long(&b, 0x0100000000000001);
        spa_pod_builder_pop(&b, &choice);
    }
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

TEST(PipeWireFormats, NegotiatesPlainPixelsAtTheLowRateAndNeverGpuBuffers) {
    std::uint8_t memory[4096];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(memory, sizeof memory);
    const spa_pod* ours = BuildStreamFormats(b, 2);

    spa_pod* result = nullptr;
    const spa_pod* gpu = CompositorOffer(b, SPA_VIDEO_FORMAT_BGRx, true);
    EXPECT_LT(spa_pod_filter(&b, &result, gpu, ours), 0);

    for (spa_video_format format : {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBA}) {
        const spa_pod* memoryOffer = CompositorOffer(b, format, false);
        ASSERT_GE(spa_pod_filter(&b, &result, memoryOffer, ours), 0);
        ASSERT_GE(spa_pod_fixate(result), 0);
        spa_video_info_raw info{};
        ASSERT_GE(spa_format_video_raw_parse(result, &info), 0);
        EXPECT_EQ(info.format, format);
        EXPECT_EQ(info.size.width, 2560u);
        EXPECT_EQ(info.max_framerate.num, 2u);
        EXPECT_EQ(info.max_framerate.denom, 1u);
        EXPECT_EQ(spa_pod_find_prop(result, nullptr, SPA_FORMAT_VIDEO_modifier), nullptr);
    }
    const spa_pod* packed = CompositorOffer(b, SPA_VIDEO_FORMAT_RGB, false);
    EXPECT_LT(spa_pod_filter(&b, &result, packed, ours), 0);
}

}  // namespace
}  // namespace ruvello
