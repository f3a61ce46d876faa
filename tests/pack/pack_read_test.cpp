// pack_read over PACK bytes built field by field: results, messages, images and block maps.
#include "capture_stdout.h"
#include "firmware_image.h"
#include "fw_stamp.h"
#include "ihex_parse.h"
#include "pack_format.h"
#include "pack_read.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

const std::string V1_DETECTED = "PACK-V1 (IHEX) detected.\n";
const std::string V2_DETECTED = "PACK-V2 (BIN) detected.\n";
const std::string V3_DETECTED = "PACK-V3 (BZ2-BIN) detected.\n";
const std::string EEP_HEX = eep_hex_text();

std::string map_of(const byte_buffer &map, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += map.get()[i] ? '1' : '0';
    return s;
}

std::string flagged(std::size_t first_blocks, std::size_t n)
{
    return std::string(first_blocks, '1') + std::string(n - first_blocks, '0');
}

TEST(PackRead, RefusesHeadsItCannotRead)
{
    const std::string v0_text =
        "PACK version 0 not supported. Where did you get that from anyway?  "
        "We never even released a working binary with this broken PACK "
        "format!\n";
    struct head_case {
        const char *name;
        uint32_t magic;
        uint32_t version;
        int rc;
        std::string out;
    };
    const head_case cases[] = {
        {"magic", 0xF37AB00C, 2, PACK_DECODE_BAD_MAGIC, "PACK invalid signature\n"},
        {"magic before version", 0x0BB07AF3, 0, PACK_DECODE_BAD_MAGIC, "PACK invalid signature\n"},
        {"version 0", PACK_MAGIC, 0, PACK_DECODE_VERSION0, v0_text},
        {"version 4", PACK_MAGIC, 4, PACK_DECODE_BAD_VERSION,
         "unsupported PACK version 4. Please update this tool!\n"},
        {"version all ones", PACK_MAGIC, 0xFFFFFFFF, PACK_DECODE_BAD_VERSION,
         "unsupported PACK version -1. Please update this tool!\n"},
    };
    for (const head_case &c : cases) {
        SCOPED_TRACE(c.name);
        pack_head h = head_for(c.version, "", "");
        h.magic = c.magic;
        read_outcome r = read_pack(pack_bytes(h, "", ""));
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.fw_image, nullptr);
    }
}

TEST(PackRead, Version2FlagsEveryBlockThatHoldsAStoredByte)
{
    const std::string eep = pattern(300, 1);
    const std::string fw = pattern(0x1F3, 2);
    std::string file = pack_bytes(head_for(2, eep, fw), eep, fw) + "tail of an older file";
    read_outcome r = read_pack(file);
    ASSERT_EQ(r.rc, PACK_DECODE_OK) << r.out;
    EXPECT_EQ(r.out, V2_DETECTED);
    EXPECT_EQ(map_of(r.eep_map, EEP_BLOCK_COUNT), flagged(2, EEP_BLOCK_COUNT));
    EXPECT_EQ(map_of(r.fw_map, FW_BLOCK_COUNT), flagged(2, FW_BLOCK_COUNT));
    // Full-size images, erased after the stored bytes; no stamp is added to the EEPROM image.
    EXPECT_EQ(slice(r.eep_image.get(), EEP_IMAGE_SIZE), eep + std::string(4096 - 300, '\xFF'));
    EXPECT_EQ(slice(r.fw_image.get(), FW_IMAGE_SIZE), fw + std::string(0x20000 - 0x1F3, '\xFF'));
}

TEST(PackRead, BlockFlagsAtTheEdges)
{
    struct edge_case {
        std::size_t eep_size;
        std::size_t eep_blocks;
        std::size_t fw_size;
        std::size_t fw_blocks;
    };
    const edge_case cases[] = {
        {0, 0, 0, 0},
        {1, 1, 1, 1},
        {256, 1, 256, 1},
        {257, 2, 257, 2},
        {4096, 16, 0x20000, 512},
        {4095, 16, 0x1FF01, 512},
    };
    for (uint32_t version : {2u, 3u}) {
        for (const edge_case &c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "V" << version << " eep " << c.eep_size << " fw " << c.fw_size);
            const std::string eep = pattern(c.eep_size);
            const std::string raw = pattern(c.fw_size, 5);
            const std::string fw = version == 3 ? bz2_of(raw) : raw;
            pack_head h = head_for(version, eep, fw, version == 3 ? c.fw_size : 0);
            read_outcome r = read_pack(pack_bytes(h, eep, fw));
            ASSERT_EQ(r.rc, PACK_DECODE_OK) << r.out;
            EXPECT_EQ(map_of(r.eep_map, EEP_BLOCK_COUNT), flagged(c.eep_blocks, EEP_BLOCK_COUNT));
            EXPECT_EQ(map_of(r.fw_map, FW_BLOCK_COUNT), flagged(c.fw_blocks, FW_BLOCK_COUNT));
            EXPECT_EQ(slice(r.fw_image.get(), c.fw_size), raw);
        }
    }
}

TEST(PackRead, Version3DecompressesTheFlashImage)
{
    const std::string eep = pattern(24, 3);
    const std::string raw = pattern(0x10123, 4);
    const std::string fw = bz2_of(raw);
    read_outcome r = read_pack(pack_bytes(head_for(3, eep, fw, 0x10123), eep, fw));
    ASSERT_EQ(r.rc, PACK_DECODE_OK) << r.out;
    EXPECT_EQ(r.out, V3_DETECTED);
    EXPECT_EQ(slice(r.fw_image.get(), FW_IMAGE_SIZE), raw + std::string(0x20000 - 0x10123, '\xFF'));
    EXPECT_EQ(map_of(r.fw_map, FW_BLOCK_COUNT), flagged(0x102, FW_BLOCK_COUNT));
    EXPECT_EQ(map_of(r.eep_map, EEP_BLOCK_COUNT), flagged(1, EEP_BLOCK_COUNT));
}

TEST(PackRead, Version1ParsesBothTextsAndStampsTheEeprom)
{
    const std::string fw_text = flash_hex_text();
    read_outcome r = read_pack(pack_bytes(head_for(1, EEP_HEX, fw_text), EEP_HEX, fw_text));
    ASSERT_EQ(r.rc, PACK_DECODE_OK) << r.out;
    EXPECT_EQ(r.out, V1_DETECTED);

    // The same images the HEX path makes from the texts, stamped with the flash sum and length.
    unsigned char *fw = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep = nullptr;
    unsigned char *eep_map = nullptr;
    uint32_t fw_len = 0;
    ASSERT_EQ(ihex_parse(fw_text.data(), fw_text.size(), &fw, &fw_map, FW_IMAGE_SIZE,
                         FW_BLOCK_COUNT, &fw_len),
              IHEX_OK);
    ASSERT_EQ(ihex_parse(EEP_HEX.data(), EEP_HEX.size(), &eep, &eep_map, EEP_IMAGE_SIZE,
                         EEP_BLOCK_COUNT, nullptr),
              IHEX_OK);
    byte_buffer owners[] = {byte_buffer(fw), byte_buffer(fw_map), byte_buffer(eep),
                            byte_buffer(eep_map)};
    stamp_fw_checksum(eep, fw, fw_len);
    EXPECT_EQ(fw_len, 0x1F3u);
    EXPECT_EQ(slice(r.fw_image.get(), FW_IMAGE_SIZE), slice(fw, FW_IMAGE_SIZE));
    EXPECT_EQ(slice(r.eep_image.get(), EEP_IMAGE_SIZE), slice(eep, EEP_IMAGE_SIZE));
    EXPECT_EQ(r.eep_image.get()[22], 0xF0);
    EXPECT_EQ(r.eep_image.get()[23], 0x01);
    EXPECT_EQ(map_of(r.fw_map, FW_BLOCK_COUNT), flagged(2, FW_BLOCK_COUNT));
    EXPECT_EQ(map_of(r.eep_map, EEP_BLOCK_COUNT), flagged(1, EEP_BLOCK_COUNT));
}

TEST(PackRead, FlashChecksumMismatchOnlyWarns)
{
    const std::string eep = pattern(32);
    const std::string raw = pattern(1000, 9);
    struct warn_case {
        uint32_t version;
        std::string fw;
        std::string out;
    };
    const warn_case cases[] = {
        {1, flash_hex_text(), V1_DETECTED + "PACK-V1: fw data cksum error\n"},
        {2, raw, V2_DETECTED + "PACK-V2: fw data cksum error\n"},
        {3, bz2_of(raw), V3_DETECTED + "PACK-V3: fw data cksum error\n"},
    };
    for (const warn_case &c : cases) {
        SCOPED_TRACE(c.version);
        const std::string e = c.version == 1 ? EEP_HEX : eep;
        pack_head h = head_for(c.version, e, c.fw, c.version == 3 ? 1000 : 0);
        h.fw_cksum ^= 1;
        read_outcome r = read_pack(pack_bytes(h, e, c.fw));
        EXPECT_EQ(r.rc, PACK_DECODE_OK);
        EXPECT_EQ(r.out, c.out);
        ASSERT_NE(r.fw_image, nullptr);
        if (c.version != 1) {
            EXPECT_EQ(slice(r.fw_image.get(), 1000), raw);
        }
    }
}

pack_head with_eep_cksum_off(pack_head h)
{
    h.eep_cksum ^= 0x80000000;
    return h;
}

TEST(PackRead, EepromChecksumMismatchFails)
{
    const std::string eep = pattern(64);
    const std::string fw = pattern(512);
    const std::string bz = bz2_of(fw);
    expect_read_failures({
        {"v1",
         pack_bytes(with_eep_cksum_off(head_for(1, EEP_HEX, flash_hex_text())), EEP_HEX,
                    flash_hex_text()),
         PACK_DECODE_EEP_CKSUM, V1_DETECTED + "PACK-V1: eep data cksum error\n"},
        {"v2", pack_bytes(with_eep_cksum_off(head_for(2, eep, fw)), eep, fw), PACK_DECODE_EEP_CKSUM,
         V2_DETECTED + "PACK-V2: eep data cksum error\n"},
        {"v3", pack_bytes(with_eep_cksum_off(head_for(3, eep, bz, 512)), eep, bz),
         PACK_DECODE_EEP_CKSUM, V3_DETECTED + "PACK-V3: eep data cksum error\n"},
    });
}

TEST(PackRead, Version3RefusesStreamsThatDoNotDecompressToTheImage)
{
    const std::string eep = pattern(16);
    const std::string raw = pattern(5000, 7);
    const std::string bz = bz2_of(raw);
    std::string damaged = bz;
    damaged[10] ^= 0x55; // the block's stored CRC, after "BZh9" and the block magic
    std::string no_magic = bz;
    no_magic[0] = 'X';
    const std::string truncated = bz.substr(0, bz.size() - 20);
    auto v3 = [&](const std::string &fw, uint32_t raw_size) {
        return pack_bytes(head_for(3, eep, fw, raw_size), eep, fw);
    };
    expect_read_failures({
        {"data error", v3(damaged, 5000), PACK_DECODE_BAD_DATA,
         V3_DETECTED + "PACK-V3: decompression error: -4\n"},
        {"magic", v3(no_magic, 5000), PACK_DECODE_BAD_DATA,
         V3_DETECTED + "PACK-V3: decompression error: -5\n"},
        {"truncated", v3(truncated, 5000), PACK_DECODE_BAD_DATA,
         V3_DETECTED + "PACK-V3: decompression error: -7\n"},
        {"shorter than announced", v3(bz, 5001), PACK_DECODE_BAD_DATA,
         V3_DETECTED + "PACK-V3: decompressed size 5000 differs from fw raw size 5001\n"},
    });
}

TEST(PackRead, Version1ParseFailuresCarryTheParserResult)
{
    const std::string eof_only = ":00000001FF\n";
    const std::string fw = flash_hex_text();
    expect_read_failures({
        {"eep", pack_bytes(head_for(1, eof_only, fw), eof_only, fw), PACK_DECODE_V1_PARSE_ERROR,
         V1_DETECTED + "PACK-V1: pack eep data parse error\n"},
        {"fw", pack_bytes(head_for(1, EEP_HEX, eof_only), EEP_HEX, eof_only),
         PACK_DECODE_V1_PARSE_ERROR, V1_DETECTED + "PACK-V1: pack fw data parse error\n"},
    });
}

TEST(PackRead, ReadsPayloadsThatArriveInPiecesFromAPipe)
{
    const std::string eep = pattern(300);
    const std::string fw = pattern(70000, 1);
    const std::string file = pack_bytes(head_for(2, eep, fw), eep, fw);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    unique_fd rd(p[0]);
    std::thread writer([&] {
        unique_fd wr(p[1]);
        for (std::size_t at = PACK_HEAD_SIZE; at < file.size(); at += 1000) {
            std::size_t n = std::min<std::size_t>(1000, file.size() - at);
            if (write(wr.get(), file.data() + at, n) != static_cast<ssize_t>(n))
                return;
        }
    });
    pack_head h = head_for(2, eep, fw);
    unsigned char *bufs[4] = {};
    capture_stdout capture;
    int rc = pack_read(rd.get(), &h, &bufs[0], &bufs[1], &bufs[2], &bufs[3]);
    writer.join();
    EXPECT_EQ(capture.text(), V2_DETECTED);
    byte_buffer owners[] = {byte_buffer(bufs[0]), byte_buffer(bufs[1]), byte_buffer(bufs[2]),
                            byte_buffer(bufs[3])};
    ASSERT_EQ(rc, PACK_DECODE_OK);
    EXPECT_EQ(slice(bufs[0], fw.size()), fw);
}

} // namespace
