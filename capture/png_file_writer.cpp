#include "capture/png_file_writer.h"

#include "platform/atomic_file_posix.h"
#include "platform/failure.h"

namespace ruvello {

// Memory that runs out, in the encoder or for the paths, is a shot that failed like any other.
bool PngFileWriter::Write(const PixelRows& image, const std::string& path, bool unchanged) {
    return FalseOnFailure([&] {
        if (!unchanged || !encoded_) {
            encoded_ = false;
            encoder_.Encode(image, png_);
            encoded_ = true;
        }
        return WriteFileAtomically(path, png_.data(), png_.size());
    });
}

}  // namespace ruvello
