#include "oktideep.h"

#include "byte_order.h"
#include "i2c_access.h"
#include "owners.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace
{

constexpr int TABLE_ENTRIES = 5; // four modules and the end entry

// Last byte of each text field; kept 0 so every text ends inside its field.
constexpr size_t TEXT_TERMINATOR_OFFSETS[] = {
    offsetof(okt_eep_data, desc_string) + sizeof(okt_eep_data::desc_string) - 1,
    offsetof(okt_eep_data, rev_string) + sizeof(okt_eep_data::rev_string) - 1,
    offsetof(okt_eep_data, serial) + sizeof(okt_eep_data::serial) - 1,
};

constexpr int CKSUM_FIRST_BYTE = 4;
constexpr int CKSUM_BYTE_COUNT = 59;

struct module_layout {
    int32_t role;
    uint8_t bus;
    uint8_t addr;
    int32_t state;
};

// The board's modules in reading order.
constexpr module_layout MODULES[] = {
    {ROLE_CPU, 0, 0xA0, 1},
    {ROLE_BASEBOARD, 1, 0xA0, 0},
    {ROLE_EXTMOD0, 0, 0xA4, 0},
    {ROLE_EXTMOD1, 0, 0xA6, 0},
};
static_assert(sizeof(MODULES) / sizeof(MODULES[0]) == TABLE_ENTRIES - 1, "table size");

const char *const BUS_DEVICES[] = {"/dev/i2c-0", "/dev/i2c-1"};
constexpr int BUS_COUNT = 2;

unsigned char *record_bytes(okt_eep_data *data)
{
    return reinterpret_cast<unsigned char *>(data);
}

const unsigned char *record_bytes(const okt_eep_data *data)
{
    return reinterpret_cast<const unsigned char *>(data);
}

// One module's read on its bus's descriptor (negative when the bus has none, so the read fails).
// True when all bytes were read.
bool read_entry(okt_eep_modinfo *m, int fd)
{
    int got = i2c_read_upto(fd, m->addr, record_bytes(&m->data), OKT_EEP_RECORD_SIZE);
    m->bytes_read = got < 0 ? 0 : got;
    if (got != OKT_EEP_RECORD_SIZE) {
        m->state = STATE_NO_DEVICE;
        m->read_complete = 0;
        return false;
    }
    m->read_complete = 1;
    okt_eep_sanitize_entry(m);
    return true;
}

// How opening an entry's bus device ended. The values are the codes that okt_eep_read_modinfo
// and okt_eep_write_modinfo return for these cases.
enum bus_open_result {
    BUS_OPENED = 0,
    BUS_NO_ENTRY = -1,    // a null entry
    BUS_NOT_0_OR_1 = -2,  // the entry's bus is neither 0 nor 1
    BUS_CANNOT_OPEN = -3, // the device cannot be opened (errno tells why)
};

// Opens the entry's bus device into *bus.
bus_open_result open_entry_bus(const okt_eep_modinfo *entry, unique_fd *bus)
{
    if (!entry)
        return BUS_NO_ENTRY;
    if (entry->bus >= BUS_COUNT)
        return BUS_NOT_0_OR_1;
    bus->reset(open(BUS_DEVICES[entry->bus], O_RDWR));
    return bus->get() < 0 ? BUS_CANNOT_OPEN : BUS_OPENED;
}

} // namespace

uint32_t okt_eep_get_bootcntr(const okt_eep_data *data)
{
    return get_le32(data->bootcntr);
}

void okt_eep_set_bootcntr(okt_eep_data *data, uint32_t value)
{
    put_le32(data->bootcntr, value);
}

okt_eep_modinfo *okt_eep_init()
{
    auto *table = static_cast<okt_eep_modinfo *>(calloc(TABLE_ENTRIES, sizeof(okt_eep_modinfo)));
    if (!table)
        return nullptr;
    int i = 0;
    for (const module_layout &m : MODULES) {
        table[i].role = m.role;
        table[i].bus = m.bus;
        table[i].addr = m.addr;
        table[i].state = m.state;
        i++;
    }
    table[i].role = ROLE_END;
    return table;
}

int okt_eep_probe(okt_eep_modinfo *table, int verbose)
{
    unique_fd bus0(open(BUS_DEVICES[0], O_RDWR));
    if (bus0.get() < 0) {
        if (verbose)
            puts("cannot open /dev/i2c-0");
        return -1;
    }
    unique_fd bus1(open(BUS_DEVICES[1], O_RDWR));
    if (bus1.get() < 0) {
        if (verbose)
            puts("cannot open /dev/i2c-1");
        return -2;
    }
    if (verbose)
        puts("\n--------- READING EEPROMS -----------\n");
    for (okt_eep_modinfo *m = table; m->role != ROLE_END; m++) {
        if (verbose) {
            printf(" bus %d dev 0x%02x... ", m->bus, m->addr);
            fflush(stdout);
        }
        // A bus number outside the table's two buses gets no descriptor, so its read fails.
        int fd = m->bus == 0 ? bus0.get() : m->bus == 1 ? bus1.get() : -1;
        if (!read_entry(m, fd)) {
            if (verbose)
                puts("i2c error. Assuming no device.");
        } else if (verbose) {
            puts("OK.");
        }
    }
    if (verbose)
        puts("\n-------- READING DONE -------------");
    // bus1 closes before bus0: reverse order of declaration.
    return 0;
}

int okt_eep_read_modinfo(okt_eep_modinfo *entry)
{
    unique_fd bus;
    bus_open_result opened = open_entry_bus(entry, &bus);
    if (opened != BUS_OPENED)
        return opened;
    return read_entry(entry, bus.get()) ? 0 : -1;
}

const char *okt_eep_bus_device(int bus)
{
    return bus >= 0 && bus < BUS_COUNT ? BUS_DEVICES[bus] : nullptr;
}

void okt_eep_sanitize_entry(okt_eep_modinfo *entry)
{
    for (size_t offset : TEXT_TERMINATOR_OFFSETS)
        record_bytes(&entry->data)[offset] = 0;
}

okt_eep_modinfo *okt_eep_get_modinfo(okt_eep_modinfo *table, int role)
{
    for (okt_eep_modinfo *m = table; m->role != ROLE_END; m++) {
        if (m->role == role)
            return m;
    }
    return nullptr;
}

int okt_eep_mod_get_serial(const okt_eep_modinfo *entry, char **buf)
{
    if (!entry || !buf || !*buf)
        return -1;
    memset(*buf, 0, sizeof(entry->data.serial));
    memcpy(*buf, entry->data.serial, OKT_EEP_TEXT_BYTES);
    return 0;
}

uint8_t okt_eep_cksum_data(const unsigned char *area)
{
    unsigned sum = 0;
    for (int i = 0; i < CKSUM_BYTE_COUNT; i++)
        sum += area[CKSUM_FIRST_BYTE + i];
    return static_cast<uint8_t>(sum);
}

int okt_eep_write_modinfo(const okt_eep_modinfo *entry)
{
    unique_fd bus;
    bus_open_result opened = open_entry_bus(entry, &bus);
    if (opened != BUS_OPENED)
        return opened;
    const unsigned char *bytes = record_bytes(&entry->data);
    if (i2c_write(bus.get(), entry->addr, bytes, OKT_EEP_RECORD_SIZE) != 0)
        return -1;
    // A write-protected EEPROM acknowledges every byte and stores none: only reading the bytes
    // back tells.
    if (i2c_verify(bus.get(), entry->addr, bytes, OKT_EEP_RECORD_SIZE) != 0)
        return -4;
    return 0;
}

void okt_eep_write_record(const okt_eep_modinfo *entry, okt_eep_write_report *report)
{
    *report = {OKT_EEP_WRITE_VERIFIED, -1, 0, 0};
    unique_fd bus;
    switch (open_entry_bus(entry, &bus)) {
    case BUS_OPENED:
        break;
    case BUS_NO_ENTRY:
        report->result = OKT_EEP_WRITE_NO_ENTRY;
        return;
    case BUS_NOT_0_OR_1:
        report->result = OKT_EEP_WRITE_BAD_BUS;
        return;
    case BUS_CANNOT_OPEN:
        report->result = OKT_EEP_WRITE_BUS_NOT_OPEN;
        return;
    }
    const unsigned char *bytes = record_bytes(&entry->data);
    int written = i2c_write_upto(bus.get(), entry->addr, bytes, OKT_EEP_RECORD_SIZE);
    if (written < 0) {
        report->result = OKT_EEP_WRITE_NOT_SELECTED;
        return;
    }
    if (written < OKT_EEP_RECORD_SIZE) {
        report->result = OKT_EEP_WRITE_FAILED;
        report->offset = written;
        return;
    }
    unsigned char back = 0;
    int same = i2c_compare(bus.get(), entry->addr, bytes, OKT_EEP_RECORD_SIZE, &back);
    if (same < 0) {
        report->result = OKT_EEP_WRITE_NOT_READ_BACK;
    } else if (same < OKT_EEP_RECORD_SIZE) {
        report->result = OKT_EEP_WRITE_DIFFERS;
        report->offset = same;
        report->wrote = bytes[same];
        report->read_back = back;
    }
}
