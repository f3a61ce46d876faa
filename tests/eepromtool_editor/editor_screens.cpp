#include "editor_screens.h"

#include <cstdio>

std::string pad15(const std::string &text)
{
    return text.size() < 15 ? text + std::string(15 - text.size(), ' ') : text;
}

std::string counter_text(uint32_t value)
{
    char text[40];
    snprintf(text, sizeof text, "%08lu (0x%08lx)", static_cast<unsigned long>(value),
             static_cast<unsigned long>(value));
    return text;
}

std::string info_block(const info_lines &i)
{
    return "BootCounter        : " + i.counter + "\n" + "Manufacture Date   :  " + i.manuf + "\n" +
           "Maintainance Date  :  " + i.maint + "\n" + "Module Description : [" + i.desc + "]\n" +
           "Revision String    : [" + i.rev + "]\n" + "Serial Number      : [" + i.serial + "]\n";
}

info_lines cpu_info()
{
    return {"00001234 (0x000004d2)", "24.12.09-08:05",  "01.02.12-10:30",
            pad15("WLD OKT-CPU-A1"), pad15("ABCDEFGH"), pad15("SN-0001")};
}

info_lines motherboard_info()
{
    return {"00000007 (0x00000007)", "03.04.11-23:59", "05.06.13-00:01",
            pad15("WLD OKT-MOBO-F"), pad15("R2"),      pad15("MB-42")};
}

info_lines erased_info()
{
    std::string ff(15, '\xff');
    return {"4294967295 (0xffffffff)", " (invalid)", "(invalid)", ff, ff, ff};
}

info_lines zero_info()
{
    return {"00000000 (0x00000000)",
            "00.00.0000.00.00",
            "00.00.0000.00.00",
            pad15(""),
            pad15(""),
            pad15("")};
}

std::string banner_head()
{
    return "\n--------------------------------------------------\n"
           "OKT32 ID-EEPROM tool (LINUX) Version 1.50 built on ";
}

std::string banner()
{
    return banner_head() + OKT_BUILD_STAMP "\n\n";
}

std::string reading_report(const std::vector<bool> &answered)
{
    const module_id *order[] = {&CPU, &MOTHERBOARD, &EXT0, &EXT1};
    std::string s = "\n--------- READING EEPROMS -----------\n\n";
    for (size_t i = 0; i < 4; ++i) {
        char head[64];
        snprintf(head, sizeof head, " bus %d dev 0x%02x... ", order[i]->bus, order[i]->addr);
        s += head;
        s += answered[i] ? "OK.\n" : "i2c error. Assuming no device.\n";
    }
    return s + "\n-------- READING DONE -------------\n";
}

std::string standard_report()
{
    return reading_report({true, true, true, false});
}

namespace
{
std::string module_line(const module_id &m)
{
    char line[128];
    snprintf(line, sizeof line, "Module-Role: %s, I2C bus %d address 0x%02x\n\n", m.name, m.bus,
             m.addr);
    return line;
}
} // namespace

std::string main_screen(const module_id &m, const info_lines &i)
{
    return "\n ---------- MAIN MENU --------------- \n\n"
           "SELECTED MODULE: '" +
           std::string(m.name) + "'\n\n" + info_block(i) +
           "\n"
           " h .. hexdump current modules eeprom\n"
           " r .. re-read eeproms\n"
           "\n"
           " 1 .. select CPU module\n"
           " 2 .. select Motherboard\n"
           " 3 .. select Extension Module 0\n"
           " 4 .. select Extension Module 1\n"
           "\n"
           " e .. edit current module information\n"
           "\n"
           " W .. write current module information to EEPROM\n"
           "\n"
           " q .. quit\n"
           "> ";
}

std::string edit_screen(const module_id &m, const info_lines &i)
{
    return "\n------------------ EDIT MODULE ---------------\n\n" + module_line(m) + info_block(i) +
           "\n"
           " 1 .. clear bootcounter\n"
           " 2 .. edit bootcounter\n"
           " 3 .. edit manufacture date\n"
           " 4 .. edit maintainance date\n"
           " 5 .. select description string\n"
           " 6 .. edit revision string\n"
           " 7 .. edit serial number\n"
           "\n"
           " q .. editing done\n"
           "> ";
}

std::string edit_done()
{
    return "\n----------- EDIT MODULE DONE ---------------\n";
}

std::string hexdump_screen(const module_id &m, const std::string &record)
{
    std::string s = "\n------------- HEXDUMP MODULE ------------ \n\n" + module_line(m);
    s += "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n";
    for (size_t i = 0; i < record.size(); i += 16) {
        char hex[24];
        snprintf(hex, sizeof hex, "%02zx: ", i);
        s += hex;
        std::string chars;
        for (size_t j = i; j < i + 16; ++j) {
            unsigned char b = static_cast<unsigned char>(record[j]);
            snprintf(hex, sizeof hex, "%02x ", b);
            s += hex;
            chars += b == 0 || b == 0xff ? '.' : (b >= 0x20 && b <= 0x7e ? char(b) : '?');
        }
        s += "   " + chars + "\n";
    }
    return s + "\n------------- HEXDUMP ENDS   ------------ \n";
}

std::string write_screen(const module_id &m, bool ok, const std::string &i2c_message)
{
    return "\n\n---------- WRITE DATA ------------\n\n" + module_line(m) + i2c_message +
           (ok ? " WRITE SUCCESS! \n" : " ** ERROR OCCURED!\n") +
           "\n\n---------- WRITE DATA END ------------\n\n";
}
