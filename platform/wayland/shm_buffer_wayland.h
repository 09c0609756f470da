#pragma once

#include <cstddef>
#include <cstdint>

struct wl_buffer;
struct wl_shm;

namespace ruvello {

// A wl_shm buffer in memory of the program's own, shared with the compositor, which copies
// pictures into it or shows it. Kept for the next use while the shape stays the same.
class ShmBuffer {
  public:
    ShmBuffer() = default;
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    // A buffer of this shape (a wl_shm format code), reusing the present one when it has it.
    // False, and no buffer, when memory or the compositor refuse it.
    bool Ready(wl_shm* shm, std::int32_t width, std::int32_t height, std::int32_t stride,
               std::uint32_t format);
    void Release();
    // Whether the buffer has this shape, so that Ready keeps it and what it holds.
    bool Has(std::int32_t width, std::int32_t height, std::int32_t stride,
             std::uint32_t format) const;
    // Gives the memory's pages back to the system; the buffer stays, reading as zeros, until
    // the compositor or the program writes it again.
    void GiveBackPages();

    wl_buffer* Buffer() const { return buffer_; }
    std::uint8_t* Data() const { return data_; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::size_t Stride() const { return static_cast<std::size_t>(stride_); }
    std::uint32_t Format() const { return format_; }

  private:
    wl_buffer* buffer_ = nullptr;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::int32_t width_ = 0, height_ = 0, stride_ = 0;
    std::uint32_t format_ = 0;
};

}  // namespace ruvello
