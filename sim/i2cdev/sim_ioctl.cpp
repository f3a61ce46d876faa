// The i2c-dev ioctl requests. SMBus transactions are turned into plain I2C messages the way the
// kernel emulates SMBus on a plain I2C adapter, so the EEPROM model sees exactly the bytes a real
// EEPROM would see behind such an adapter. An SMBus-only controller puts the same bytes on the
// bus for the transactions it has, and refuses the rest.
#include "sim_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

namespace i2csim
{
namespace
{

// What the adapter reports: a plain I2C master with the kernel's SMBus emulation on top. SMBus
// block reads need I2C_M_RECV_LEN, which this adapter lacks, and PEC is not emulated.
constexpr unsigned long ADAPTER_FUNCS =
    I2C_FUNC_I2C | (I2C_FUNC_SMBUS_EMUL & ~static_cast<unsigned long>(I2C_FUNC_SMBUS_PEC));

// What an SMBus-only controller such as the PC chipsets' PIIX4 reports: the transactions its
// hardware makes, SMBus block reads included (the controller takes the count from the device),
// and neither plain I2C nor I2C block transfers.
constexpr unsigned long SMBUS_ONLY_FUNCS = I2C_FUNC_SMBUS_QUICK | I2C_FUNC_SMBUS_BYTE |
                                           I2C_FUNC_SMBUS_BYTE_DATA | I2C_FUNC_SMBUS_WORD_DATA |
                                           I2C_FUNC_SMBUS_BLOCK_DATA;

constexpr unsigned long MAX_7BIT_ADDR = 0x7f;
constexpr unsigned long MAX_10BIT_ADDR = 0x3ff;
constexpr unsigned RDWR_MAX_MSGS = 42;    // I2C_RDWR_IOCTL_MAX_MSGS of the kernel
constexpr unsigned MAX_MSG_LEN = 8192;    // bytes; the kernel's limit per message
constexpr size_t LOG_DATA_MAX = 8 * 8192; // characters of hex in one log line

int fail(int err)
{
    errno = err;
    return -1;
}

const char *errno_name(int err)
{
    switch (err) {
    case EBUSY:
        return "EBUSY";
    case EINVAL:
        return "EINVAL";
    case EOPNOTSUPP:
        return "EOPNOTSUPP";
    default:
        return "ERROR";
    }
}

int set_slave(sim_fd *f, unsigned long addr, bool force)
{
    const char *what = force ? "slave-force" : "slave";
    int err = 0;
    if (addr > MAX_10BIT_ADDR || (!f->tenbit && addr > MAX_7BIT_ADDR))
        err = EINVAL;
    else if (!force && addr <= MAX_7BIT_ADDR &&
             find_fault(FAULT_BUSY, f->bus, static_cast<int>(addr)))
        err = EBUSY;
    if (err) {
        log_line("%s bus=%d addr=%02lx %s", what, f->bus, addr, errno_name(err));
        return fail(err);
    }
    f->addr = static_cast<int>(addr);
    log_line("%s bus=%d addr=%02lx", what, f->bus, addr);
    return 0;
}

struct msg {
    bool read;
    unsigned char *buf;
    size_t len;
};

// Messages of one combined transaction, stopping at the first that fails.
msg_result run_messages(const sim_fd *f, msg *msgs, int n)
{
    for (int i = 0; i < n; ++i) {
        if (f->tenbit)
            return {ENXIO, MSG_NACK};
        msg_result r = eeprom_message(f->bus, f->addr, msgs[i].read, msgs[i].buf, msgs[i].len);
        if (r.err)
            return r;
    }
    return {0, MSG_OK};
}

void log_smbus(const sim_fd *f, const char *detail, const msg_result &r)
{
    log_line("smbus bus=%d addr=%02x %s %s", f->bus, f->addr, detail, status_word(r));
}

int smbus_quick(const sim_fd *f, bool read)
{
    msg m = {read, nullptr, 0};
    msg_result r = run_messages(f, &m, 1);
    log_smbus(f, read ? "read quick" : "write quick", r);
    return r.err ? fail(r.err) : 0;
}

int smbus_byte(const sim_fd *f, bool read, unsigned char cmd, i2c_smbus_data *data)
{
    char detail[64];
    unsigned char b = cmd;
    msg m = {read, &b, 1};
    msg_result r = run_messages(f, &m, 1);
    if (!read)
        snprintf(detail, sizeof detail, "write byte cmd=%02x", cmd);
    else if (r.err)
        snprintf(detail, sizeof detail, "read byte");
    else
        snprintf(detail, sizeof detail, "read byte -> %02x", b);
    log_smbus(f, detail, r);
    if (r.err)
        return fail(r.err);
    if (read)
        data->byte = b;
    return 0;
}

int smbus_byte_data(const sim_fd *f, bool read, unsigned char cmd, i2c_smbus_data *data)
{
    char detail[64];
    unsigned char out[2] = {cmd, data->byte};
    unsigned char in = 0;
    msg msgs[2] = {{false, out, read ? 1u : 2u}, {true, &in, 1}};
    msg_result r = run_messages(f, msgs, read ? 2 : 1);
    if (!read)
        snprintf(detail, sizeof detail, "write byte-data cmd=%02x val=%02x", cmd, data->byte);
    else if (r.err)
        snprintf(detail, sizeof detail, "read byte-data cmd=%02x", cmd);
    else
        snprintf(detail, sizeof detail, "read byte-data cmd=%02x -> %02x", cmd, in);
    log_smbus(f, detail, r);
    if (r.err)
        return fail(r.err);
    if (read)
        data->byte = in;
    return 0;
}

// Word data and the process call: the word travels low byte first.
int smbus_word(const sim_fd *f, bool read, bool proc_call, unsigned char cmd, i2c_smbus_data *data)
{
    char detail[96];
    unsigned short w = data->word;
    unsigned char out[3] = {cmd, static_cast<unsigned char>(w & 0xff),
                            static_cast<unsigned char>(w >> 8)};
    unsigned char in[2] = {};
    bool reads = read || proc_call;
    msg msgs[2] = {{false, out, (read && !proc_call) ? 1u : 3u}, {true, in, 2}};
    msg_result r = run_messages(f, msgs, reads ? 2 : 1);
    unsigned short got = static_cast<unsigned short>(in[0] | in[1] << 8);
    int n = proc_call ? snprintf(detail, sizeof detail, "proc-call cmd=%02x val=%04x", cmd, w)
            : read    ? snprintf(detail, sizeof detail, "read word-data cmd=%02x", cmd)
                   : snprintf(detail, sizeof detail, "write word-data cmd=%02x val=%04x", cmd, w);
    if (reads && !r.err)
        snprintf(detail + n, sizeof detail - static_cast<size_t>(n), " -> %04x", got);
    log_smbus(f, detail, r);
    if (r.err)
        return fail(r.err);
    if (reads)
        data->word = got;
    return 0;
}

// An SMBus block read as the controller makes it: the command byte, then the count the device
// sends first, then that many bytes. A count of 0 or above 32 ends it with EPROTO.
int smbus_block_read(const sim_fd *f, unsigned char cmd, i2c_smbus_data *data)
{
    static char detail[LOG_DATA_MAX];
    unsigned char out = cmd;
    unsigned char count = 0;
    unsigned char in[I2C_SMBUS_BLOCK_MAX];
    msg head[2] = {{false, &out, 1}, {true, &count, 1}};
    msg_result r = run_messages(f, head, 2);
    if (!r.err && (count == 0 || count > I2C_SMBUS_BLOCK_MAX)) {
        log_line("smbus bus=%d addr=%02x read block-data cmd=%02x len=%u bad-count", f->bus,
                 f->addr, cmd, count);
        return fail(EPROTO);
    }
    if (!r.err) {
        msg body = {true, in, count};
        r = run_messages(f, &body, 1);
    }
    if (r.err) {
        snprintf(detail, sizeof detail, "read block-data cmd=%02x", cmd);
    } else {
        snprintf(detail, sizeof detail, "read block-data cmd=%02x len=%u -> ", cmd, count);
        append_hex(detail, sizeof detail, in, count);
    }
    log_smbus(f, detail, r);
    if (r.err)
        return fail(r.err);
    data->block[0] = count;
    memcpy(data->block + 1, in, count);
    return 0;
}

int smbus_block(const sim_fd *f, bool read, bool i2c_block, unsigned char cmd, i2c_smbus_data *data)
{
    static char detail[LOG_DATA_MAX];
    const char *name = i2c_block ? "i2c-block-data" : "block-data";
    unsigned len = data->block[0];
    if (!i2c_block && read && smbus_only(f->bus))
        return smbus_block_read(f, cmd, data);
    if (!i2c_block && read) {
        // An SMBus block read takes its length from the device (I2C_M_RECV_LEN).
        snprintf(detail, sizeof detail, "read %s cmd=%02x", name, cmd);
        log_line("smbus bus=%d addr=%02x %s unsupported", f->bus, f->addr, detail);
        return fail(EOPNOTSUPP);
    }
    if (len > I2C_SMBUS_BLOCK_MAX || (!i2c_block && len == 0)) {
        snprintf(detail, sizeof detail, "%s %s cmd=%02x len=%u", read ? "read" : "write", name, cmd,
                 len);
        log_line("smbus bus=%d addr=%02x %s invalid", f->bus, f->addr, detail);
        return fail(EINVAL);
    }
    unsigned char out[I2C_SMBUS_BLOCK_MAX + 2];
    unsigned char in[I2C_SMBUS_BLOCK_MAX];
    msg_result r;
    if (read) {
        out[0] = cmd;
        msg msgs[2] = {{false, out, 1}, {true, in, len}};
        r = run_messages(f, msgs, 2);
        snprintf(detail, sizeof detail, "read %s cmd=%02x len=%u%s", name, cmd, len,
                 r.err ? "" : " -> ");
        if (!r.err)
            append_hex(detail, sizeof detail, in, len);
    } else {
        // SMBus block writes send the count byte; I2C block writes do not.
        size_t n = 0;
        out[n++] = cmd;
        if (!i2c_block)
            out[n++] = static_cast<unsigned char>(len);
        memcpy(out + n, data->block + 1, len);
        msg m = {false, out, n + len};
        r = run_messages(f, &m, 1);
        snprintf(detail, sizeof detail, "write %s cmd=%02x len=%u data=", name, cmd, len);
        append_hex(detail, sizeof detail, data->block + 1, len);
    }
    log_smbus(f, detail, r);
    if (r.err)
        return fail(r.err);
    if (read)
        memcpy(data->block + 1, in, len);
    return 0;
}

// The log name of a transaction an SMBus-only controller lacks, or null when it has it.
const char *lacking_on_smbus_only(unsigned size, bool read)
{
    switch (size) {
    case I2C_SMBUS_PROC_CALL:
        return "proc-call";
    case I2C_SMBUS_BLOCK_PROC_CALL:
        return "block-proc-call";
    case I2C_SMBUS_I2C_BLOCK_BROKEN:
    case I2C_SMBUS_I2C_BLOCK_DATA:
        return read ? "read i2c-block-data" : "write i2c-block-data";
    default:
        return nullptr;
    }
}

int smbus(sim_fd *f, i2c_smbus_ioctl_data *args)
{
    if (!args)
        return fail(EINVAL);
    unsigned size = args->size;
    bool read = args->read_write == I2C_SMBUS_READ;
    if (size > I2C_SMBUS_I2C_BLOCK_DATA ||
        (args->read_write != I2C_SMBUS_READ && args->read_write != I2C_SMBUS_WRITE))
        return fail(EINVAL);
    const char *lacking = smbus_only(f->bus) ? lacking_on_smbus_only(size, read) : nullptr;
    if (lacking) {
        log_line("smbus bus=%d addr=%02x %s cmd=%02x unsupported", f->bus, f->addr, lacking,
                 args->command);
        return fail(EOPNOTSUPP);
    }
    if (size == I2C_SMBUS_QUICK)
        return smbus_quick(f, read);
    if (size == I2C_SMBUS_BYTE && !read)
        return smbus_byte(f, false, args->command, nullptr);
    i2c_smbus_data *data = args->data;
    if (!data)
        return fail(EINVAL);
    switch (size) {
    case I2C_SMBUS_BYTE:
        return smbus_byte(f, true, args->command, data);
    case I2C_SMBUS_BYTE_DATA:
        return smbus_byte_data(f, read, args->command, data);
    case I2C_SMBUS_WORD_DATA:
        return smbus_word(f, read, false, args->command, data);
    case I2C_SMBUS_PROC_CALL:
        return smbus_word(f, false, true, args->command, data);
    case I2C_SMBUS_BLOCK_DATA:
        return smbus_block(f, read, false, args->command, data);
    case I2C_SMBUS_I2C_BLOCK_BROKEN:
        // Old callers: a read always asks for the full block.
        if (read)
            data->block[0] = I2C_SMBUS_BLOCK_MAX;
        return smbus_block(f, read, true, args->command, data);
    case I2C_SMBUS_I2C_BLOCK_DATA:
        return smbus_block(f, read, true, args->command, data);
    case I2C_SMBUS_BLOCK_PROC_CALL:
        log_line("smbus bus=%d addr=%02x block-proc-call cmd=%02x unsupported", f->bus, f->addr,
                 args->command);
        return fail(EOPNOTSUPP);
    }
    return fail(EINVAL);
}

// A combined transaction; every message names its own address. Returns the number of messages.
int rdwr(const sim_fd *f, i2c_rdwr_ioctl_data *args)
{
    if (!args || !args->msgs)
        return fail(EFAULT);
    if (args->nmsgs > RDWR_MAX_MSGS)
        return fail(EINVAL);
    for (unsigned i = 0; i < args->nmsgs; ++i) {
        if (args->msgs[i].len > MAX_MSG_LEN)
            return fail(EINVAL);
        if (args->msgs[i].flags & I2C_M_RECV_LEN)
            return fail(EOPNOTSUPP);
    }
    if (smbus_only(f->bus)) {
        log_line("rdwr bus=%d msgs=%u unsupported", f->bus, args->nmsgs);
        return fail(EOPNOTSUPP);
    }
    log_line("rdwr bus=%d msgs=%u", f->bus, args->nmsgs);
    for (unsigned i = 0; i < args->nmsgs; ++i) {
        i2c_msg &m = args->msgs[i];
        bool read = m.flags & I2C_M_RD;
        msg_result r = (m.flags & I2C_M_TEN) ? msg_result{ENXIO, MSG_NACK}
                                             : eeprom_message(f->bus, m.addr, read, m.buf, m.len);
        log_message(f->bus, m.addr, read, m.buf, m.len, r);
        if (r.err)
            return fail(r.err);
    }
    return static_cast<int>(args->nmsgs);
}

} // namespace

int handle_ioctl(sim_fd *f, unsigned long request, void *arg)
{
    switch (request) {
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE:
        return set_slave(f, reinterpret_cast<unsigned long>(arg), request == I2C_SLAVE_FORCE);
    case I2C_FUNCS:
        log_line("funcs bus=%d%s", f->bus, smbus_only(f->bus) ? " smbus-only" : "");
        if (!arg)
            return fail(EFAULT);
        *static_cast<unsigned long *>(arg) = smbus_only(f->bus) ? SMBUS_ONLY_FUNCS : ADAPTER_FUNCS;
        return 0;
    case I2C_SMBUS:
        return smbus(f, static_cast<i2c_smbus_ioctl_data *>(arg));
    case I2C_RDWR:
        return rdwr(f, static_cast<i2c_rdwr_ioctl_data *>(arg));
    case I2C_TENBIT:
        f->tenbit = arg != nullptr;
        return 0;
    case I2C_PEC:
    case I2C_RETRIES:
    case I2C_TIMEOUT:
        return 0;
    default:
        return fail(ENOTTY);
    }
}

} // namespace i2csim
