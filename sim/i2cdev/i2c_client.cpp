// A small program that drives i2c-dev the way a tool does, one step per argument, and prints the
// result of every step on its own line. The emulation's tests preload the library into it, so
// each call goes through the same libc entry points a real program uses.
//
// Steps (numbers in hex unless noted):
//   open PATH | open-wo PATH | open64 PATH | openat PATH | open2 PATH   -> "open=FD" / "open=-1
//   ENOENT" slave ADDR | force ADDR | funcs | tenbit 0|1 | ioctl-unknown write BYTES
//   (comma-separated, e.g. 00,12) | read N (decimal) rb CMD | wb CMD VAL | rbyte | wbyte CMD |
//   quick | rw CMD | ww CMD WORD | rblock CMD N wblock CMD BYTES | wsblock CMD BYTES | rsblock CMD
//   | rdwr ADDR BYTES N (write then read N) close | sleep-ms N (decimal)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <i2c/smbus.h>
int __open_2(const char *path, int flags);
}

namespace
{

const char *errno_name(int err)
{
    switch (err) {
    case ENOENT:
        return "ENOENT";
    case ENXIO:
        return "ENXIO";
    case EIO:
        return "EIO";
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    case EBADF:
        return "EBADF";
    case ENOTTY:
        return "ENOTTY";
    case EOPNOTSUPP:
        return "EOPNOTSUPP";
    default:
        return strerror(err);
    }
}

unsigned long hex(const char *s)
{
    return strtoul(s, nullptr, 16);
}

std::vector<unsigned char> bytes(const char *list)
{
    std::vector<unsigned char> out;
    const char *p = list;
    while (*p) {
        char *end = nullptr;
        out.push_back(static_cast<unsigned char>(strtoul(p, &end, 16)));
        p = *end == ',' ? end + 1 : end;
    }
    return out;
}

void print_bytes(const unsigned char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        printf(" %02x", b[i]);
}

// Prints "name=result" and, on failure, the errno name.
void report(const char *name, long result)
{
    if (result < 0)
        printf("%s=-1 %s\n", name, errno_name(errno));
    else
        printf("%s=%ld\n", name, result);
}

// libi2c's helpers return -errno on failure.
void report_smbus(const char *name, int result)
{
    if (result < 0)
        printf("%s=-1 %s\n", name, errno_name(-result));
    else
        printf("%s=%02x\n", name, result);
}

} // namespace

int main(int argc, char **argv)
{
    int fd = -1;
    int i = 1;
    auto arg = [&]() -> const char * {
        if (i >= argc) {
            fprintf(stderr, "missing argument\n");
            exit(2);
        }
        return argv[i++];
    };
    while (i < argc) {
        const char *op = argv[i++];
        if (!strcmp(op, "open")) {
            fd = open(arg(), O_RDWR);
            report("open", fd);
        } else if (!strcmp(op, "open-wo")) {
            fd = open(arg(), O_WRONLY);
            report("open", fd);
        } else if (!strcmp(op, "open64")) {
            fd = open64(arg(), O_RDWR);
            report("open", fd);
        } else if (!strcmp(op, "openat")) {
            fd = openat(AT_FDCWD, arg(), O_RDWR);
            report("open", fd);
        } else if (!strcmp(op, "open2")) {
            fd = __open_2(arg(), O_RDWR);
            report("open", fd);
        } else if (!strcmp(op, "close")) {
            report("close", close(fd));
        } else if (!strcmp(op, "slave")) {
            report("slave", ioctl(fd, I2C_SLAVE, hex(arg())));
        } else if (!strcmp(op, "force")) {
            report("force", ioctl(fd, I2C_SLAVE_FORCE, hex(arg())));
        } else if (!strcmp(op, "tenbit")) {
            report("tenbit", ioctl(fd, I2C_TENBIT, hex(arg())));
        } else if (!strcmp(op, "ioctl-unknown")) {
            report("ioctl", ioctl(fd, 0x0799, 0UL));
        } else if (!strcmp(op, "funcs")) {
            unsigned long funcs = 0;
            int r = ioctl(fd, I2C_FUNCS, &funcs);
            if (r < 0)
                report("funcs", r);
            else
                printf("funcs=%08lx\n", funcs);
        } else if (!strcmp(op, "write")) {
            std::vector<unsigned char> b = bytes(arg());
            report("write", write(fd, b.data(), b.size()));
        } else if (!strcmp(op, "read")) {
            size_t n = strtoul(arg(), nullptr, 10);
            std::vector<unsigned char> b(n + 1);
            ssize_t r = read(fd, b.data(), n);
            if (r < 0) {
                report("read", r);
            } else {
                printf("read=%zd", r);
                print_bytes(b.data(), static_cast<size_t>(r));
                printf("\n");
            }
        } else if (!strcmp(op, "rb")) {
            report_smbus("rb",
                         i2c_smbus_read_byte_data(fd, static_cast<unsigned char>(hex(arg()))));
        } else if (!strcmp(op, "wb")) {
            unsigned char cmd = static_cast<unsigned char>(hex(arg()));
            unsigned char val = static_cast<unsigned char>(hex(arg()));
            report_smbus("wb", i2c_smbus_write_byte_data(fd, cmd, val));
        } else if (!strcmp(op, "rbyte")) {
            report_smbus("rbyte", i2c_smbus_read_byte(fd));
        } else if (!strcmp(op, "wbyte")) {
            report_smbus("wbyte", i2c_smbus_write_byte(fd, static_cast<unsigned char>(hex(arg()))));
        } else if (!strcmp(op, "quick")) {
            report_smbus("quick", i2c_smbus_write_quick(fd, I2C_SMBUS_WRITE));
        } else if (!strcmp(op, "rw")) {
            int r = i2c_smbus_read_word_data(fd, static_cast<unsigned char>(hex(arg())));
            if (r < 0)
                report_smbus("rw", r);
            else
                printf("rw=%04x\n", r);
        } else if (!strcmp(op, "ww")) {
            unsigned char cmd = static_cast<unsigned char>(hex(arg()));
            unsigned short w = static_cast<unsigned short>(hex(arg()));
            report_smbus("ww", i2c_smbus_write_word_data(fd, cmd, w));
        } else if (!strcmp(op, "rblock")) {
            unsigned char cmd = static_cast<unsigned char>(hex(arg()));
            unsigned char n = static_cast<unsigned char>(strtoul(arg(), nullptr, 10));
            unsigned char b[I2C_SMBUS_BLOCK_MAX];
            int r = i2c_smbus_read_i2c_block_data(fd, cmd, n, b);
            if (r < 0) {
                report_smbus("rblock", r);
            } else {
                printf("rblock=%d", r);
                print_bytes(b, static_cast<size_t>(r));
                printf("\n");
            }
        } else if (!strcmp(op, "wblock") || !strcmp(op, "wsblock")) {
            bool smbus_block = op[1] == 's';
            unsigned char cmd = static_cast<unsigned char>(hex(arg()));
            std::vector<unsigned char> b = bytes(arg());
            unsigned char n = static_cast<unsigned char>(b.size());
            int r = smbus_block ? i2c_smbus_write_block_data(fd, cmd, n, b.data())
                                : i2c_smbus_write_i2c_block_data(fd, cmd, n, b.data());
            report_smbus(op, r);
        } else if (!strcmp(op, "rsblock")) {
            unsigned char b[I2C_SMBUS_BLOCK_MAX];
            report_smbus("rsblock",
                         i2c_smbus_read_block_data(fd, static_cast<unsigned char>(hex(arg())), b));
        } else if (!strcmp(op, "rdwr")) {
            unsigned short addr = static_cast<unsigned short>(hex(arg()));
            std::vector<unsigned char> out = bytes(arg());
            size_t n = strtoul(arg(), nullptr, 10);
            std::vector<unsigned char> in(n + 1);
            i2c_msg msgs[2] = {
                {addr, 0, static_cast<__u16>(out.size()), out.data()},
                {addr, I2C_M_RD, static_cast<__u16>(n), in.data()},
            };
            i2c_rdwr_ioctl_data data = {msgs, 2};
            int r = ioctl(fd, I2C_RDWR, &data);
            if (r < 0) {
                report("rdwr", r);
            } else {
                printf("rdwr=%d", r);
                print_bytes(in.data(), n);
                printf("\n");
            }
        } else if (!strcmp(op, "sleep-ms")) {
            long ms = strtol(arg(), nullptr, 10);
            struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
            while (nanosleep(&t, &t) != 0 && errno == EINTR) {
            }
        } else {
            fprintf(stderr, "unknown step %s\n", op);
            return 2;
        }
    }
    return 0;
}
