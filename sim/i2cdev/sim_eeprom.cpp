// A 24Cxx-style serial EEPROM with a one-byte word address, backed by one file per device. The
// file is read and written on every message so that a test sees each stored byte at once and may
// change the contents between two programs.
#include "sim_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace i2csim
{
namespace
{

constexpr size_t PAGE_SIZE = 16;      // bytes; a 24C02's page buffer
constexpr int MAX_DEVICE_STATES = 64; // devices one process can talk to
constexpr long long NS_PER_US = 1000;

// What a device remembers between messages within one process: its current-address pointer
// (0 at power-up) and the end of the write cycle it is in.
struct device_state {
    bool used;
    int bus;
    int addr;
    size_t pointer;
    long long cycle_end_ns; // CLOCK_MONOTONIC
};

device_state g_states[MAX_DEVICE_STATES];
device_state g_overflow_state; // shared by any devices beyond the table; never crashes

device_state *state_of(int bus, int addr)
{
    for (device_state &s : g_states) {
        if (s.used && s.bus == bus && s.addr == addr)
            return &s;
    }
    for (device_state &s : g_states) {
        if (!s.used) {
            s = device_state{true, bus, addr, 0, 0};
            return &s;
        }
    }
    return &g_overflow_state;
}

long long now_ns()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// The device's backing file, opened for this one message; -1 when the device is absent.
int open_device_file(int bus, int addr)
{
    char path[SIM_PATH_MAX + 32];
    snprintf(path, sizeof path, "%s/i2c-%d-%02x", config().dir, bus, addr);
    return real_open(path, O_RDWR | O_CLOEXEC, 0);
}

bool read_all(int fd, unsigned char *buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = pread(fd, buf + done, size - done, static_cast<off_t>(done));
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool write_all(int fd, const unsigned char *buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t put = pwrite(fd, buf + done, size - done, static_cast<off_t>(done));
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Every offset a read of len bytes from pointer touches, with wrap-around at the end of memory.
bool read_hits_fault(const fault_rule *rule, size_t pointer, size_t len, size_t size)
{
    if (!rule)
        return false;
    for (size_t i = 0; i < len; ++i) {
        if (static_cast<long>((pointer + i) % size) >= rule->k)
            return true;
    }
    return false;
}

// Data bytes of a page write land inside the page of the word address and wrap at its end.
size_t page_offset(size_t word_addr, size_t i, size_t size)
{
    size_t page = size < PAGE_SIZE ? size : PAGE_SIZE;
    size_t base = word_addr - word_addr % page;
    return (base + (word_addr % page + i) % page) % size;
}

msg_result message_on_image(device_state *st, int bus, int addr, bool read, unsigned char *buf,
                            size_t len, unsigned char *image, size_t size, bool *stored)
{
    if (read) {
        if (read_hits_fault(find_fault(FAULT_READ_FAIL, bus, addr), st->pointer, len, size))
            return {EIO, MSG_NACK};
        for (size_t i = 0; i < len; ++i) {
            buf[i] = image[st->pointer];
            st->pointer = (st->pointer + 1) % size;
        }
        return {0, MSG_OK};
    }
    if (len == 0)
        return {0, MSG_OK};
    size_t word_addr = buf[0] % size;
    st->pointer = word_addr;
    if (len == 1)
        return {0, MSG_OK};
    const fault_rule *wf = find_fault(FAULT_WRITE_FAIL, bus, addr);
    for (size_t i = 0; wf && i + 1 < len; ++i) {
        if (static_cast<long>(page_offset(word_addr, i, size)) == wf->k)
            return {EIO, MSG_NACK};
    }
    // A protected device takes the data bytes like any others, but its memory and write cycle
    // never see them.
    bool protect = find_fault(FAULT_WRITE_PROTECT, bus, addr) != nullptr;
    for (size_t i = 0; !protect && i + 1 < len; ++i)
        image[page_offset(word_addr, i, size)] = buf[i + 1];
    st->pointer = (page_offset(word_addr, len - 2, size) + 1) % size;
    *stored = !protect;
    return {0, MSG_OK};
}

} // namespace

msg_result eeprom_message(int bus, int addr, bool read, unsigned char *buf, size_t len)
{
    if (addr > 0x7f || find_fault(FAULT_NACK, bus, addr))
        return {ENXIO, MSG_NACK};
    int fd = open_device_file(bus, addr);
    if (fd < 0)
        return {ENXIO, MSG_NACK};
    struct stat sb;
    if (fstat(fd, &sb) != 0 || sb.st_size <= 0) {
        real_close(fd);
        return {ENXIO, MSG_NACK};
    }
    device_state *st = state_of(bus, addr);
    if (st->cycle_end_ns && now_ns() < st->cycle_end_ns) {
        real_close(fd);
        return {ENXIO, MSG_BUSY};
    }
    size_t size = static_cast<size_t>(sb.st_size);
    unsigned char *image = static_cast<unsigned char *>(malloc(size));
    if (!image || !read_all(fd, image, size)) {
        free(image);
        real_close(fd);
        return {EIO, MSG_NACK};
    }
    st->pointer %= size;
    bool stored = false;
    msg_result r = message_on_image(st, bus, addr, read, buf, len, image, size, &stored);
    if (stored) {
        if (!write_all(fd, image, size))
            r = {EIO, MSG_NACK};
        else if (config().busy_us > 0)
            st->cycle_end_ns = now_ns() + config().busy_us * NS_PER_US;
    }
    free(image);
    real_close(fd);
    return r;
}

const char *status_word(const msg_result &r)
{
    switch (r.status) {
    case MSG_OK:
        return "ok";
    case MSG_NACK:
        return "nack";
    case MSG_BUSY:
        return "busy";
    case MSG_UNSUPPORTED:
        return "unsupported";
    }
    return "?";
}

} // namespace i2csim
