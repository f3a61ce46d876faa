// Owners of the few resources the tools hold: file descriptors and malloc'ed buffers. They own and
// release; they do nothing else.
#pragma once

#include <cstdlib>
#include <memory>
#include <unistd.h>

// A move-only file descriptor; closes once, never retries close.
struct unique_fd {
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() { reset(); }
    unique_fd(unique_fd &&o) noexcept : fd_(o.release()) {}
    unique_fd &operator=(unique_fd &&o) noexcept
    {
        if (this != &o)
            reset(o.release());
        return *this;
    }
    unique_fd(const unique_fd &) = delete;
    unique_fd &operator=(const unique_fd &) = delete;

    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

struct free_deleter {
    void operator()(void *p) const { free(p); }
};

// A buffer from malloc, released with free.
template <class T>
using malloc_ptr = std::unique_ptr<T, free_deleter>;
using byte_buffer = malloc_ptr<unsigned char>;
