#include "idrec_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

const module_file CPU = {"cpu", "i2c-0-50", 0, 0x50};
const module_file BB = {"bb", "i2c-1-50", 1, 0x50};
const module_file EXT0 = {"ext0", "i2c-0-52", 0, 0x52};
const module_file EXT1 = {"ext1", "i2c-0-53", 0, 0x53};
const module_file *const MODULES[4] = {&CPU, &BB, &EXT0, &EXT1};

namespace
{

std::string field16(const std::string &text)
{
    std::string f = text.size() >= 16 ? text.substr(0, 16) : text;
    f.resize(16, '\0');
    return f;
}

} // namespace

std::string build_record(const record_fields &f)
{
    std::string r;
    for (int i = 0; i < 4; i++)
        r += static_cast<char>(f.bootcntr >> (8 * i));
    r += f.manuf_date + f.maint_date + field16(f.desc) + field16(f.rev) + field16(f.serial) +
         f.reserved;
    EXPECT_EQ(r.size(), RECORD_SIZE);
    return r;
}

std::string sample_record()
{
    record_fields f;
    f.bootcntr = 42;
    f.manuf_date = std::string("\x14\x06\x25\x20\x09\x30", 6);
    f.maint_date = std::string("\x02\x12\x25\x20\x16\x45", 6);
    f.desc = "WLD OKT-MOD-X1";
    f.rev = "A";
    f.serial = "X1-2025-01234";
    return build_record(f);
}

const std::string SAMPLE_TEXT = "State              : programmed\n"
                                "BootCounter        : 00000042 (0x0000002a)\n"
                                "Manufacture Date   :  14.06.25-09:30\n"
                                "Maintainance Date  :  02.12.25-16:45\n"
                                "Module Description : [WLD OKT-MOD-X1 ]\n"
                                "Revision String    : [A              ]\n"
                                "Serial Number      : [X1-2025-01234  ]\n"
                                "Reserved           : all zero\n";

std::string sanitized(std::string record)
{
    record[31] = record[47] = record[63] = '\0';
    return record;
}

std::string hex(const std::string &bytes)
{
    std::string s;
    char b[3];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof b, "%02x", c);
        s += b;
    }
    return s;
}

std::string idrec::put(const std::string &name, const std::string &bytes) const
{
    write_file(path(name), bytes);
    return path(name);
}

void idrec::put_eeprom(const module_file &m, const std::string &record) const
{
    std::string bytes = record;
    for (std::size_t i = bytes.size(); i < EEPROM_SIZE; i++)
        bytes += static_cast<char>(i * 7 + 3);
    write_file(path(m.file), bytes);
}

std::string idrec::eeprom(const module_file &m) const
{
    return read_file(path(m.file));
}

void idrec::remove_eeprom(const module_file &m) const
{
    unlink(path(m.file).c_str());
}

std::string idrec::log() const
{
    struct stat st;
    return stat(path("i2c.log").c_str(), &st) == 0 ? read_file(path("i2c.log")) : "";
}

run_result idrec::run(const std::vector<std::string> &args, const std::string &stdin_text)
{
    run_options opts;
    if (stdin_text.empty())
        opts.stdin_from_null = true;
    else
        opts.stdin_text = stdin_text;
    opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_DIR=" + dir.path,
                "I2CSIM_LOG=" + path("i2c.log"), "TZ=UTC"};
    opts.env.insert(opts.env.end(), env.begin(), env.end());
    return run_program(bin_path("okt-idrec"), args, opts);
}

json_value parse_line(const std::string &out)
{
    json_value doc;
    std::string error;
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "not one line: " << out;
    EXPECT_TRUE(parse_json(out, &doc, &error)) << error << "\n" << out;
    return doc;
}
