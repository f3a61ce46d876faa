#include "i2c_access.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
#include <i2c/smbus.h>
}

namespace
{

constexpr int WRITE_MESSAGE_SIZE = 2; // bytes: EEPROM offset, data byte
constexpr int VERIFY_MAX_BYTES = 256; // bytes: the word address reaches no further

// The caller hands the address in the 8-bit form of the module table; the kernel wants 7 bits.
int select_device(int fd, unsigned char addr)
{
    // Without force: a device claimed by a kernel driver must not be written behind its back.
    return ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(addr >> 1));
}

// Many SoC and PC controllers (PIIX4, for one) offer SMBus only, and the kernel refuses plain
// writes on them. An SMBus write-byte-data puts the very bytes of the plain 2-byte write on the
// bus (address+W, offset, data), so it serves where plain I2C is missing. Adapters whose
// functions cannot be asked keep the plain writes.
bool smbus_writes_only(int fd)
{
    unsigned long funcs = 0;
    return ioctl(fd, I2C_FUNCS, &funcs) == 0 && !(funcs & I2C_FUNC_I2C) &&
           (funcs & I2C_FUNC_SMBUS_WRITE_BYTE_DATA);
}

// The EEPROM ignores everything until its internal write cycle is over, so each byte must be
// stored before the next one is sent. A timed sleep rather than a counted loop: the wait must not
// depend on the processor's speed.
void wait_write_cycle()
{
    struct timespec left = {0, EEPROM_WRITE_CYCLE_NS};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
}

} // namespace

int i2c_read_upto(int fd, unsigned char addr, unsigned char *buf, int count)
{
    if (fd < 0)
        return -1;
    if (select_device(fd, addr) < 0)
        return -1;
    for (int i = 0; i < count; i++) {
        int value = i2c_smbus_read_byte_data(fd, static_cast<unsigned char>(i));
        if (value < 0)
            return i;
        buf[i] = static_cast<unsigned char>(value);
    }
    return count;
}

int i2c_read(int fd, unsigned char addr, unsigned char *buf, int count)
{
    return i2c_read_upto(fd, addr, buf, count) == count ? 0 : -1;
}

int i2c_write_upto(int fd, unsigned char addr, const unsigned char *data, int count)
{
    if (fd < 0)
        return -1;
    if (select_device(fd, addr) < 0)
        return -1;
    bool smbus = smbus_writes_only(fd);
    for (int i = 0; i < count; i++) {
        unsigned char offset = static_cast<unsigned char>(i);
        unsigned char message[WRITE_MESSAGE_SIZE] = {offset, data[i]};
        bool written = smbus ? i2c_smbus_write_byte_data(fd, offset, data[i]) == 0
                             : write(fd, message, WRITE_MESSAGE_SIZE) == WRITE_MESSAGE_SIZE;
        if (!written)
            return i;
        wait_write_cycle();
    }
    return count;
}

int i2c_write(int fd, unsigned char addr, const unsigned char *data, int count)
{
    if (fd < 0)
        return -1;
    int written = i2c_write_upto(fd, addr, data, count);
    if (written < 0) {
        printf("i2c_write: cannot set slave addr!\n");
        return -1;
    }
    if (written < count) {
        printf("i2c_write: write error at %d\n", written);
        return -1;
    }
    return 0;
}

int i2c_compare(int fd, unsigned char addr, const unsigned char *data, int count,
                unsigned char *read_back)
{
    unsigned char back[VERIFY_MAX_BYTES];
    if (count > VERIFY_MAX_BYTES || i2c_read(fd, addr, back, count) != 0)
        return -1;
    for (int i = 0; i < count; i++) {
        if (back[i] != data[i]) {
            *read_back = back[i];
            return i;
        }
    }
    return count;
}

int i2c_verify(int fd, unsigned char addr, const unsigned char *data, int count)
{
    unsigned char back = 0;
    int same = i2c_compare(fd, addr, data, count, &back);
    if (same < 0) {
        printf("i2c_write: cannot read back the written bytes\n");
        return -1;
    }
    if (same < count) {
        printf("i2c_write: verify error at %d: wrote 0x%02x, read back 0x%02x\n", same, data[same],
               back);
        return -1;
    }
    return 0;
}
