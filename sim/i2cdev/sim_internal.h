// Internals of the i2c-dev emulation: its configuration from the environment, the EEPROM model
// that answers single I2C messages, the log, and the libc functions it stands in front of.
// Nothing here is exported from the shared library except the interposed libc entry points.
#pragma once

#include <cstddef>
#include <sys/types.h>

namespace i2csim
{

constexpr int MAX_FAULT_RULES = 32;
constexpr int MAX_MISSING_BUSES = 16;
constexpr int MAX_SMBUS_ONLY_BUSES = 16;
constexpr int SIM_PATH_MAX = 4096;

enum fault_kind {
    FAULT_READ_FAIL,     // reads touching an offset >= k fail with EIO
    FAULT_WRITE_FAIL,    // a write that would store a byte at offset k fails with EIO
    FAULT_NACK,          // the device never acknowledges its address (ENXIO)
    FAULT_BUSY,          // I2C_SLAVE fails with EBUSY (a kernel driver owns the address)
    FAULT_WRITE_PROTECT, // writes are acknowledged but store nothing (write-protect pin high)
};

struct fault_rule {
    fault_kind kind;
    int bus;
    int addr; // 7-bit
    long k;   // offset for read-fail and write-fail; unused otherwise
};

struct sim_config {
    bool active;            // I2CSIM_DIR is set: the emulation owns /dev/i2c-N
    char dir[SIM_PATH_MAX]; // folder of the device files
    char log[SIM_PATH_MAX]; // log file, empty for none
    long long busy_us;      // write-cycle time in microseconds
    int missing[MAX_MISSING_BUSES];
    int n_missing;
    int smbus_only[MAX_SMBUS_ONLY_BUSES]; // buses behind an SMBus-only controller
    int n_smbus_only;
    fault_rule faults[MAX_FAULT_RULES];
    int n_faults;
};

// The configuration, read from the environment on first use and kept for the process's life.
const sim_config &config();

// The rule of the given kind for a device, or null.
const fault_rule *find_fault(fault_kind kind, int bus, int addr);
// Whether /dev/i2c-<bus> exists: buses 0 and 1 unless listed in I2CSIM_MISSING_BUSES.
bool bus_exists(int bus);
// Whether the bus's adapter is an SMBus-only controller (I2CSIM_SMBUS_ONLY): no plain I2C
// messages, no I2C block transfers, no process calls.
bool smbus_only(int bus);

// How one message ended, for the log.
enum msg_status {
    MSG_OK,
    MSG_NACK,        // not acknowledged: address (absent device) or data (a fault rule)
    MSG_BUSY,        // the device is in its internal write cycle and ignores its address
    MSG_UNSUPPORTED, // the adapter cannot make such a transfer (EOPNOTSUPP); nothing was sent
};

struct msg_result {
    int err; // 0, or the errno the kernel would return (ENXIO, EIO)
    msg_status status;
};

// One plain I2C message to the device <bus, addr> as the EEPROM would take it: a write sets the
// word address from its first byte and stores the rest; a read returns bytes from the current
// address. Writes land in the device file at once.
msg_result eeprom_message(int bus, int addr, bool read, unsigned char *buf, size_t len);

// Status word of a message result in the log: "ok", "nack", "busy" or "unsupported".
const char *status_word(const msg_result &r);

// Appends one line (no line end needed) to the I2CSIM_LOG file when one is set.
void log_line(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Logs one plain message: "write bus=0 addr=50 len=2 data=00 12 ok", "read ... nack".
void log_message(int bus, int addr, bool read, const unsigned char *buf, size_t len,
                 const msg_result &r);
// Appends "xx xx ..." in lowercase hex to text (of capacity cap), for log lines.
void append_hex(char *text, size_t cap, const unsigned char *bytes, size_t len);

// The real libc functions behind the interposed ones.
int real_open(const char *path, int flags, mode_t mode);
int real_close(int fd);
ssize_t real_read(int fd, void *buf, size_t len);
ssize_t real_write(int fd, const void *buf, size_t len);

// One descriptor the emulation handed out for /dev/i2c-<bus>, with the state i2c-dev keeps per
// open file: the selected slave address and the ten-bit flag.
struct sim_fd {
    int fd;
    int bus;
    int addr;     // selected by I2C_SLAVE; 0 until then, as in the kernel
    int acc_mode; // O_RDONLY, O_WRONLY or O_RDWR
    bool tenbit;
};

// The ioctl requests the emulation answers on its own descriptors. Returns the ioctl result,
// or -1 with errno set.
int handle_ioctl(sim_fd *f, unsigned long request, void *arg);

} // namespace i2csim
