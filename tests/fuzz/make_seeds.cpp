// fuzz_make_seeds <ihex-corpus-dir> <pack-corpus-dir>: copies the fixture HEX files into the first
// folder and writes PACK files of all three versions made from them into the second, each behind
// the mode bytes that fuzz_pack_read reads first.
#include "pack_format.h"
#include "pack_write.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool spill(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        printf("usage: %s <ihex-corpus-dir> <pack-corpus-dir>\n", argv[0]);
        return 1;
    }
    const std::string fixtures = OKT_FIXTURE_DIR;
    const char *hex_files[] = {"flash.hex",          "eeprom.hex",          "flash-linear16.hex",
                               "flash-linear32.hex", "flash-segment32.hex", "eeprom-linear32.hex"};
    for (const char *name : hex_files) {
        if (!spill(std::string(argv[1]) + "/" + name, slurp(fixtures + "/" + name)))
            return 1;
    }
    const std::string flash = fixtures + "/flash.hex";
    const std::string eeprom = fixtures + "/eeprom.hex";
    int (*const packers[])(const char *, const char *,
                           const char *) = {pack_write_v1, pack_write_v2, pack_write_v3};
    for (int v = 0; v < 3; ++v) {
        const std::string tmp = std::string(argv[2]) + "/tmp.pack";
        if (packers[v](tmp.c_str(), flash.c_str(), eeprom.c_str()) != 0)
            return 1;
        const std::string pack = slurp(tmp);
        std::remove(tmp.c_str());
        for (char mode : {'\0', '\3'}) {
            const std::string name = std::string(argv[2]) + "/v" + std::to_string(v + 1) + "-mode" +
                                     std::to_string(mode) + ".seed";
            if (!spill(name, std::string(1, mode) + pack))
                return 1;
        }
    }
    return 0;
}
