#include "capture/png_file_writer.h"

#include <new>

#include "platform/atomic_file_posix.h"

namespace ruvello {

bool PngFileWriter::Write(const PixelRows& image, const std::string& path) {
    try {
        encoder_.Encode(image, png_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return WriteFileAtomically(path, png_.data(), png_.size());
}

}  // namespace ruvello
