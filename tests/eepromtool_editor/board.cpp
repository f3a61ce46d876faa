#include "board.h"

#include "run_program.h"

#include <cstdio>

const module_id CPU = {"CPU Module", 0, 0xa0, "i2c-0-50"};
const module_id MOTHERBOARD = {"Motherboard", 1, 0xa0, "i2c-1-50"};
const module_id EXT0 = {"Extension Module 0", 0, 0xa4, "i2c-0-52"};
const module_id EXT1 = {"Extension Module 1", 0, 0xa6, "i2c-0-53"};

namespace
{

unsigned char bcd(int v)
{
    return static_cast<unsigned char>((v / 10) << 4 | (v % 10));
}

std::string field(const std::string &text)
{
    std::string f = text.substr(0, 16);
    f.resize(16, '\0');
    return f;
}

} // namespace

std::string packed_date(int day, int month, int year, int hour, int minute)
{
    std::string d;
    for (unsigned char b : {bcd(day), bcd(month), bcd(year), static_cast<unsigned char>(0x20),
                            bcd(hour), bcd(minute)})
        d += static_cast<char>(b);
    return d;
}

std::string record_bytes(const record_fields &f)
{
    std::string r;
    for (int i = 0; i < 4; ++i)
        r += static_cast<char>(f.counter >> (8 * i) & 0xFF);
    std::string manuf = f.manuf_date, maint = f.maint_date;
    manuf.resize(6, '\0');
    maint.resize(6, '\0');
    r += manuf + maint + field(f.desc) + field(f.rev) + field(f.serial);
    for (int i = 0; i < 64; ++i)
        r += static_cast<char>(0x80 + i);
    return r;
}

record_fields cpu_record()
{
    record_fields f;
    f.counter = 1234;
    f.manuf_date = packed_date(24, 12, 9, 8, 5);
    f.maint_date = packed_date(1, 2, 12, 10, 30);
    f.desc = "WLD OKT-CPU-A1";
    f.rev = "ABCDEFGH";
    f.serial = "SN-0001";
    return f;
}

record_fields motherboard_record()
{
    record_fields f;
    f.counter = 7;
    f.manuf_date = packed_date(3, 4, 11, 23, 59);
    f.maint_date = packed_date(5, 6, 13, 0, 1);
    f.desc = "WLD OKT-MOBO-F";
    f.rev = "R2";
    f.serial = "MB-42";
    return f;
}

board::board() : tail(EEPROM_SIZE - RECORD_SIZE, '\xa5')
{
    put(CPU, record_bytes(cpu_record()));
    put(MOTHERBOARD, record_bytes(motherboard_record()));
    put(EXT0, std::string(RECORD_SIZE, '\xff'));
}

void board::put(const module_id &m, const std::string &record)
{
    write_file(dir.file(m.file), record + tail);
}

void board::remove(const module_id &m)
{
    ::remove(dir.file(m.file).c_str());
}

std::string board::eeprom(const module_id &m) const
{
    return read_file(dir.file(m.file));
}

std::string board::log() const
{
    return read_file(dir.file("i2c.log"));
}

std::vector<std::string> board::env(const std::vector<std::string> &more) const
{
    std::vector<std::string> e = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"),
                                  "I2CSIM_DIR=" + dir.path, "I2CSIM_LOG=" + dir.file("i2c.log")};
    e.insert(e.end(), more.begin(), more.end());
    return e;
}
