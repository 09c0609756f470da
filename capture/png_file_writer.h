#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "png/png_encoder.h"

namespace ruvello {

// The last step of every capture route: a screen image to a PNG file. Keep one writer for a
// series of shots: the encoder's working memory and the file's bytes are kept between them.
class PngFileWriter {
  public:
    // Encodes `image` and writes it at exactly `path`, replacing a file there, so that a reader
    // never sees half a file under that name. True exactly when the file was written; otherwise
    // no file is left behind. `unchanged`: the image holds the very pixels of the last call's,
    // whose file is written again without encoding (a file depends only on its pixels).
    bool Write(const PixelRows& image, const std::string& path, bool unchanged = false);

  private:
    PngEncoder encoder_;
    std::vector<std::uint8_t> png_;  // the last image's file; its memory kept between shots
    bool encoded_ = false;           // png_ is the file of the last call's image
};

}  // namespace ruvello
