// avr-fwinfo's text report as a technician reads it: the real-toolchain HEX pair and the PACK
// files the updater makes of it, files made consistent or damaged on purpose, and proof that it
// opens nothing but its inputs.
#include "fwinfo_test_support.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace
{

// The fixture firmware: flash up to 0x1012C (a table above 64 KiB), EEPROM up to 0x150.
const std::string FIXTURE_IDENT =
    "New Firmware Data      : B103 Built on (DD.MM.YYYY) 14.06.2025 for Hardware OKT32-BB\n";
const std::string FIXTURE_STAMP =
    "Stamp                  : flash word sum 0x965AF8C0, length 0x012C (300 bytes), sent in "
    "EEPROM block 0\n"
    "Flash word sum         : 0x965AF8C0 over 0x1012C bytes of the image to send: matches (the "
    "stamp keeps only the low 16 bits of the length)\n";
const std::string FIXTURE_VERDICT =
    "\nOK: the stamp matches the flash image to send; its sum covers 0x1012C bytes, of which the "
    "length field keeps the low 16 bits (0x012C)\n";

// The HEX path sends only the blocks the records touch.
const std::string FIXTURE_HEX_BLOCKS =
    "Flash blocks to send   : 4 (0x00000-0x001FF, 0x10000-0x101FF)\n"
    "EEPROM blocks to send  : 2 (0x000-0x1FF)\n"
    "Line bytes of an update: 1696 (prepare 16, version 32, 6 blocks of 272, end 16)\n"
    "Line time              : estimated at 10 bit times a byte, without the AVR's programming "
    "time\n"
    "  at   9600 baud       : 1.767 s\n"
    "  at  19200 baud       : 0.883 s\n"
    "  at  38400 baud       : 0.442 s\n"
    "  at  57600 baud       : 0.294 s\n"
    "  at 115200 baud       : 0.147 s\n";

// Binary PACK files send every block up to the stored length, gaps included.
const std::string FIXTURE_BIN_BLOCKS =
    "Flash blocks to send   : 258 (0x00000-0x101FF)\n"
    "EEPROM blocks to send  : 2 (0x000-0x1FF)\n"
    "Line bytes of an update: 70784 (prepare 16, version 32, 260 blocks of 272, end 16)\n"
    "Line time              : estimated at 10 bit times a byte, without the AVR's programming "
    "time\n"
    "  at   9600 baud       : 73.733 s\n"
    "  at  19200 baud       : 36.867 s\n"
    "  at  38400 baud       : 18.433 s\n"
    "  at  57600 baud       : 12.289 s\n"
    "  at 115200 baud       : 6.144 s\n";

const std::string SMALL_STAMP_OK =
    "Stamp                  : flash word sum 0xF70785F5, length 0x0158 (344 bytes), sent in "
    "EEPROM block 0\n"
    "Flash word sum         : 0xF70785F5 over the stamped length of the image to send: matches\n";
const std::string SMALL_BLOCKS =
    "Flash blocks to send   : 2 (0x00000-0x001FF)\n"
    "EEPROM blocks to send  : 2 (0x000-0x1FF)\n"
    "Line bytes of an update: 1152 (prepare 16, version 32, 4 blocks of 272, end 16)\n"
    "Line time              : estimated at 10 bit times a byte, without the AVR's programming "
    "time\n"
    "  at   9600 baud       : 1.200 s\n"
    "  at  19200 baud       : 0.600 s\n"
    "  at  38400 baud       : 0.300 s\n"
    "  at  57600 baud       : 0.200 s\n"
    "  at 115200 baud       : 0.100 s\n";
const std::string OK_VERDICT = "\nOK: the stamp matches the flash image to send\n";

TEST_F(Fwinfo, HexPairShowsItsBlocksAndTheStampOfItsLongFlash)
{
    run_result r = fwinfo({FLASH_HEX, EEPROM_HEX});
    EXPECT_EQ(r.out, "Input                  : HEX pair, flash " + FLASH_HEX + ", EEPROM " +
                         EEPROM_HEX +
                         "\n"
                         "Flash image length     : 65836 bytes (0x1012C)\n"
                         "EEPROM image length    : 336 bytes (0x150)\n" +
                         FIXTURE_IDENT + FIXTURE_STAMP + FIXTURE_HEX_BLOCKS + FIXTURE_VERDICT);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(Fwinfo, PackOfEachVersionShowsItsPayloads)
{
    struct version_case {
        int version;
        const char *detected;
        const char *contents;
        const std::string &blocks;
    };
    const version_case cases[] = {
        {1, "PACK-V1 (IHEX) detected.\n", "HEX texts", FIXTURE_HEX_BLOCKS},
        {2, "PACK-V2 (BIN) detected.\n", "binary images", FIXTURE_BIN_BLOCKS},
        {3, "PACK-V3 (BZ2-BIN) detected.\n", "binary EEPROM image, flash compressed with bzip2",
         FIXTURE_BIN_BLOCKS},
    };
    for (const version_case &c : cases) {
        SCOPED_TRACE(c.version);
        std::string path = pack(c.version);
        pack_head h = head_of(read_file(path));
        // Stored sizes: version 1 the HEX texts, 2 and 3 the images up to their lengths.
        const uint32_t eep_size[] = {0, 958, 336, 336};
        ASSERT_EQ(h.eep_size, eep_size[c.version]);
        const uint32_t fw_size[] = {0, 1855, 65836, h.fw_size}; // version 3: what bzip2 made
        ASSERT_EQ(h.fw_size, fw_size[c.version]);
        std::string raw = c.version == 3 ? "65836 bytes raw, " : "";
        run_result r = fwinfo({path});
        EXPECT_EQ(r.out, std::string(c.detected) + "Input                  : PACK version " +
                             std::to_string(c.version) + " (" + c.contents + "), " + path +
                             "\n"
                             "EEPROM payload         : " +
                             std::to_string(h.eep_size) + " bytes stored, checksum " +
                             hex8(h.eep_cksum) +
                             " matches the head\n"
                             "Flash payload          : " +
                             std::to_string(h.fw_size) + " bytes stored, " + raw + "checksum " +
                             hex8(h.fw_cksum) + " matches the head\n" + FIXTURE_IDENT +
                             FIXTURE_STAMP + c.blocks + FIXTURE_VERDICT);
        EXPECT_EQ(r.status, 0);
    }
}

// Each input is read once: a PACK that arrives through a pipe, which cannot be read a second
// time, gets the same report as the file, payload checksums included.
TEST_F(Fwinfo, PackFromAPipeGetsTheReportOfTheFile)
{
    for (int version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        const std::string path = pack(version);
        run_result from_file = fwinfo({path});
        run_options opts;
        opts.stdin_text = read_file(path);
        run_result from_pipe = run_program(bin_path("avr-fwinfo"), {"/dev/stdin"}, opts);
        std::string expected = from_file.out;
        expected.replace(expected.find(path), path.size(), "/dev/stdin");
        EXPECT_EQ(from_pipe.out, expected);
        EXPECT_EQ(from_pipe.status, from_file.status);
    }
}

TEST_F(Fwinfo, ConsistentFilesExitZero)
{
    std::string flash = small_flash();
    run_result r = fwinfo({flash, EEPROM_HEX});
    EXPECT_EQ(r.out, "Input                  : HEX pair, flash " + flash + ", EEPROM " +
                         EEPROM_HEX +
                         "\n"
                         "Flash image length     : 346 bytes (0x0015A)\n"
                         "EEPROM image length    : 336 bytes (0x150)\n" +
                         FIXTURE_IDENT + SMALL_STAMP_OK + SMALL_BLOCKS + OK_VERDICT);
    EXPECT_EQ(r.status, 0);

    std::string path = pack(2, flash);
    pack_head h = head_of(read_file(path));
    r = fwinfo({path});
    EXPECT_EQ(r.out, "PACK-V2 (BIN) detected.\n"
                     "Input                  : PACK version 2 (binary images), " +
                         path +
                         "\n"
                         "EEPROM payload         : 336 bytes stored, checksum " +
                         hex8(h.eep_cksum) +
                         " matches the head\n"
                         "Flash payload          : 346 bytes stored, checksum " +
                         hex8(h.fw_cksum) + " matches the head\n" + FIXTURE_IDENT + SMALL_STAMP_OK +
                         SMALL_BLOCKS + OK_VERDICT);
    EXPECT_EQ(r.status, 0);
}

TEST_F(Fwinfo, ErasedIdentificationAndAStampThatStaysBehind)
{
    // EEPROM data only in block 1: the identification is erased (its 0xFF bytes shown escaped, as
    // no raw byte of a file reaches the terminal) and block 0, which holds the stamp, is not sent.
    std::string flash = small_flash();
    std::string eep = put("block1.hex", ":04010000DEADBEEFC3\n:00000001FF\n");
    run_result r = fwinfo({flash, eep});
    EXPECT_EQ(r.out,
              "Input                  : HEX pair, flash " + flash + ", EEPROM " + eep +
                  "\n"
                  "Flash image length     : 346 bytes (0x0015A)\n"
                  "EEPROM image length    : 260 bytes (0x104)\n"
                  "New Firmware Data      : \\xff-1-1-1 Built on (DD.MM.YYYY) -1.-1.20-1 for "
                  "Hardware \\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\n"
                  "Stamp                  : flash word sum 0xF70785F5, length 0x0158 (344 bytes), "
                  "not sent: EEPROM block 0 is not flagged\n"
                  "Flash word sum         : 0xF70785F5 over the stamped length of the image to "
                  "send: matches\n"
                  "Flash blocks to send   : 2 (0x00000-0x001FF)\n"
                  "EEPROM blocks to send  : 1 (0x100-0x1FF)\n"
                  "Line bytes of an update: 880 (prepare 16, version 32, 3 blocks of 272, end 16)\n"
                  "Line time              : estimated at 10 bit times a byte, without the AVR's "
                  "programming time\n"
                  "  at   9600 baud       : 0.917 s\n"
                  "  at  19200 baud       : 0.458 s\n"
                  "  at  38400 baud       : 0.229 s\n"
                  "  at  57600 baud       : 0.153 s\n"
                  "  at 115200 baud       : 0.076 s\n" +
                  OK_VERDICT);
    EXPECT_EQ(r.status, 0);
}

const std::string DAMAGED_STAMP = "Flash word sum         : 0xF70785F4 over the stamped length of "
                                  "the image to send: MISMATCH\n";
const std::string DAMAGED_VERDICT =
    "\nSTAMP MISMATCH: the flash word sum in EEPROM bytes 16-23 does not match the flash image to "
    "send; the file is damaged or inconsistent\n";

TEST_F(Fwinfo, PatchedFlashWithFixedChecksumsFailsTheStamp)
{
    pack_parts parts = parts_of(read_file(pack(2, small_flash())));
    // One bit less in the first flash word: the checksums are made to fit, the stamp is not.
    parts.fw[0] = static_cast<char>(parts.fw[0] - 1);
    struct version_case {
        uint32_t version;
        std::string fw_payload;
        uint32_t raw;
        const char *detected;
        const char *contents;
    };
    const version_case cases[] = {
        {2, parts.fw, 0, "PACK-V2 (BIN) detected.\n", "binary images"},
        {3, bz2_of(parts.fw), 346, "PACK-V3 (BZ2-BIN) detected.\n",
         "binary EEPROM image, flash compressed with bzip2"},
    };
    for (const version_case &c : cases) {
        SCOPED_TRACE(c.version);
        pack_head h = head_for(c.version, parts.eep, c.fw_payload, c.raw);
        std::string path = put("patched.pack", pack_bytes(h, parts.eep, c.fw_payload));
        std::string raw = c.version == 3 ? "346 bytes raw, " : "";
        run_result r = fwinfo({path});
        EXPECT_EQ(r.out, std::string(c.detected) + "Input                  : PACK version " +
                             std::to_string(c.version) + " (" + c.contents + "), " + path +
                             "\n"
                             "EEPROM payload         : 336 bytes stored, checksum " +
                             hex8(h.eep_cksum) +
                             " matches the head\n"
                             "Flash payload          : " +
                             std::to_string(h.fw_size) + " bytes stored, " + raw + "checksum " +
                             hex8(h.fw_cksum) + " matches the head\n" + FIXTURE_IDENT +
                             SMALL_STAMP_OK.substr(0, SMALL_STAMP_OK.find("Flash word sum")) +
                             DAMAGED_STAMP + SMALL_BLOCKS + DAMAGED_VERDICT);
        EXPECT_EQ(r.status, 20);
    }
}

TEST_F(Fwinfo, FlashChecksumThatDoesNotMatchTheHeadFailsEvenWhenTheStampMatches)
{
    std::string file = read_file(pack(2, small_flash()));
    pack_head h = head_of(file);
    h.fw_cksum ^= 0x100;
    pack_parts parts = parts_of(file);
    std::string path = put("cksum.pack", pack_bytes(h, parts.eep, parts.fw));
    run_result r = fwinfo({path});
    EXPECT_EQ(r.out, "PACK-V2 (BIN) detected.\n"
                     "PACK-V2: fw data cksum error\n"
                     "Input                  : PACK version 2 (binary images), " +
                         path +
                         "\n"
                         "EEPROM payload         : 336 bytes stored, checksum " +
                         hex8(h.eep_cksum) +
                         " matches the head\n"
                         "Flash payload          : 346 bytes stored, checksum " +
                         hex8(checksum_of(parts.fw)) + ", the head says " + hex8(h.fw_cksum) +
                         ": MISMATCH\n" + FIXTURE_IDENT + SMALL_STAMP_OK + SMALL_BLOCKS +
                         "\nFLASH CHECKSUM MISMATCH: the stored flash payload does not match the "
                         "checksum in the PACK head; the file is damaged\n");
    EXPECT_EQ(r.status, 21);
}

// After the loader's own message the report ends with the verdict line, as every report does.
std::string load_failed(int status)
{
    return "\nLOAD FAILED: the input does not load; the updater stops on it with status " +
           std::to_string(status) + "\n";
}

TEST_F(Fwinfo, DamagedInputGivesTheLoadersMessageAndCode)
{
    std::string v2 = read_file(pack(2, small_flash()));
    std::string v3 = read_file(pack(3, small_flash()));
    pack_parts p3 = parts_of(v3);
    std::string bad_stream = p3.fw;
    bad_stream[0] = 'X'; // no bzip2 stream signature
    pack_head h3 = head_for(3, p3.eep, bad_stream, 346);
    std::string bad_eep_cksum = v2;
    bad_eep_cksum[PACK_HEAD_SIZE + 40] ^= 0x01;
    std::string version0 = v2;
    version0[4] = 0;
    std::string version7 = v2;
    version7[4] = 7;
    std::string bad_magic = v2;
    bad_magic[0] = 'X';

    struct damage_case {
        const char *label;
        std::string bytes;
        std::string out;
        int status;
    };
    const damage_case cases[] = {
        {"bad magic", bad_magic, "PACK invalid signature\n", 11},
        {"version 0", version0,
         "PACK version 0 not supported. Where did you get that from anyway?  We never even "
         "released a working binary with this broken PACK format!\n",
         13},
        {"version 7", version7, "unsupported PACK version 7. Please update this tool!\n", 12},
        {"short head", v2.substr(0, 31), "cannot read pack head\n", 10},
        {"cut payload", v2.substr(0, v2.size() - 1),
         "PACK-V2 (BIN) detected.\nPACK-V2: pack fw data read failure\n", 1},
        {"eep checksum", bad_eep_cksum, "PACK-V2 (BIN) detected.\nPACK-V2: eep data cksum error\n",
         2},
        {"bzip2 stream", pack_bytes(h3, p3.eep, bad_stream),
         "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: decompression error: -5\n", 3},
    };
    for (const damage_case &c : cases) {
        SCOPED_TRACE(c.label);
        run_result r = fwinfo({put("damaged.pack", c.bytes)});
        EXPECT_EQ(r.out, c.out + load_failed(c.status));
        EXPECT_EQ(r.status, c.status);
    }

    std::string missing = dir.file("missing.pack");
    run_result r = fwinfo({missing});
    EXPECT_EQ(r.out, "file open/stat/read error " + missing + "\n" + load_failed(3));
    EXPECT_EQ(r.status, 3);

    std::string missing_hex = dir.file("missing.hex");
    r = fwinfo({missing_hex, EEPROM_HEX});
    EXPECT_EQ(r.out, "cannot open firmware file '" + missing_hex +
                         "'\nfile open/stat/read error in '" + missing_hex + "' 1\n" +
                         load_failed(1));
    EXPECT_EQ(r.status, 1);
}

// Files the dynamic loader and the C library open on their own account, and the process's own
// /proc entries that a sanitizer runtime reads in an instrumented build.
bool system_file(const std::string &path)
{
    for (const char *prefix : {"/lib/", "/lib64/", "/usr/lib/", "/usr/lib64/", "/etc/ld.so.",
                               "/usr/share/locale/", "/usr/lib/locale/", "/proc/self/"})
        if (path.compare(0, strlen(prefix), prefix) == 0)
            return true;
    return false;
}

// The paths in the open, openat and creat calls of an strace log.
std::set<std::string> opened_paths(const std::string &log)
{
    std::set<std::string> paths;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t quote = line.find('"');
        if (quote == std::string::npos)
            continue;
        std::size_t end = line.find('"', quote + 1);
        paths.insert(line.substr(quote + 1, end - quote - 1));
    }
    return paths;
}

TEST_F(Fwinfo, OpensNothingButItsInputs)
{
    if (launcher_in_use())
        GTEST_SKIP() << "the launcher would show up in the trace";
    if (access("/usr/bin/strace", X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    const std::string packfile = pack(3);
    const std::vector<std::vector<std::string>> runs = {
        {FLASH_HEX, EEPROM_HEX}, {packfile}, {"--json", packfile}};
    for (const auto &args : runs) {
        SCOPED_TRACE(args.back());
        std::string log = dir.file("open.log");
        std::vector<std::string> strace_args = {"-f", "-e", "trace=open,openat,creat",
                                                "-o", log,  bin_path("avr-fwinfo")};
        strace_args.insert(strace_args.end(), args.begin(), args.end());
        // LeakSanitizer cannot work under a tracer; in an instrumented build it is switched off
        // for this run only.
        const char *asan = getenv("ASAN_OPTIONS");
        run_options opts;
        opts.env = {std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0"};
        run_result r = run_program("/usr/bin/strace", strace_args, opts);
        EXPECT_EQ(r.status, 0) << r.err;
        std::set<std::string> inputs(args.begin(), args.end());
        inputs.erase("--json");
        std::set<std::string> seen;
        for (const std::string &path : opened_paths(read_file(log))) {
            if (inputs.count(path))
                seen.insert(path);
            else
                EXPECT_TRUE(system_file(path)) << path << " was opened\n" << read_file(log);
        }
        EXPECT_EQ(seen, inputs) << read_file(log);
    }
}

} // namespace
