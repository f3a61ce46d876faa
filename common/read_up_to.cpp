#include "read_up_to.h"

#include <cerrno>
#include <unistd.h>

std::size_t read_up_to(int fd, unsigned char *buf, std::size_t len, int *error)
{
    std::size_t got = 0;
    if (error)
        *error = 0;
    while (got < len) {
        ssize_t n = read(fd, buf + got, len - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && error)
            *error = errno;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}
