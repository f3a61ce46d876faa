#include "serial_link.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
constexpr int RECEIVE_CYCLE_MS = 10; // one readiness wait of a receive cycle

// VMIN/VTIME do not shape our reads (the descriptor stays non-blocking) but are set to fixed
// values so the port is in a known state for anything else that reads it.
constexpr cc_t RAW_VMIN = 0;
constexpr cc_t RAW_VTIME = 10; // tenths of a second

bool apply_raw_settings(int fd, speed_t speed)
{
    struct termios tio {
    };
    // Only the flags below are changed; character size, parity, CR/NL translations and the
    // rest stay as the device had them.
    tcgetattr(fd, &tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE);
    tio.c_cc[VMIN] = RAW_VMIN;
    tio.c_cc[VTIME] = RAW_VTIME;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Waits at most one cycle for the port to become readable. poll, unlike an fd_set, takes any
// descriptor number: a process with many files open gets a port above 1023.
void wait_readable(int fd)
{
    struct pollfd port = {fd, POLLIN, 0};
    poll(&port, 1, RECEIVE_CYCLE_MS);
}
} // namespace

comm_open_result open_comm_port(const char *devnode, speed_t speed, int *fd)
{
    // Deliberately no other flag, not even O_NOCTTY: the tool runs from a shell that already has
    // its controlling terminal, so opening the port cannot make it one.
    int port = open(devnode, O_RDWR | O_NONBLOCK);
    if (port < 0)
        return COMM_OPEN_FAILED;
    // Settings and queues are shared by everyone who has the port open: another updater on it
    // must find the port taken before this run touches either.
    if (flock(port, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(port);
        return COMM_PORT_BUSY;
    }
    if (!apply_raw_settings(port, speed)) {
        close(port);
        return COMM_CONFIG_FAILED;
    }
    // Whatever the AVR or line noise left queued before this run is discarded, once.
    tcflush(port, TCIOFLUSH);
    *fd = port;
    return COMM_OPEN_OK;
}

avr_send_result avr_send(int fd, const unsigned char *buf, std::size_t len)
{
    ssize_t written = write(fd, buf, len);
    if (written < 0 || static_cast<std::size_t>(written) != len)
        return AVR_SEND_FAILED;
    tcdrain(fd);
    return AVR_SENT;
}

int avr_receive(int fd, unsigned char *buf, int wanted, int idle_limit)
{
    int received = 0;
    int idle_left = idle_limit;
    for (;;) {
        wait_readable(fd);
        ssize_t got = read(fd, buf + received, static_cast<std::size_t>(wanted - received));
        // No data, end of file and read errors are all just an idle cycle.
        if (got > 0) {
            received += static_cast<int>(got);
            idle_left = idle_limit;
        }
        if (received >= wanted)
            return received;
        if (idle_left == 0)
            return received;
        --idle_left;
    }
}
