#include "platform/wayland/shm_buffer_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <limits>

namespace ruvello {

ShmBuffer::~ShmBuffer() {
    Release();
}

void ShmBuffer::Release() {
    ReleaseObject(buffer_, wl_buffer_destroy);
    if (data_) {
        munmap(data_, size_);
        data_ = nullptr;
    }
    size_ = 0;
    width_ = height_ = stride_ = 0;
}

bool ShmBuffer::Has(std::int32_t width, std::int32_t height, std::int32_t stride,
                    std::uint32_t format) const {
    return buffer_ && width == width_ && height == height_ && stride == stride_ &&
           format == format_;
}

// Shared memory (memfd) is freed by MADV_REMOVE for every mapping of it, the compositor's too.
void ShmBuffer::GiveBackPages() {
    if (data_) {
        madvise(data_, size_, MADV_REMOVE);
    }
}

bool ShmBuffer::Ready(wl_shm* shm, std::int32_t width, std::int32_t height, std::int32_t stride,
                      std::uint32_t format) {
    if (Has(width, height, stride, format)) {
        return true;
    }
    Release();
    const auto size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (!shm || width <= 0 || height <= 0 || stride < 4 * width ||
        size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    const int fd = memfd_create("ruvello-shm", MFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    void* data = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
        data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (data == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory
    close(fd);                  // the compositor has its own descriptor
    data_ = static_cast<std::uint8_t*>(data);
    size_ = size;
    width_ = width;
    height_ = height;
    stride_ = stride;
    format_ = format;
    return buffer_ != nullptr;
}

}  // namespace ruvello
