// A small program that drives i2c-dev the way a tool does, one step per argument, and prints the
// result of every step on its own line. The emulation's tests preload the library into it, so
// each call goes through the same libc entry points a real program uses.
//
// Steps (numbers in hex unless noted; every step prints "name=result"):
//   open PATH, open-wo PATH, open64 PATH, openat PATH, open2 PATH  ("open=-1 ENOENT" on failure)
//   close, slave ADDR, force ADDR, funcs, tenbit 0|1, ioctl-unknown
//   write BYTES (comma-separated, e.g. 00,12), read N (decimal)
//   rb CMD, wb CMD VAL, rbyte, wbyte CMD, quick, rw CMD, ww CMD WORD
//   rblock CMD N (decimal), rsblock CMD, wblock CMD BYTES, wsblock CMD BYTES
//   rdwr ADDR BYTES N (a write, then a read of N bytes, in one transaction)
//   sleep-ms N (decimal)
// A count N of read and rdwr is at most 65535, of rblock at most 255; a missing argument or another
// count ends the run with status 2.
#include <algorithm>
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

// The command line being worked through and the bus descriptor the steps share.
struct session {
    int argc;
    char **argv;
    int next; // index of the next argument
    int fd;
};

const char *take_arg(session &s)
{
    if (s.next >= s.argc) {
        fprintf(stderr, "missing argument\n");
        exit(2);
    }
    return s.argv[s.next++];
}

unsigned long take_hex(session &s)
{
    return hex(take_arg(s));
}

unsigned char take_byte(session &s)
{
    return static_cast<unsigned char>(take_hex(s));
}

// The largest transfer one i2c-dev message carries (its length is 16 bits).
constexpr size_t MAX_MESSAGE = 0xffff;

// A decimal count of at most max; anything else ends the run like a missing argument, so that a
// count never wraps into a buffer size ("-1" would read SIZE_MAX bytes into a buffer of none).
size_t take_count(session &s, size_t max)
{
    const char *arg = take_arg(s);
    char *end = nullptr;
    errno = 0;
    unsigned long n = strtoul(arg, &end, 10);
    if (*arg < '0' || *arg > '9' || *end != '\0' || errno == ERANGE || n > max) {
        fprintf(stderr, "bad count %s (0 to %zu)\n", arg, max);
        exit(2);
    }
    return n;
}

void step_open(session &s, const char *op)
{
    const char *path = take_arg(s);
    if (!strcmp(op, "open"))
        s.fd = open(path, O_RDWR);
    else if (!strcmp(op, "open-wo"))
        s.fd = open(path, O_WRONLY);
    else if (!strcmp(op, "open64"))
        s.fd = open64(path, O_RDWR);
    else if (!strcmp(op, "openat"))
        s.fd = openat(AT_FDCWD, path, O_RDWR);
    else
        s.fd = __open_2(path, O_RDWR);
    report("open", s.fd);
}

// Every step has the table's signature, so this one takes the session it only reads; the
// descriptor number stays, as a program's would after close.
// cppcheck-suppress constParameter
void step_close(session &s, const char *)
{
    report("close", close(s.fd));
}

void step_slave(session &s, const char *op)
{
    bool force = !strcmp(op, "force");
    report(op, ioctl(s.fd, force ? I2C_SLAVE_FORCE : I2C_SLAVE, take_hex(s)));
}

void step_tenbit(session &s, const char *)
{
    report("tenbit", ioctl(s.fd, I2C_TENBIT, take_hex(s)));
}

void step_ioctl_unknown(session &s, const char *)
{
    report("ioctl", ioctl(s.fd, 0x0799, 0UL));
}

void step_funcs(session &s, const char *)
{
    unsigned long funcs = 0;
    int r = ioctl(s.fd, I2C_FUNCS, &funcs);
    if (r < 0)
        report("funcs", r);
    else
        printf("funcs=%08lx\n", funcs);
}

void step_write(session &s, const char *)
{
    std::vector<unsigned char> b = bytes(take_arg(s));
    report("write", write(s.fd, b.data(), b.size()));
}

void step_read(session &s, const char *)
{
    size_t n = take_count(s, MAX_MESSAGE);
    std::vector<unsigned char> b(std::max<size_t>(n, 1)); // a buffer even for a read of none
    ssize_t r = read(s.fd, b.data(), n);
    if (r < 0) {
        report("read", r);
        return;
    }
    printf("read=%zd", r);
    print_bytes(b.data(), static_cast<size_t>(r));
    printf("\n");
}

void step_byte_data(session &s, const char *op)
{
    unsigned char cmd = take_byte(s);
    if (!strcmp(op, "rb"))
        report_smbus(op, i2c_smbus_read_byte_data(s.fd, cmd));
    else
        report_smbus(op, i2c_smbus_write_byte_data(s.fd, cmd, take_byte(s)));
}

void step_byte(session &s, const char *op)
{
    if (!strcmp(op, "rbyte"))
        report_smbus(op, i2c_smbus_read_byte(s.fd));
    else if (!strcmp(op, "wbyte"))
        report_smbus(op, i2c_smbus_write_byte(s.fd, take_byte(s)));
    else
        report_smbus(op, i2c_smbus_write_quick(s.fd, I2C_SMBUS_WRITE));
}

void step_word(session &s, const char *op)
{
    unsigned char cmd = take_byte(s);
    if (strcmp(op, "rw")) {
        report_smbus(
            op, i2c_smbus_write_word_data(s.fd, cmd, static_cast<unsigned short>(take_hex(s))));
        return;
    }
    int r = i2c_smbus_read_word_data(s.fd, cmd);
    if (r < 0)
        report_smbus(op, r);
    else
        printf("rw=%04x\n", r);
}

void step_read_block(session &s, const char *op)
{
    unsigned char cmd = take_byte(s);
    unsigned char b[I2C_SMBUS_BLOCK_MAX];
    if (!strcmp(op, "rsblock")) {
        report_smbus(op, i2c_smbus_read_block_data(s.fd, cmd, b));
        return;
    }
    unsigned char n = static_cast<unsigned char>(take_count(s, 0xff));
    int r = i2c_smbus_read_i2c_block_data(s.fd, cmd, n, b);
    if (r < 0) {
        report_smbus(op, r);
        return;
    }
    printf("rblock=%d", r);
    print_bytes(b, static_cast<size_t>(r));
    printf("\n");
}

void step_write_block(session &s, const char *op)
{
    bool smbus_block = !strcmp(op, "wsblock");
    unsigned char cmd = take_byte(s);
    std::vector<unsigned char> b = bytes(take_arg(s));
    unsigned char n = static_cast<unsigned char>(b.size());
    int r = smbus_block ? i2c_smbus_write_block_data(s.fd, cmd, n, b.data())
                        : i2c_smbus_write_i2c_block_data(s.fd, cmd, n, b.data());
    report_smbus(op, r);
}

// A write then a read of n bytes to one address in one combined transaction.
void step_rdwr(session &s, const char *)
{
    unsigned short addr = static_cast<unsigned short>(take_hex(s));
    std::vector<unsigned char> out = bytes(take_arg(s));
    size_t n = take_count(s, MAX_MESSAGE);
    std::vector<unsigned char> in(std::max<size_t>(n, 1));
    i2c_msg msgs[2] = {
        {addr, 0, static_cast<__u16>(out.size()), out.data()},
        {addr, I2C_M_RD, static_cast<__u16>(n), in.data()},
    };
    i2c_rdwr_ioctl_data data = {msgs, 2};
    int r = ioctl(s.fd, I2C_RDWR, &data);
    if (r < 0) {
        report("rdwr", r);
        return;
    }
    printf("rdwr=%d", r);
    print_bytes(in.data(), n);
    printf("\n");
}

void step_sleep(session &s, const char *)
{
    long ms = strtol(take_arg(s), nullptr, 10);
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

struct step {
    const char *name;
    void (*run)(session &s, const char *op);
};

constexpr step STEPS[] = {
    {"open", step_open},
    {"open-wo", step_open},
    {"open64", step_open},
    {"openat", step_open},
    {"open2", step_open},
    {"close", step_close},
    {"slave", step_slave},
    {"force", step_slave},
    {"tenbit", step_tenbit},
    {"ioctl-unknown", step_ioctl_unknown},
    {"funcs", step_funcs},
    {"write", step_write},
    {"read", step_read},
    {"rb", step_byte_data},
    {"wb", step_byte_data},
    {"rbyte", step_byte},
    {"wbyte", step_byte},
    {"quick", step_byte},
    {"rw", step_word},
    {"ww", step_word},
    {"rblock", step_read_block},
    {"rsblock", step_read_block},
    {"wblock", step_write_block},
    {"wsblock", step_write_block},
    {"rdwr", step_rdwr},
    {"sleep-ms", step_sleep},
};

const step *find_step(const char *name)
{
    for (const step &st : STEPS) {
        if (!strcmp(st.name, name))
            return &st;
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    session s = {argc, argv, 1, -1};
    while (s.next < argc) {
        const char *op = argv[s.next++];
        const step *st = find_step(op);
        if (!st) {
            fprintf(stderr, "unknown step %s\n", op);
            return 2;
        }
        st->run(s, op);
    }
    return 0;
}
