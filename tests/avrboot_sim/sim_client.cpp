#include "sim_client.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

int client_open(const std::string &path)
{
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct termios t;
    if (tcgetattr(fd, &t) != 0) {
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool client_send(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EAGAIN) {
            struct pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

std::string client_recv(int fd, std::size_t wanted, int idle_ms, bool *failed)
{
    std::string got;
    if (failed)
        *failed = false;
    while (got.size() < wanted) {
        struct pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, idle_ms);
        if (r == 0)
            break;
        char buf[512];
        std::size_t n = std::min(sizeof buf, wanted - got.size());
        ssize_t k = read(fd, buf, n);
        if (k < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (k <= 0) {
            if (failed)
                *failed = true;
            break;
        }
        got.append(buf, static_cast<std::size_t>(k));
    }
    return got;
}

std::string block_data(int seed)
{
    std::string b(256, '\0');
    for (int i = 0; i < 256; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<char>((i * 7 + seed * 31 + 1) & 0xFF);
    return b;
}

std::string flash_stamp(const std::vector<unsigned char> &flash, std::size_t len)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= len; i += 4)
        sum += flash[i] | (flash[i + 1] << 8) | (flash[i + 2] << 16) |
               (static_cast<std::uint32_t>(flash[i + 3]) << 24);
    std::string s(8, '\0');
    s[0] = static_cast<char>(sum >> 24);
    s[1] = static_cast<char>(sum >> 16);
    s[2] = static_cast<char>(sum >> 8);
    s[3] = static_cast<char>(sum);
    s[6] = static_cast<char>(len & 0xFC);
    s[7] = static_cast<char>((len >> 8) & 0xFF);
    return s;
}

double now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}
