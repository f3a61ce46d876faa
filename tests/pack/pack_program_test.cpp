// avr-fwupdate as a technician runs it: packing the real-toolchain HEX pair into all three
// versions, the packers' exit statuses, and PACK files handed to the update forms.
#include "firmware_image.h"
#include "ihex_file.h"
#include "pack_format.h"
#include "pack_test_util.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

const std::string FLASH_HEX = source_path("tests/fixtures/avr/flash.hex");
const std::string EEPROM_HEX = source_path("tests/fixtures/avr/eeprom.hex");

std::string format(const char *fmt, long a, unsigned long b, long c, unsigned long d)
{
    char buf[256];
    snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

// The packer's report for a head, as printed between its first line and the end.
std::string report(const pack_head &h, bool compressed)
{
    std::string s = format("Size EEP: %08ld cksum %08lx\nSize FW:  %08ld cksum %08lx\n", h.eep_size,
                           h.eep_cksum, h.fw_size, h.fw_cksum);
    s += "Writing HEAD... OK\nWriting EEP  (" + std::to_string(h.eep_size) + " bytes) ... OK\n";
    s += "Writing DATA (" + std::to_string(h.fw_size) + " bytes";
    if (compressed)
        s += " [" + std::to_string(h.fw_raw_size) + " real]";
    return s + ") ...OK\n";
}

// The fixture pair as the HEX loader makes it: stamped EEPROM image and the two lengths.
struct hex_pair {
    std::string fw_image;
    std::string eep_image;
    uint32_t fw_len = 0;
    uint32_t eep_len = 0;
};

hex_pair load_pair()
{
    hex_pair p;
    unsigned char *bufs[4] = {};
    if (load_firmware_pair(FLASH_HEX.c_str(), EEPROM_HEX.c_str(), &bufs[0], &bufs[1], &bufs[2],
                           &bufs[3], &p.fw_len, &p.eep_len) == IHEX_LOAD_OK) {
        p.fw_image = slice(bufs[0], FW_IMAGE_SIZE);
        p.eep_image = slice(bufs[1], EEP_IMAGE_SIZE);
    }
    for (unsigned char *b : bufs)
        free(b);
    return p;
}

struct PackProgram : testing::Test {
    temp_dir dir;
    std::string out = dir.file("fw.pack");

    run_result run(const std::vector<std::string> &args)
    {
        return run_program(bin_path("avr-fwupdate"), args);
    }
    run_result pack(const std::string &option, const std::string &data = FLASH_HEX,
                    const std::string &eep = EEPROM_HEX)
    {
        return run({option, out, data, eep});
    }
};

TEST_F(PackProgram, Version1StoresBothTextsByteForByte)
{
    const std::string eep = read_file(EEPROM_HEX);
    const std::string fw = read_file(FLASH_HEX);
    pack_head h = head_for(1, eep, fw);
    run_result r = pack("-pack1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(after_banner(r.out), "Packing firmware files (V1)\n" + report(h, false));
    EXPECT_EQ(read_file(out), pack_bytes(h, eep, fw));
}

TEST_F(PackProgram, Version2StoresTheStampedImagesUpToTheirLengths)
{
    hex_pair p = load_pair();
    ASSERT_GT(p.fw_len, 0x10000u) << "the fixture's flash reaches above 64 KiB";
    const std::string eep = p.eep_image.substr(0, p.eep_len);
    const std::string fw = p.fw_image.substr(0, p.fw_len);
    pack_head h = head_for(2, eep, fw);
    run_result r = pack("-pack2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(after_banner(r.out), "Packing firmware files (V2)\n" + report(h, false));
    const std::string file = read_file(out);
    EXPECT_EQ(file, pack_bytes(h, eep, fw));
    EXPECT_EQ(file.substr(24, 8), std::string(8, '\0')) << "fw_raw_size and reserved are 0";
}

TEST_F(PackProgram, Version3StoresABzip2StreamOfTheFlashImage)
{
    hex_pair p = load_pair();
    const std::string eep = p.eep_image.substr(0, p.eep_len);
    const std::string raw = p.fw_image.substr(0, p.fw_len);
    for (const char *option : {"-pack3", "-pack", "-packX", "-pack3.5"}) {
        SCOPED_TRACE(option);
        run_result r = pack(option);
        EXPECT_EQ(r.status, 0);
        const std::string file = read_file(out);
        ASSERT_GE(file.size(), PACK_HEAD_SIZE + eep.size());
        const std::string fw = file.substr(PACK_HEAD_SIZE + eep.size());
        pack_head h = head_for(3, eep, fw, p.fw_len);
        EXPECT_EQ(after_banner(r.out), "Packing firmware files (V3)\n" + report(h, true));
        EXPECT_EQ(file, pack_bytes(h, eep, fw));
        EXPECT_EQ(fw, bz2_of(raw)) << "block size 9, work factor 250";
    }

    // The stream is plain bzip2: the standard tool restores the flash bytes.
    const std::string file = read_file(out);
    write_file(dir.file("fw.bz2"), file.substr(PACK_HEAD_SIZE + p.eep_len));
    const std::string cmd = "bzip2 -d -c '" + dir.file("fw.bz2") + "' > '" + dir.file("fw") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(dir.file("fw")), raw);
}

TEST_F(PackProgram, PackingOverALongerFileLeavesNoTail)
{
    write_file(out, std::string(300000, 'x'));
    for (const char *option : {"-pack1", "-pack2", "-pack3"}) {
        SCOPED_TRACE(option);
        write_file(out, std::string(300000, 'x'));
        run_result r = pack(option);
        ASSERT_EQ(r.status, 0);
        const std::string file = read_file(out);
        pack_head h;
        pack_head_decode(reinterpret_cast<const unsigned char *>(file.data()), &h);
        EXPECT_EQ(file.size(), PACK_HEAD_SIZE + h.eep_size + h.fw_size);
    }
}

TEST_F(PackProgram, FailuresExitWithThePackerResultAndKeepTheOldFile)
{
    const std::string missing = dir.file("missing.hex");
    const std::string folder = dir.path;
    const std::string old_bytes = "an older PACK file";
    struct failure {
        const char *name;
        std::vector<std::string> args;
        int status;
        std::string out_suffix; // the end of the output
    };
    const failure cases[] = {
        {"output folder missing",
         {"-pack2", dir.file("no/such.pack"), FLASH_HEX, EEPROM_HEX},
         255,
         "Packing firmware files (V2)\ncannot open for writing " + dir.file("no/such.pack") + "\n"},
        {"output is a folder",
         {"-pack3", folder, FLASH_HEX, EEPROM_HEX},
         255,
         "Packing firmware files (V3)\ncannot open for writing " + folder + "\n"},
        {"output is a device",
         {"-pack1", "/dev/null", FLASH_HEX, EEPROM_HEX},
         255,
         "Packing firmware files (V1)\ncannot open for writing /dev/null\n"},
        {"v1 eeprom missing",
         {"-pack1", out, FLASH_HEX, missing},
         254,
         "Packing firmware files (V1)\ncannot open for reading " + missing + "\n"},
        {"v1 data missing",
         {"-pack1", out, missing, EEPROM_HEX},
         253,
         "Packing firmware files (V1)\ncannot open for reading " + missing + "\n"},
        {"v1 eeprom unreadable",
         {"-pack1", out, FLASH_HEX, folder},
         252,
         "Packing firmware files (V1)\ncould not read all of eep\n"},
        {"v1 data unreadable",
         {"-pack1", out, folder, EEPROM_HEX},
         252,
         "Packing firmware files (V1)\ncould not read all of data\n"},
        {"v2 data missing",
         {"-pack2", out, missing, EEPROM_HEX},
         254,
         "errors found in data files; aborting.\n"},
        {"v3 eeprom missing",
         {"-pack3", out, FLASH_HEX, missing},
         254,
         "errors found in data files; aborting.\n"},
    };
    for (const failure &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(out, old_bytes);
        run_result r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        ASSERT_GE(r.out.size(), c.out_suffix.size()) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - c.out_suffix.size()), c.out_suffix);
        EXPECT_EQ(read_file(out), old_bytes);
    }
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // No temporary file is left beside the output.
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"fw.pack"});
}

TEST_F(PackProgram, UpdateFormsReportTheReaderResult)
{
    // The device node does not exist: a PACK that reads well ends at the port with 2.
    const std::string port = dir.file("no-tty");
    const std::string eep = std::string(16, 'E');
    const std::string fw = std::string(600, 'F');
    const std::string bz = bz2_of(fw);
    pack_head bad_magic = head_for(2, eep, fw);
    bad_magic.magic = 0;
    pack_head bad_eep = head_for(3, eep, bz, 600);
    bad_eep.eep_cksum = 0;
    std::string damaged = bz;
    damaged[bz.size() / 2] ^= 0x55;
    struct reader_case {
        const char *name;
        std::string file;
        int status;
        std::string out;
    };
    const reader_case cases[] = {
        {"head of 31 bytes", pack_bytes(head_for(2, "", ""), "", "").substr(0, 31), 10,
         "cannot read pack head\n"},
        {"signature", pack_bytes(bad_magic, eep, fw), 11, "PACK invalid signature\n"},
        {"version 0", pack_bytes(head_for(0, eep, fw), eep, fw), 13,
         "PACK version 0 not supported. Where did you get that from anyway?  We never even "
         "released a working binary with this broken PACK format!\n"},
        {"version 7", pack_bytes(head_for(7, eep, fw), eep, fw), 12,
         "unsupported PACK version 7. Please update this tool!\n"},
        {"eeprom checksum", pack_bytes(bad_eep, eep, bz), 2,
         "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: eep data cksum error\n"},
        {"damaged stream", pack_bytes(head_for(3, eep, damaged, 600), eep, damaged), 3,
         "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: decompression error: -4\n"},
        {"eeprom too large", pack_bytes(head_for(2, std::string(5000, 'E'), fw), "", ""), 4,
         "PACK-V2 (BIN) detected.\nPACK-V2: eep data size 5000 above 4096 bytes\n"},
        {"short payload", pack_bytes(head_for(2, eep, fw), eep, fw.substr(1)), 1,
         "PACK-V2 (BIN) detected.\nPACK-V2: pack fw data read failure\n"},
        {"reads well", pack_bytes(head_for(2, eep, fw), eep, fw), 2,
         "PACK-V2 (BIN) detected.\ncannot open comm port '" + port + "'\n"},
    };
    const std::string pack_file = dir.file("in.pack");
    for (const reader_case &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(pack_file, c.file);
        run_result r = run({port, "115200", pack_file});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(after_banner(r.out), c.out);
    }
}

} // namespace
