// Whole updates from PACK files of each version against the simulated boot loader: the AVR must
// end up exactly as after an update from the HEX pair the PACK was made from.
#include "avr_bootsim.h"
#include "pack_format.h"
#include "pack_test_util.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

namespace
{

const std::string FLASH_HEX = source_path("tests/fixtures/avr/flash.hex");
const std::string EEPROM_HEX = source_path("tests/fixtures/avr/eeprom.hex");

struct device_result {
    int status = -1;
    std::string out;
    std::string flash;
    std::string eeprom;
    avrsim_verdict verdict = AVRSIM_VERDICT_NONE;
    std::size_t violations = 0;
};

// One update on a fresh simulated AVR that already runs firmware of the same hardware id, so
// no hardware warning (and no ten-second wait) comes up. `piped` is the program's standard input.
device_result update(const std::vector<std::string> &files, const std::string &piped = "")
{
    device_result d;
    auto sim = std::make_unique<avrsim>();
    avrsim_config cfg = avrsim_default_config();
    const std::string ident = read_file(source_path("tests/fixtures/avr/eeprom.bin"));
    if (ident.size() < AVRSIM_IDENT_SIZE)
        return d;
    memcpy(cfg.fw_ident, ident.data(), AVRSIM_IDENT_SIZE);
    if (avrsim_open(sim.get(), cfg) != 0)
        return d;
    std::thread server([&] { avrsim_serve(sim.get()); });
    std::vector<std::string> args = {sim->slave_path, "115200"};
    args.insert(args.end(), files.begin(), files.end());
    run_options opts;
    opts.stdin_text = piped;
    run_result r = run_program(bin_path("avr-fwupdate"), args, opts);
    avrsim_stop(sim.get());
    server.join();
    d.status = r.status;
    d.out = r.out;
    d.flash = slice(sim->flash, AVRSIM_FLASH_SIZE);
    d.eeprom = slice(sim->eeprom, AVRSIM_EEPROM_SIZE);
    d.verdict = sim->verdict;
    d.violations = sim->violations.size();
    return d;
}

std::string without_line(std::string out, const std::string &line)
{
    std::size_t at = out.find(line);
    if (at != std::string::npos)
        out.erase(at, line.size());
    return out;
}

TEST(PackUpdate, EveryVersionUpdatesTheAvrLikeTheHexPair)
{
    temp_dir dir;
    const device_result hex = update({FLASH_HEX, EEPROM_HEX});
    ASSERT_EQ(hex.status, 0) << hex.out;
    EXPECT_EQ(hex.verdict, AVRSIM_VERDICT_OK);

    struct version_case {
        const char *option;
        std::string detected;
        bool break_fw_cksum;
    };
    const version_case cases[] = {
        {"-pack1", "PACK-V1 (IHEX) detected.\n", false},
        {"-pack2", "PACK-V2 (BIN) detected.\n", false},
        {"-pack3", "PACK-V3 (BZ2-BIN) detected.\n", false},
        // A flash checksum that does not match is reported, and the update goes on.
        {"-pack3", "PACK-V3 (BZ2-BIN) detected.\nPACK-V3: fw data cksum error\n", true},
    };
    for (const version_case &c : cases) {
        SCOPED_TRACE(c.detected);
        const std::string pack = dir.file("fw.pack");
        ASSERT_EQ(
            run_program(bin_path("avr-fwupdate"), {c.option, pack, FLASH_HEX, EEPROM_HEX}).status,
            0);
        if (c.break_fw_cksum) {
            std::string file = read_file(pack);
            file[20] ^= 0x01;
            write_file(pack, file);
        }
        // From the file, and through a pipe that cannot tell its size in advance.
        for (bool piped : {false, true}) {
            SCOPED_TRACE(piped ? "from a pipe" : "from the file");
            const device_result d =
                piped ? update({"/dev/stdin"}, read_file(pack)) : update({pack});
            EXPECT_EQ(d.status, 0) << d.out;
            EXPECT_NE(d.out.find(c.detected), std::string::npos) << d.out;
            EXPECT_EQ(without_line(d.out, c.detected).find("PACK"), std::string::npos) << d.out;
            EXPECT_EQ(d.verdict, AVRSIM_VERDICT_OK);
            EXPECT_EQ(d.violations, 0u);
            EXPECT_TRUE(d.flash == hex.flash) << "flash differs from the HEX pair's update";
            EXPECT_TRUE(d.eeprom == hex.eeprom) << "EEPROM differs from the HEX pair's update";
        }
    }
}

} // namespace
