// pack_read against sizes in the head: payloads larger than the file, larger than any valid
// payload can be, and version-3 streams that decompress to more than the head announces.
#include "pack_read.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

namespace
{

const std::string V1_DETECTED = "PACK-V1 (IHEX) detected.\n";
const std::string V2_DETECTED = "PACK-V2 (BIN) detected.\n";
const std::string V3_DETECTED = "PACK-V3 (BZ2-BIN) detected.\n";

// The head with the payload sizes that are not 0 put in.
pack_head with_sizes(pack_head h, uint32_t eep_size, uint32_t fw_size)
{
    if (eep_size)
        h.eep_size = eep_size;
    if (fw_size)
        h.fw_size = fw_size;
    return h;
}

TEST(PackRead, PayloadsLargerThanTheFileAreReadFailures)
{
    const std::string eep = pattern(64);
    const std::string fw = pattern(512);
    const std::string bz = bz2_of(fw);
    const std::string t1 = eep_hex_text();
    const std::string f1 = flash_hex_text();
    // Sizes one byte past the file, and the largest sizes a payload may have: both fail before
    // allocating.
    expect_read_failures({
        {"v1 eep",
         pack_bytes(with_sizes(head_for(1, t1, f1), t1.size() + f1.size() + 1, 0), t1, f1),
         PACK_DECODE_IO, V1_DETECTED + "PACK-V1: pack eep data read failure\n"},
        {"v1 eep at the limit", pack_bytes(with_sizes(head_for(1, t1, f1), 16 << 20, 0), t1, f1),
         PACK_DECODE_IO, V1_DETECTED + "PACK-V1: pack eep data read failure\n"},
        {"v1 fw", pack_bytes(with_sizes(head_for(1, t1, f1), 0, f1.size() + 1), t1, f1),
         PACK_DECODE_IO, V1_DETECTED + "PACK-V1: pack fw data read failure\n"},
        {"v1 fw at the limit", pack_bytes(with_sizes(head_for(1, t1, f1), 0, 16 << 20), t1, f1),
         PACK_DECODE_IO, V1_DETECTED + "PACK-V1: pack fw data read failure\n"},
        {"v2 eep", pack_bytes(head_for(2, eep, fw), eep, fw).substr(0, 32 + 63), PACK_DECODE_IO,
         V2_DETECTED + "PACK-V2: pack eep data read failure\n"},
        {"v2 fw", pack_bytes(head_for(2, eep, fw), eep, fw).substr(0, 32 + 64 + 511),
         PACK_DECODE_IO, V2_DETECTED + "PACK-V2: pack fw data read failure\n"},
        {"v3 eep", pack_bytes(head_for(3, eep, bz, 512), eep, bz).substr(0, 32 + 10),
         PACK_DECODE_IO, V3_DETECTED + "PACK-V3: pack eep data read failure\n"},
        {"v3 fw", pack_bytes(head_for(3, eep, bz, 512), eep, bz).substr(0, 32 + 64 + bz.size() - 1),
         PACK_DECODE_IO, V3_DETECTED + "PACK-V3: pack fw data read failure\n"},
        {"v3 fw at the limit",
         pack_bytes(with_sizes(head_for(3, eep, bz, 512), 0, 133720), eep, bz), PACK_DECODE_IO,
         V3_DETECTED + "PACK-V3: pack fw data read failure\n"},
    });
}

TEST(PackRead, PayloadsLargerThanAValidOneAreRefused)
{
    const std::string eep_big = pattern(4097);
    const std::string fw_big = pattern(0x20001);
    const std::string eep = pattern(16);
    const std::string bz = bz2_of(pattern(100));
    const std::string t1 = eep_hex_text();
    const std::string f1 = flash_hex_text();
    expect_read_failures({
        {"v1 eep", pack_bytes(with_sizes(head_for(1, t1, f1), (16 << 20) + 1, 0), t1, f1),
         PACK_DECODE_TOO_LARGE,
         V1_DETECTED + "PACK-V1: eep data size 16777217 above 16777216 bytes\n"},
        {"v1 eep huge", pack_bytes(with_sizes(head_for(1, t1, f1), 0xFFFFFFFF, 0), t1, f1),
         PACK_DECODE_TOO_LARGE,
         V1_DETECTED + "PACK-V1: eep data size 4294967295 above 16777216 bytes\n"},
        {"v1 fw", pack_bytes(with_sizes(head_for(1, t1, f1), 0, (16 << 20) + 1), t1, f1),
         PACK_DECODE_TOO_LARGE,
         V1_DETECTED + "PACK-V1: fw data size 16777217 above 16777216 bytes\n"},
        {"v3 fw", pack_bytes(with_sizes(head_for(3, eep, bz, 100), 0, 133721), eep, bz),
         PACK_DECODE_TOO_LARGE, V3_DETECTED + "PACK-V3: fw data size 133721 above 133720 bytes\n"},
        {"v3 fw huge", pack_bytes(with_sizes(head_for(3, eep, bz, 100), 0, 0xFFFFFFFF), eep, bz),
         PACK_DECODE_TOO_LARGE,
         V3_DETECTED + "PACK-V3: fw data size 4294967295 above 133720 bytes\n"},
        {"v2 eep", pack_bytes(head_for(2, eep_big, ""), eep_big, ""), PACK_DECODE_TOO_LARGE,
         V2_DETECTED + "PACK-V2: eep data size 4097 above 4096 bytes\n"},
        {"v3 eep", pack_bytes(head_for(3, eep_big, bz, 100), eep_big, bz), PACK_DECODE_TOO_LARGE,
         V3_DETECTED + "PACK-V3: eep data size 4097 above 4096 bytes\n"},
        {"v2 fw", pack_bytes(head_for(2, eep, fw_big), eep, fw_big), PACK_DECODE_TOO_LARGE,
         V2_DETECTED + "PACK-V2: fw data size 131073 above 131072 bytes\n"},
        {"v3 fw raw", pack_bytes(head_for(3, eep, bz, 0x20001), eep, bz), PACK_DECODE_TOO_LARGE,
         V3_DETECTED + "PACK-V3: fw raw size 131073 above 131072 bytes\n"},
    });
}

TEST(PackRead, Version3DecompressesWithinBzip2sRoomOverTheAnnouncedLength)
{
    // The room is fw_raw_size + fw_raw_size / 64 + 600 bytes: a longer stream within it is
    // refused for its length, one beyond it by the library (-8, output buffer full).
    const std::string eep = pattern(16);
    struct room_case {
        uint32_t raw_size;
        std::size_t stream_len;
        std::string out;
    };
    const room_case cases[] = {
        {1000, 1001, "PACK-V3: decompressed size 1001 differs from fw raw size 1000\n"},
        {1000, 1615, "PACK-V3: decompressed size 1615 differs from fw raw size 1000\n"},
        {1000, 1616, "PACK-V3: decompression error: -8\n"},
        {0, 600, "PACK-V3: decompressed size 600 differs from fw raw size 0\n"},
        {0, 601, "PACK-V3: decompression error: -8\n"},
        {0x20000, 0x20001, "PACK-V3: decompressed size 131073 differs from fw raw size 131072\n"},
        {0x20000, 133720, "PACK-V3: decompressed size 133720 differs from fw raw size 131072\n"},
        {0x20000, 133721, "PACK-V3: decompression error: -8\n"},
    };
    for (const room_case &c : cases) {
        SCOPED_TRACE(testing::Message() << "raw " << c.raw_size << " stream " << c.stream_len);
        const std::string bz = bz2_of(pattern(c.stream_len, 3));
        read_outcome r = read_pack(pack_bytes(head_for(3, eep, bz, c.raw_size), eep, bz));
        EXPECT_EQ(r.rc, PACK_DECODE_BAD_DATA);
        EXPECT_EQ(r.out, V3_DETECTED + c.out);
        EXPECT_EQ(r.fw_image, nullptr);
    }
}

} // namespace
