// liboktideep: the table of the board's modules and their 128-byte ID-EEPROM records.
#pragma once

#include <cstddef>
#include <cstdint>

// Sizes of the record and its fields, in bytes.
constexpr int OKT_EEP_RECORD_SIZE = 128;
constexpr int OKT_EEP_BOOTCNTR_SIZE = 4;
constexpr int OKT_EEP_DATE_SIZE = 6;        // one packed date
constexpr int OKT_EEP_TEXT_FIELD_SIZE = 16; // desc_string, rev_string and serial each
constexpr int OKT_EEP_TEXT_BYTES = OKT_EEP_TEXT_FIELD_SIZE - 1; // the text before the forced 0
constexpr int OKT_EEP_RESERVED_SIZE = 64;

// One module information record, byte for byte as in the EEPROM and in dump files.
// Multi-byte numbers are little-endian; use okt_eep_get_bootcntr / okt_eep_set_bootcntr.
struct okt_eep_data {
    unsigned char bootcntr[OKT_EEP_BOOTCNTR_SIZE]; // boot counter, little-endian
    unsigned char manuf_date[OKT_EEP_DATE_SIZE];   // packed BCD date: DD MM YY 0x20 HH MM
    unsigned char maint_date[OKT_EEP_DATE_SIZE];
    char desc_string[OKT_EEP_TEXT_FIELD_SIZE]; // OKT_EEP_TEXT_BYTES of text and a forced 0
    char rev_string[OKT_EEP_TEXT_FIELD_SIZE];
    char serial[OKT_EEP_TEXT_FIELD_SIZE];
    unsigned char reserved[OKT_EEP_RESERVED_SIZE];
};
static_assert(sizeof(okt_eep_data) == OKT_EEP_RECORD_SIZE, "the record is 128 bytes");
static_assert(offsetof(okt_eep_data, manuf_date) == 4, "record layout");
static_assert(offsetof(okt_eep_data, maint_date) == 10, "record layout");
static_assert(offsetof(okt_eep_data, desc_string) == 16, "record layout");
static_assert(offsetof(okt_eep_data, rev_string) == 32, "record layout");
static_assert(offsetof(okt_eep_data, serial) == 48, "record layout");
static_assert(offsetof(okt_eep_data, reserved) == 64, "record layout");

enum okt_role {
    ROLE_CPU = 0,
    ROLE_BASEBOARD = 1,
    ROLE_EXTMOD0 = 2,
    ROLE_EXTMOD1 = 3,
    ROLE_FIBER_OPTIC = 4,
    ROLE_END = 255,
};

constexpr int32_t STATE_NO_DEVICE = 255;

// One module: where its EEPROM sits and its record as last read, loaded or edited.
struct okt_eep_modinfo {
    uint8_t addr; // 8-bit I2C address (0xA0, 0xA4, 0xA6)
    uint8_t bus;  // 0 = /dev/i2c-0, 1 = /dev/i2c-1
    okt_eep_data data;
    int32_t role;  // okt_role; ROLE_END ends the table
    int32_t state; // 1 CPU, 0 others at creation; STATE_NO_DEVICE after a failed read
    // 1 when the last read of the module got all 128 bytes; 0 before the first read and after a
    // read that failed, when `data` may hold zeros or older bytes in place of the EEPROM's.
    int32_t read_complete;
    // Bytes the last read got before it broke off (128 when complete); 0 before the first read
    // and when the module did not answer at byte 0.
    int32_t bytes_read;
};

uint32_t okt_eep_get_bootcntr(const okt_eep_data *data);
void okt_eep_set_bootcntr(okt_eep_data *data, uint32_t value);

// A new, zeroed module table of the four modules and the end entry, or null without memory.
// Release with free().
okt_eep_modinfo *okt_eep_init();

// Reads every module's record. 0 when both bus devices opened (whatever the modules answered),
// -1 when /dev/i2c-0 cannot be opened, -2 for /dev/i2c-1. Prints a report only when verbose.
int okt_eep_probe(okt_eep_modinfo *table, int verbose);

// Reads one module's record as okt_eep_probe does for each module (state, read_complete,
// bytes_read and the sanitising alike), opening and closing the entry's bus device. 0 when all
// 128 bytes were read; -1 null entry or a read that failed at some offset (bytes_read says where);
// -2 bus is neither 0 nor 1; -3 the bus device cannot be opened (errno tells why). Prints
// nothing.
int okt_eep_read_modinfo(okt_eep_modinfo *entry);

// The device node of bus 0 or 1 ("/dev/i2c-0", "/dev/i2c-1"), or null for any other bus.
const char *okt_eep_bus_device(int bus);

// Forces the last byte of each text field (record offsets 31, 47, 63) to 0.
void okt_eep_sanitize_entry(okt_eep_modinfo *entry);

// The first entry with this role, or null (never for ROLE_END).
okt_eep_modinfo *okt_eep_get_modinfo(okt_eep_modinfo *table, int role);

// Copies the serial number (15 bytes, always terminated) into the 16-byte buffer *buf points at.
// -1 when buf or *buf is null, else 0.
int okt_eep_mod_get_serial(const okt_eep_modinfo *entry, char **buf);

// Sum modulo 256 of the 59 bytes starting 4 bytes into the area.
uint8_t okt_eep_cksum_data(const unsigned char *area);

// Writes the entry's 128 record bytes to its EEPROM, then reads them back once the last write
// cycle is over. 0 ok; -1 null entry or I2C write failure; -2 bus is neither 0 nor 1; -3 bus
// device cannot be opened; -4 the EEPROM does not hold what was written, or the bytes could not
// be read back (a line saying which has been printed).
int okt_eep_write_modinfo(const okt_eep_modinfo *entry);

enum okt_eep_write_result {
    OKT_EEP_WRITE_VERIFIED,      // all 128 bytes written and read back equal
    OKT_EEP_WRITE_NO_ENTRY,      // a null entry
    OKT_EEP_WRITE_BAD_BUS,       // bus is neither 0 nor 1
    OKT_EEP_WRITE_BUS_NOT_OPEN,  // the bus device cannot be opened (errno tells why)
    OKT_EEP_WRITE_NOT_SELECTED,  // the device cannot be selected (held by a kernel driver)
    OKT_EEP_WRITE_FAILED,        // the byte at `offset` was not taken; those before it were
    OKT_EEP_WRITE_NOT_READ_BACK, // all written, but the read-back failed
    OKT_EEP_WRITE_DIFFERS,       // the byte at `offset` reads back as `read_back`, not `wrote`
};

struct okt_eep_write_report {
    okt_eep_write_result result;
    int offset;              // OKT_EEP_WRITE_FAILED, OKT_EEP_WRITE_DIFFERS; else -1
    unsigned char wrote;     // OKT_EEP_WRITE_DIFFERS: the byte written at `offset`
    unsigned char read_back; // OKT_EEP_WRITE_DIFFERS: the byte read back there
};

// The write of okt_eep_write_modinfo (the same transfers, write-cycle waits and read-back),
// printing nothing and telling in *report how it ended.
void okt_eep_write_record(const okt_eep_modinfo *entry, okt_eep_write_report *report);
