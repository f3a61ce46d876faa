// PACK files that reach the updater through a pipe, where the file's size cannot bound the sizes
// its head claims: every payload size is checked against what a valid payload can need.
#include "pack_format.h"
#include "pack_test_util.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr uint32_t ONE_GIB = 1u << 30;

pack_head with_sizes(pack_head h, uint32_t eep_size, uint32_t fw_size)
{
    h.eep_size = eep_size;
    h.fw_size = fw_size;
    return h;
}

TEST(PackFromAPipe, SizesNoValidPayloadHasAreRefusedBeforeReading)
{
    temp_dir dir;
    const std::string port = dir.file("no-tty");
    const std::string eep_text = eep_hex_text();
    const std::string eep = pattern(64);
    const std::string bz = bz2_of(pattern(1000));
    const pack_head v1 = head_for(1, eep_text, "");
    const pack_head v2 = head_for(2, eep, "");
    const pack_head v3 = head_for(3, eep, bz, 1000);
    struct pipe_case {
        const char *name;
        std::string piped; // the head and what follows it; then the pipe ends
        int status;
        std::string out;
    };
    const pipe_case cases[] = {
        {"v1 eep 1 GiB", pack_bytes(with_sizes(v1, ONE_GIB, 0), eep_text, ""), 4,
         "PACK-V1 (IHEX) detected.\nPACK-V1: eep data size 1073741824 above 16777216 bytes\n"},
        {"v1 fw 1 GiB", pack_bytes(with_sizes(v1, v1.eep_size, ONE_GIB), eep_text, ""), 4,
         "PACK-V1 (IHEX) detected.\nPACK-V1: fw data size 1073741824 above 16777216 bytes\n"},
        {"v1 eep at the limit", pack_bytes(with_sizes(v1, 16u << 20, 0), eep_text, ""), 1,
         "PACK-V1 (IHEX) detected.\nPACK-V1: pack eep data read failure\n"},
        {"v2 fw 1 GiB", pack_bytes(with_sizes(v2, v2.eep_size, ONE_GIB), eep, ""), 4,
         "PACK-V2 (BIN) detected.\nPACK-V2: fw data size 1073741824 above 131072 bytes\n"},
        {"v3 fw 1 GiB", pack_bytes(with_sizes(v3, v3.eep_size, ONE_GIB), eep, bz), 4,
         "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: fw data size 1073741824 above 133720 bytes\n"},
        {"v3 fw at the limit", pack_bytes(with_sizes(v3, v3.eep_size, 133720), eep, bz), 1,
         "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: pack fw data read failure\n"},
    };
    for (const pipe_case &c : cases) {
        SCOPED_TRACE(c.name);
        run_options opts;
        opts.stdin_text = c.piped;
        run_result r = run_program(bin_path("avr-fwupdate"), {port, "115200", "/dev/stdin"}, opts);
        EXPECT_EQ(after_banner(r.out), c.out);
        EXPECT_EQ(r.status, c.status);
    }
}

} // namespace
