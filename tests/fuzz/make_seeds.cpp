// fuzz_make_seeds <ihex-corpus-dir> <pack-corpus-dir> <record-corpus-dir>: copies the fixture HEX
// files into the first folder, writes PACK files of all three versions made from them into the
// second, each behind the mode bytes that fuzz_pack_read reads first, and ID records (empty,
// blank, programmed, and one with a bad date and an unterminated text) into the third.
#include "pack_format.h"
#include "pack_write.h"
#include "run_program.h"

#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char **argv)
{
    if (argc != 4) {
        printf("usage: %s <ihex-corpus-dir> <pack-corpus-dir> <record-corpus-dir>\n", argv[0]);
        return 1;
    }
    const std::string fixtures = OKT_FIXTURE_DIR;
    const char *hex_files[] = {"flash.hex",          "eeprom.hex",          "flash-linear16.hex",
                               "flash-linear32.hex", "flash-segment32.hex", "eeprom-linear32.hex"};
    for (const char *name : hex_files) {
        if (!write_file(std::string(argv[1]) + "/" + name, read_file(fixtures + "/" + name)))
            return 1;
    }
    const std::string flash = fixtures + "/flash.hex";
    const std::string eeprom = fixtures + "/eeprom.hex";
    pack_write_result (*const packers[])(const char *, const char *, const char *) = {
        pack_write_v1, pack_write_v2, pack_write_v3};
    for (int v = 0; v < 3; ++v) {
        const std::string tmp = std::string(argv[2]) + "/tmp.pack";
        if (packers[v](tmp.c_str(), flash.c_str(), eeprom.c_str()) != PACK_WRITE_OK)
            return 1;
        const std::string pack = read_file(tmp);
        std::remove(tmp.c_str());
        for (char mode : {'\0', '\3'}) {
            const std::string name = std::string(argv[2]) + "/v" + std::to_string(v + 1) + "-mode" +
                                     std::to_string(mode) + ".seed";
            if (!write_file(name, std::string(1, mode) + pack))
                return 1;
        }
    }
    const std::string programmed = std::string("\x2a\0\0\0\x14\x06\x25\x20\x09\x30"
                                               "\x02\x12\x25\x20\x16\x45WLD OKT-MOD-X1\0\0"
                                               "A\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
                                               "X1-2025-01234\0\0\0",
                                               64) +
                                   std::string(64, '\0');
    std::string odd = programmed;
    odd.replace(4, 6, "\x31\x04\x24\x20\x10\x00", 6);
    odd.replace(16, 16, "ABCDEFGHIJKLMNOP");
    const std::pair<const char *, std::string> records[] = {
        {"empty.rec", std::string(128, '\0')},
        {"blank.rec", std::string(128, '\xff')},
        {"programmed.rec", programmed},
        {"odd.rec", odd},
    };
    for (const auto &[name, bytes] : records) {
        if (!write_file(std::string(argv[3]) + "/" + name, bytes))
            return 1;
    }
    return 0;
}
