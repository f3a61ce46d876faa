#include "update_fixture.h"

#include <thread>

const unsigned char NEW_IDENT[16] = {'B', 2,   0,   7,   25,  6,   14,  0,
                                     'O', 'K', 'T', '3', '2', '-', 'B', 'B'};
const char NEW_IDENT_LINE[] =
    "New Firmware Data      : B207 Built on (DD.MM.YYYY) 14.06.2025 for Hardware OKT32-BB\n";
const char INSTALLED_IDENT_LINE[] =
    "Current Firmware on AVR: A123 Built on (DD.MM.YYYY) 05.04.2023 for Hardware OKT32-BB\n";

const std::string &banner()
{
    static const std::string text = [] {
        run_result r = run_program(bin_path("avr-fwupdate"), {});
        return r.out.substr(0, r.out.find("usage:"));
    }();
    return text;
}

std::string as_string(const std::vector<unsigned char> &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string as_string(const unsigned char *bytes, std::size_t len)
{
    return std::string(reinterpret_cast<const char *>(bytes), len);
}

void updater_on_sim::SetUp()
{
    ASSERT_FALSE(dir.path.empty());
    sim = std::make_unique<avrsim>();
    cfg = avrsim_default_config();
    avrsim_make_ident(cfg.fw_ident, 'A', 1, 2, 3, 23, 4, 5, "OKT32-BB");
}

run_result updater_on_sim::serve_update(const std::vector<std::string> &args)
{
    run_result res;
    if (avrsim_open(sim.get(), cfg) != 0) {
        ADD_FAILURE() << "no pseudo-terminal for the simulated AVR";
        return res;
    }
    std::thread server([this] { avrsim_serve(sim.get()); });
    std::vector<std::string> argv = {sim->slave_path};
    argv.insert(argv.end(), args.begin(), args.end());
    run_options opts;
    opts.timeout_seconds = PROGRAM_TIMEOUT_S;
    res = run_program(bin_path("avr-fwupdate"), argv, opts);
    avrsim_stop(sim.get());
    server.join();
    EXPECT_FALSE(res.timed_out);
    return res;
}

void updater_on_sim::expect_avr_holds(const test_firmware &fw)
{
    EXPECT_EQ(sim->verdict, AVRSIM_VERDICT_OK);
    EXPECT_TRUE(as_string(sim->flash, FLASH_BYTES) == as_string(fw.flash))
        << "flash differs from the image";
    EXPECT_TRUE(as_string(sim->eeprom, EEPROM_BYTES) == as_string(fw.eeprom))
        << "EEPROM differs from the image";
    EXPECT_TRUE(sim->violations.empty());
}
