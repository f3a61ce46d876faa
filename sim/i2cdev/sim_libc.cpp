// The libc entry points the emulation stands in front of. Opens of /dev/i2c-N hand out a real
// descriptor (of /dev/null) so numbers stay unique and anything the emulation does not answer
// still behaves like a harmless device; every other call goes straight to the C library.
//
// The large-file and 64-bit-time macros would rename these functions; the interposers must keep
// the plain names, so they are switched off for this file only.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS

#include "sim_internal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace i2csim
{
namespace
{

constexpr int MAX_SIM_FDS = 256;    // open bus descriptors at one time
constexpr size_t MAX_RW_LEN = 8192; // bytes; i2c-dev clamps plain reads and writes to this
constexpr const char DEV_PREFIX[] = "/dev/i2c-";
constexpr const char DEV_DIR_PREFIX[] = "/dev/i2c/";

sim_fd g_fds[MAX_SIM_FDS];
int g_n_fds = 0; // highest used slot + 1

template <class F>
F next_symbol(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using open_fn = int (*)(const char *, int, ...);
using openat_fn = int (*)(int, const char *, int, ...);
using close_fn = int (*)(int);
using read_fn = ssize_t (*)(int, void *, size_t);
using write_fn = ssize_t (*)(int, const void *, size_t);
using ioctl_fn = int (*)(int, unsigned long, ...);

#define REAL(type, name)                                                                           \
    static type real = nullptr;                                                                    \
    if (!real)                                                                                     \
        real = next_symbol<type>(name);

sim_fd *find_fd(int fd)
{
    if (fd < 0)
        return nullptr;
    for (int i = 0; i < g_n_fds; ++i) {
        if (g_fds[i].fd == fd)
            return &g_fds[i];
    }
    return nullptr;
}

sim_fd *add_fd()
{
    for (int i = 0; i < MAX_SIM_FDS; ++i) {
        if (g_fds[i].fd < 0 || i >= g_n_fds) {
            if (i >= g_n_fds)
                g_n_fds = i + 1;
            return &g_fds[i];
        }
    }
    return nullptr;
}

// A descriptor number the C library handed out again must not stay known as a bus.
void forget_fd(int fd)
{
    sim_fd *f = find_fd(fd);
    if (f)
        f->fd = -1;
}

// 1: a /dev/i2c-N name (bus set, -1 when N is no plain decimal number); 2: a /dev/i2c/N name,
// which the board does not have; 0: anything else.
int classify(const char *path, int *bus)
{
    if (!path)
        return 0;
    if (!strncmp(path, DEV_DIR_PREFIX, sizeof DEV_DIR_PREFIX - 1))
        return 2;
    if (strncmp(path, DEV_PREFIX, sizeof DEV_PREFIX - 1))
        return 0;
    const char *num = path + sizeof DEV_PREFIX - 1;
    size_t len = strlen(num);
    bool plain = len > 0 && len < 8 && (num[0] != '0' || len == 1);
    int n = 0; // at most 7 digits: no overflow
    for (size_t i = 0; plain && i < len; ++i) {
        plain = num[i] >= '0' && num[i] <= '9';
        n = n * 10 + (num[i] - '0');
    }
    *bus = plain ? n : -1;
    return 1;
}

// Takes over the open when the emulation owns the path; *handled tells the caller.
int sim_open(const char *path, int flags, bool *handled)
{
    *handled = false;
    int bus = -1;
    int kind = classify(path, &bus);
    if (!kind || !config().active)
        return -1;
    *handled = true;
    if (kind == 2 || bus < 0 || !bus_exists(bus)) {
        if (kind == 1)
            log_line("open %s ENOENT", path);
        errno = ENOENT;
        return -1;
    }
    int fd = real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC), 0);
    if (fd < 0)
        return -1;
    forget_fd(fd);
    sim_fd *f = add_fd();
    if (!f) {
        real_close(fd);
        errno = EMFILE;
        return -1;
    }
    *f = sim_fd{fd, bus, 0, flags & O_ACCMODE, false};
    log_line("open %s fd=%d", path, fd);
    return fd;
}

// The mode argument is there only when the flags create a file.
mode_t mode_argument(int flags, va_list ap)
{
    bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    return creates ? va_arg(ap, mode_t) : 0;
}

// The open entry points of the C library, each with the one to use where it is missing.
enum open_entry { OPEN_PLAIN, OPEN_PLAIN_64, OPEN_AT, OPEN_AT_64 };

struct open_symbol {
    const char *name;
    const char *fallback; // null: none needed
};

constexpr open_symbol OPEN_SYMBOLS[] = {
    {"open", nullptr},
    {"open64", "open"},
    {"openat", nullptr},
    {"openat64", "openat"},
};

// Every open entry point comes here: the emulation takes the bus nodes, the C library's
// function of the same name (or its fallback) the rest. A descriptor number the C library
// hands out again must not stay known as a bus.
int route_open(open_entry entry, int dirfd, const char *path, int flags, mode_t mode)
{
    bool handled;
    int fd = sim_open(path, flags, &handled);
    if (handled)
        return fd;
    static void *resolved[sizeof OPEN_SYMBOLS / sizeof OPEN_SYMBOLS[0]];
    void *&real = resolved[entry];
    if (!real)
        real = dlsym(RTLD_NEXT, OPEN_SYMBOLS[entry].name);
    if (!real && OPEN_SYMBOLS[entry].fallback)
        real = dlsym(RTLD_NEXT, OPEN_SYMBOLS[entry].fallback);
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    bool at = entry == OPEN_AT || entry == OPEN_AT_64;
    fd = at ? reinterpret_cast<openat_fn>(real)(dirfd, path, flags, mode)
            : reinterpret_cast<open_fn>(real)(path, flags, mode);
    if (fd >= 0)
        forget_fd(fd);
    return fd;
}

ssize_t sim_transfer(sim_fd *f, bool read, void *buf, size_t len)
{
    bool allowed = read ? f->acc_mode != O_WRONLY : f->acc_mode != O_RDONLY;
    if (!allowed) {
        errno = EBADF;
        return -1;
    }
    if (len > MAX_RW_LEN)
        len = MAX_RW_LEN;
    unsigned char *bytes = static_cast<unsigned char *>(buf);
    // An SMBus-only controller has no plain I2C transfers at all (no master_xfer in the kernel).
    msg_result r = smbus_only(f->bus) ? msg_result{EOPNOTSUPP, MSG_UNSUPPORTED}
                   : f->tenbit        ? msg_result{ENXIO, MSG_NACK}
                                      : eeprom_message(f->bus, f->addr, read, bytes, len);
    log_message(f->bus, f->addr, read, bytes, len, r);
    if (r.err) {
        errno = r.err;
        return -1;
    }
    return static_cast<ssize_t>(len);
}

// Both ioctl entry points come here: the emulation answers on its own descriptors, the C
// library's function of the same name (ioctl where the time64 one is missing) on all others.
int route_ioctl(bool time64, int fd, unsigned long request, void *arg)
{
    sim_fd *f = find_fd(fd);
    if (f)
        return handle_ioctl(f, request, arg);
    static ioctl_fn real[2];
    ioctl_fn &chosen = real[time64 ? 1 : 0];
    if (!chosen)
        chosen = next_symbol<ioctl_fn>(time64 ? "__ioctl_time64" : "ioctl");
    if (!chosen)
        chosen = next_symbol<ioctl_fn>("ioctl");
    if (!chosen) {
        errno = ENOSYS;
        return -1;
    }
    return chosen(fd, request, arg);
}

} // namespace

int real_open(const char *path, int flags, mode_t mode)
{
    REAL(open_fn, "open");
    return real(path, flags, mode);
}

int real_close(int fd)
{
    REAL(close_fn, "close");
    return real(fd);
}

ssize_t real_read(int fd, void *buf, size_t len)
{
    REAL(read_fn, "read");
    return real(fd, buf, len);
}

ssize_t real_write(int fd, const void *buf, size_t len)
{
    REAL(write_fn, "write");
    return real(fd, buf, len);
}

} // namespace i2csim

using namespace i2csim;

SIM_EXPORT int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return route_open(OPEN_PLAIN, AT_FDCWD, path, flags, mode);
}

SIM_EXPORT int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return route_open(OPEN_PLAIN_64, AT_FDCWD, path, flags, mode);
}

// Relative names below a directory descriptor are never the bus nodes' absolute paths.
SIM_EXPORT int openat(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return route_open(OPEN_AT, dirfd, path, flags, mode);
}

SIM_EXPORT int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return route_open(OPEN_AT_64, dirfd, path, flags, mode);
}

// The fortified callers' entries (a two-argument open whose flags the compiler could not see).
SIM_EXPORT int __open_2(const char *path, int flags)
{
    return open(path, flags);
}

SIM_EXPORT int __open64_2(const char *path, int flags)
{
    return open64(path, flags);
}

SIM_EXPORT int __openat_2(int dirfd, const char *path, int flags)
{
    return openat(dirfd, path, flags);
}

SIM_EXPORT int __openat64_2(int dirfd, const char *path, int flags)
{
    return openat64(dirfd, path, flags);
}

SIM_EXPORT int close(int fd)
{
    sim_fd *f = find_fd(fd);
    if (f) {
        f->fd = -1;
        log_line("close fd=%d", fd);
    }
    return real_close(fd);
}

SIM_EXPORT ssize_t read(int fd, void *buf, size_t len)
{
    sim_fd *f = find_fd(fd);
    if (f)
        return sim_transfer(f, true, buf, len);
    return real_read(fd, buf, len);
}

extern "C" void __chk_fail(void) __attribute__((noreturn));

SIM_EXPORT ssize_t __read_chk(int fd, void *buf, size_t len, size_t buflen)
{
    if (len > buflen)
        __chk_fail();
    return read(fd, buf, len);
}

SIM_EXPORT ssize_t write(int fd, const void *buf, size_t len)
{
    sim_fd *f = find_fd(fd);
    if (f)
        return sim_transfer(f, false, const_cast<void *>(buf), len);
    return real_write(fd, buf, len);
}

SIM_EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return route_ioctl(false, fd, request, arg);
}

// 32-bit programs built with 64-bit time_t call this name instead of ioctl.
SIM_EXPORT int __ioctl_time64(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return route_ioctl(true, fd, request, arg);
}
