#include "fwinfo_test_support.h"

#include "hex_writer.h"
#include "pack_test_util.h"

#include <cstdio>
#include <sstream>

const std::string FIXTURES = source_path("tests/fixtures/avr/");
const std::string FLASH_HEX = FIXTURES + "flash.hex";
const std::string EEPROM_HEX = FIXTURES + "eeprom.hex";

run_result fwinfo(const std::vector<std::string> &args)
{
    return run_program(bin_path("avr-fwinfo"), args);
}

pack_head head_of(const std::string &file)
{
    pack_head h{};
    if (file.size() >= PACK_HEAD_SIZE)
        pack_head_decode(reinterpret_cast<const unsigned char *>(file.data()), &h);
    return h;
}

std::string hex8(uint32_t v)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(v));
    return buf;
}

std::string small_flash_hex()
{
    std::string text = read_file(FLASH_HEX);
    return text.substr(0, text.find(":02000002")) + ":00000001FF\n";
}

std::string ident_hex(const std::string &ident)
{
    // The stamp's 8 bytes follow, so that a binary PACK stores the stamp the loader puts there.
    return hex_record(HEX_DATA, 0, ident + std::string(8, '\xFF')) +
           hex_record(HEX_END_OF_FILE, 0, "");
}

pack_parts parts_of(const std::string &file)
{
    pack_head h = head_of(file);
    return {file.substr(PACK_HEAD_SIZE, h.eep_size),
            file.substr(PACK_HEAD_SIZE + h.eep_size, h.fw_size)};
}

std::string Fwinfo::pack(int version, const std::string &flash, const std::string &eep)
{
    std::string path = dir.file("v" + std::to_string(version) + ".pack");
    run_result r = run_program(bin_path("avr-fwupdate"),
                               {"-pack" + std::to_string(version), path, flash, eep});
    EXPECT_EQ(r.status, 0) << r.out;
    return path;
}

std::string Fwinfo::small_flash()
{
    return put("small.hex", small_flash_hex());
}

std::string Fwinfo::put(const std::string &name, const std::string &bytes)
{
    write_file(dir.file(name), bytes);
    return dir.file(name);
}

std::string Fwinfo::stamp_damaged_pack()
{
    pack_parts parts = parts_of(read_file(pack(2, small_flash())));
    parts.fw[0] = static_cast<char>(parts.fw[0] - 1);
    return put("stamp.pack", pack_bytes(head_for(2, parts.eep, parts.fw), parts.eep, parts.fw));
}

std::string Fwinfo::flash_cksum_damaged_pack()
{
    std::string file = read_file(pack(2, small_flash()));
    pack_head h = head_of(file);
    h.fw_cksum ^= 0x100;
    pack_parts parts = parts_of(file);
    return put("cksum.pack", pack_bytes(h, parts.eep, parts.fw));
}
