#pragma once

#include <unistd.h>

namespace ruvello {

// A file descriptor closed on every path.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

}  // namespace ruvello
