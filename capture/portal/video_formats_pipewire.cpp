#include "capture/portal/video_formats_pipewire.h"

#include <algorithm>

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/format.h>
#include <spa/param/param.h>
#include <spa/param/video/raw.h>
#include <spa/pod/builder.h>
#include "capture/portal/spa_macros_pipewire.h"

namespace ruvello {
namespace {

struct StreamFormat {
    spa_video_format spa;
    PixelOrder order;
};

// BGRx first: the order most compositors keep their frames in and the composer's own.
constexpr StreamFormat kStreamFormats[] = {
    {SPA_VIDEO_FORMAT_BGRx, PixelOrder::kBgrx},
    {SPA_VIDEO_FORMAT_BGRA, PixelOrder::kBgrx},
    {SPA_VIDEO_FORMAT_RGBx, PixelOrder::kRgbx},
    {SPA_VIDEO_FORMAT_RGBA, PixelOrder::kRgbx},
};

}  // namespace

std::optional<PixelOrder> PixelOrderOfVideoFormat(std::uint32_t spaVideoFormat) {
    for (const StreamFormat& format : kStreamFormats) {
        if (format.spa == spaVideoFormat) {
            return format.order;
        }
    }
    return std::nullopt;
}

const spa_pod* BuildStreamFormats(spa_pod_builder& builder, std::uint32_t maxFramesPerSecond) {
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), 0);

    spa_pod_frame choice{};
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&builder, kStreamFormats[0].spa);  // the preferred one, then all
    for (const StreamFormat& format : kStreamFormats) {
        spa_pod_builder_id(&builder, format.spa);
    }
    spa_pod_builder_pop(&builder, &choice);

    const spa_rectangle size{1920, 1080};
    const spa_rectangle smallest{1, 1};
    const spa_rectangle largest{16384, 16384};
    const spa_fraction variable{0, 1};
    const spa_fraction most{maxFramesPerSecond, 1};
    const spa_fraction least{0, 1};
    spa_pod_builder_add(
        &builder, SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&most, &least, &most), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

std::uint32_t BuildBufferParams(spa_pod_builder& builder, const spa_pod* params[2],
                                std::uint32_t buffers) {
    const int wanted = static_cast<int>(std::clamp(buffers, 2u, 16u));
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(wanted, 2, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    return 2;
}

}  // namespace ruvello
