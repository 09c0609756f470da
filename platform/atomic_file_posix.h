#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ruvello {

// Writes `size` bytes to a hidden temporary file beside `path`, then renames it to `path`,
// replacing an existing file: a reader never finds half a file under the final name, and a
// temporary file left by a crash is a dot file that nothing counts and the next start removes
// (TemporaryPattern). The file is its owner's alone (kPrivateFileMode). False when nothing was
// written.
bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace ruvello
