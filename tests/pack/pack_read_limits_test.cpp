// pack_read against sizes in the head: payloads larger than the file, and larger than any valid
// payload can be.
#include "pack.h"
#include "pack_test_util.h"

#include <gtest/gtest.h>

namespace
{

const std::string V1_DETECTED = "PACK-V1 (IHEX) detected.\n";
const std::string V2_DETECTED = "PACK-V2 (BIN) detected.\n";
const std::string V3_DETECTED = "PACK-V3 (BZ2-BIN) detected.\n";

TEST(PackRead, PayloadsLargerThanTheFileAreReadFailures)
{
    const std::string eep = pattern(64);
    const std::string fw = pattern(512);
    const std::string bz = bz2_of(fw);
    auto grown = [](pack_head h, uint32_t eep_size, uint32_t fw_size) {
        if (eep_size)
            h.eep_size = eep_size;
        if (fw_size)
            h.fw_size = fw_size;
        return h;
    };
    const std::string t1 = eep_hex_text();
    const std::string f1 = flash_hex_text();
    // Sizes one byte past the file, and the largest sizes a payload may have: both fail before
    // allocating.
    expect_read_failures({
        {"v1 eep", pack_bytes(grown(head_for(1, t1, f1), t1.size() + f1.size() + 1, 0), t1, f1), 1,
         V1_DETECTED + "PACK-V1: pack eep data read failure\n"},
        {"v1 eep at the limit", pack_bytes(grown(head_for(1, t1, f1), 16 << 20, 0), t1, f1), 1,
         V1_DETECTED + "PACK-V1: pack eep data read failure\n"},
        {"v1 fw", pack_bytes(grown(head_for(1, t1, f1), 0, f1.size() + 1), t1, f1), 1,
         V1_DETECTED + "PACK-V1: pack fw data read failure\n"},
        {"v1 fw at the limit", pack_bytes(grown(head_for(1, t1, f1), 0, 16 << 20), t1, f1), 1,
         V1_DETECTED + "PACK-V1: pack fw data read failure\n"},
        {"v2 eep", pack_bytes(head_for(2, eep, fw), eep, fw).substr(0, 32 + 63), 1,
         V2_DETECTED + "PACK-V2: pack eep data read failure\n"},
        {"v2 fw", pack_bytes(head_for(2, eep, fw), eep, fw).substr(0, 32 + 64 + 511), 1,
         V2_DETECTED + "PACK-V2: pack fw data read failure\n"},
        {"v3 eep", pack_bytes(head_for(3, eep, bz, 512), eep, bz).substr(0, 32 + 10), 1,
         V3_DETECTED + "PACK-V3: pack eep data read failure\n"},
        {"v3 fw", pack_bytes(head_for(3, eep, bz, 512), eep, bz).substr(0, 32 + 64 + bz.size() - 1),
         1, V3_DETECTED + "PACK-V3: pack fw data read failure\n"},
        {"v3 fw at the limit", pack_bytes(grown(head_for(3, eep, bz, 512), 0, 133720), eep, bz), 1,
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
    auto sized = [](pack_head h, uint32_t eep_size, uint32_t fw_size) {
        if (eep_size)
            h.eep_size = eep_size;
        if (fw_size)
            h.fw_size = fw_size;
        return h;
    };
    expect_read_failures({
        {"v1 eep", pack_bytes(sized(head_for(1, t1, f1), (16 << 20) + 1, 0), t1, f1), 4,
         V1_DETECTED + "PACK-V1: eep data size 16777217 above 16777216 bytes\n"},
        {"v1 eep huge", pack_bytes(sized(head_for(1, t1, f1), 0xFFFFFFFF, 0), t1, f1), 4,
         V1_DETECTED + "PACK-V1: eep data size 4294967295 above 16777216 bytes\n"},
        {"v1 fw", pack_bytes(sized(head_for(1, t1, f1), 0, (16 << 20) + 1), t1, f1), 4,
         V1_DETECTED + "PACK-V1: fw data size 16777217 above 16777216 bytes\n"},
        {"v3 fw", pack_bytes(sized(head_for(3, eep, bz, 100), 0, 133721), eep, bz), 4,
         V3_DETECTED + "PACK-V3: fw data size 133721 above 133720 bytes\n"},
        {"v3 fw huge", pack_bytes(sized(head_for(3, eep, bz, 100), 0, 0xFFFFFFFF), eep, bz), 4,
         V3_DETECTED + "PACK-V3: fw data size 4294967295 above 133720 bytes\n"},
        {"v2 eep", pack_bytes(head_for(2, eep_big, ""), eep_big, ""), 4,
         V2_DETECTED + "PACK-V2: eep data size 4097 above 4096 bytes\n"},
        {"v3 eep", pack_bytes(head_for(3, eep_big, bz, 100), eep_big, bz), 4,
         V3_DETECTED + "PACK-V3: eep data size 4097 above 4096 bytes\n"},
        {"v2 fw", pack_bytes(head_for(2, eep, fw_big), eep, fw_big), 4,
         V2_DETECTED + "PACK-V2: fw data size 131073 above 131072 bytes\n"},
        {"v3 fw raw", pack_bytes(head_for(3, eep, bz, 0x20001), eep, bz), 4,
         V3_DETECTED + "PACK-V3: fw raw size 131073 above 131072 bytes\n"},
    });
}

} // namespace
