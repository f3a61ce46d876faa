// Byte transfers between memory and one serial EEPROM with a one-byte word address on an i2c-dev
// bus. Internal to liboktideep: only the library's record operations call these.
#pragma once

// Time the EEPROM needs to store one written byte before it answers again. 24C02-class parts
// specify at most 5 ms for a byte write cycle.
constexpr long EEPROM_WRITE_CYCLE_NS = 5000000; // nanoseconds

// Reads `count` bytes from EEPROM offsets 0..count-1 of the device at the 8-bit address `addr`
// (shifted right by one for the kernel) on the bus open as `fd`, one SMBus read-byte-data per
// byte. 0 when all bytes were read; -1 on any failure, with buf[0..i-1] holding the bytes read
// before the failing offset i and the rest of buf untouched. Prints nothing.
int i2c_read(int fd, unsigned char addr, unsigned char *buf, int count);

// Reads as i2c_read does and tells how far it got: the number of bytes read before the first
// failing offset (count when all were read), or -1 when fd is negative or the device cannot be
// selected. Prints nothing.
int i2c_read_upto(int fd, unsigned char addr, unsigned char *buf, int count);

// Writes `count` bytes of `data` to EEPROM offsets 0..count-1, one plain 2-byte write (offset,
// byte) per byte, waiting EEPROM_WRITE_CYCLE_NS after each. On an adapter that reports SMBus
// write-byte-data but no plain I2C (I2C_FUNCS, asked once per call), each byte goes as an SMBus
// write-byte-data with the offset as command instead: the same bytes on the bus. 0 when all
// bytes were written; -1 on any failure after printing "i2c_write: cannot set slave addr!" or
// "i2c_write: write error at N". Bytes before a failing offset stay written.
int i2c_write(int fd, unsigned char addr, const unsigned char *data, int count);

// Writes as i2c_write does, printing nothing: the number of bytes written before the first
// failing offset (count when all were written), or -1 when fd is negative or the device cannot
// be selected.
int i2c_write_upto(int fd, unsigned char addr, const unsigned char *data, int count);

// Reads `count` bytes back from EEPROM offsets 0..count-1 as i2c_read does and compares them with
// `data`; call it once the last write cycle is over (i2c_write returns only then). 0 when they
// match; -1 after printing "i2c_write: verify error at N: wrote 0xWW, read back 0xRR" for the
// first differing offset, or "i2c_write: cannot read back the written bytes".
int i2c_verify(int fd, unsigned char addr, const unsigned char *data, int count);

// Reads back and compares as i2c_verify does, printing nothing: the first offset whose byte
// differs (its byte read back in *read_back), count when all match, or -1 when the bytes cannot
// be read back (also for a count above 256).
int i2c_compare(int fd, unsigned char addr, const unsigned char *data, int count,
                unsigned char *read_back);
