// The built avr-fwupdate against the simulated boot loader: complete standard output, exit
// status, every byte the boot loader received and the memories it ends up with.
#include "update_expect.h"
#include "update_fixture.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

const char SUCCESS[] = "\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY";
const char COMM_ERROR[] = "\n\nAVR COMM ERROR OCCURED";
const char CODE_UPDATE_FAILED[] = "\n\nWARNING: CODE UPDATE FAILED! ABORTING!\n";

avrsim_rule rule(const std::string &command, int attempt, avrsim_fault_kind kind, int count = 0)
{
    avrsim_rule r;
    r.command = command;
    r.attempt_first = attempt;
    r.kind = kind;
    r.count = count;
    return r;
}

avrsim_rule fault_rule(memory_kind memory, int block, int attempt, attempt_end end)
{
    std::string command = block_command(memory, block).substr(0, 7);
    switch (end) {
    case END_ERR:
        return rule(command, attempt, AVRSIM_FAULT_ERR);
    case END_DTO:
        return rule(command, attempt, AVRSIM_FAULT_DTO);
    case END_GARBAGE:
        return rule(command, attempt, AVRSIM_FAULT_GARBAGE);
    case END_SHORT3:
        return rule(command, attempt, AVRSIM_FAULT_SHORT, 3);
    case END_OK:
        break;
    }
    return rule(command, attempt, AVRSIM_FAULT_NONE);
}

// How each block's attempts end; blocks not listed are accepted at once.
using attempt_plan = std::map<int, std::vector<attempt_end>>;

struct expected_run {
    std::string out;  // standard output from the upload titles on
    std::string line; // bytes the boot loader receives for the uploads
};

void expect_memory(expected_run *run, int verbosity, memory_kind memory,
                   const std::vector<unsigned char> &image, const std::vector<int> &blocks,
                   const attempt_plan &plan, int status)
{
    run->out += expect_upload_title(memory);
    for (int b : blocks) {
        auto it = plan.find(b);
        std::vector<attempt_end> attempts =
            it == plan.end() ? std::vector<attempt_end>{END_OK} : it->second;
        const unsigned char *data = image.data() + b * BLOCK_BYTES;
        run->out += expect_block(verbosity, memory, b, data, attempts);
        for (std::size_t a = 0; a < attempts.size(); ++a)
            run->line += block_command(memory, b) + as_string(data, BLOCK_BYTES);
    }
    run->out += expect_upload_end(status);
}

class AvrUpdate : public updater_on_sim
{
  protected:
    // Serves one run of the updater with `options` (verbosity option and files) on the
    // simulator's line at 115200 baud.
    run_result run_update(const std::vector<std::string> &options)
    {
        std::vector<std::string> args = {"115200"};
        args.insert(args.end(), options.begin(), options.end());
        return serve_update(args);
    }

    run_result run_update(int verbosity, const test_firmware &fw)
    {
        std::vector<std::string> options;
        if (verbosity == 1)
            options.push_back("-v");
        if (verbosity == 2)
            options.push_back("-vv");
        options.push_back(fw.flash_path);
        options.push_back(fw.eeprom_path);
        return run_update(options);
    }

    // Banner, the verbose settings line, the update-mode and the version exchange as they go
    // when everything works and the hardware ids match.
    std::string expect_start(int verbosity, const test_firmware &fw)
    {
        std::string out = banner();
        if (verbosity >= 1)
            out += "port '" + std::string(sim->slave_path) + "' baud 115200 verbose " +
                   std::to_string(verbosity) + " datafile " + fw.flash_path + " eepromfile " +
                   fw.eeprom_path + "\n";
        out += expect_prepare(verbosity, std::string(">FWUPLD\n")) + "OK\n";
        out +=
            expect_version_trace(verbosity, std::string(">PGMVER\n") + as_string(cfg.fw_ident, 16));
        return out + INSTALLED_IDENT_LINE + NEW_IDENT_LINE;
    }

    std::string line_start() const { return "#FWUPLD\r#PGMVER\r"; }

    // The whole run when every block is eventually accepted and the AVR approves.
    void expect_success(const run_result &res, int verbosity, const test_firmware &fw,
                        const attempt_plan &flash_plan = {}, const attempt_plan &eeprom_plan = {})
    {
        expected_run run;
        expect_memory(&run, verbosity, MEM_FLASH, fw.flash, fw.flash_blocks, flash_plan, 0);
        expect_memory(&run, verbosity, MEM_EEPROM, fw.eeprom, fw.eeprom_blocks, eeprom_plan, 0);
        EXPECT_EQ(res.out, expect_start(verbosity, fw) + run.out +
                               expect_finish(verbosity, ">PGM_OK\n", SUCCESS));
        EXPECT_EQ(res.status, 0);
        EXPECT_EQ(as_string(sim->rx_log), line_start() + run.line + "#PGMEND\r");
        expect_avr_holds(fw);
    }

    test_firmware sparse_firmware()
    {
        // Blocks on both sides of 64 KiB and the last block of each memory.
        return make_firmware(dir.path, {0, 1, 0x100, 0x1FF}, {0, 15}, NEW_IDENT);
    }
};

// ---------------------------------------------------------------------------------------------
// Updates that succeed

class AvrUpdateAtVerbosity : public AvrUpdate, public ::testing::WithParamInterface<int>
{
};

TEST_P(AvrUpdateAtVerbosity, SendsOnlyFlaggedBlocksFlashFirstAndTheAvrHoldsTheImages)
{
    test_firmware fw = sparse_firmware();
    run_result res = run_update(GetParam(), fw);
    expect_success(res, GetParam(), fw);

    std::string line = as_string(sim->rx_log);
    EXPECT_NE(line.find("#BLK1FF\r"), std::string::npos);
    EXPECT_NE(line.find("#EBK00F\r"), std::string::npos);
    ASSERT_EQ(sim->writes.size(), 6u);
    EXPECT_EQ(sim->writes[3].memory, AVRSIM_FLASH);
    EXPECT_EQ(sim->writes[3].block, 0x1FF);
    EXPECT_EQ(sim->writes[4].memory, AVRSIM_EEPROM);
}

INSTANTIATE_TEST_SUITE_P(Levels, AvrUpdateAtVerbosity, ::testing::Values(0, 1, 2));

TEST_F(AvrUpdate, RealToolchainFirmwareLandsInTheAvrUnchanged)
{
    std::string flash_hex = source_path("tests/fixtures/avr/flash.hex");
    std::string eeprom_hex = source_path("tests/fixtures/avr/eeprom.hex");
    std::string flash_bin = read_file(source_path("tests/fixtures/avr/flash.bin"));
    std::string eeprom_bin = read_file(source_path("tests/fixtures/avr/eeprom.bin"));
    ASSERT_EQ(flash_bin.size(), static_cast<std::size_t>(FLASH_BYTES));
    ASSERT_EQ(eeprom_bin.size(), static_cast<std::size_t>(EEPROM_BYTES));
    avrsim_make_ident(cfg.fw_ident, 'B', 1, 0, 2, 24, 12, 1, "OKT32-BB");

    run_result res = run_update({flash_hex, eeprom_hex});

    std::string expected =
        banner() + "Preparing AVR for firmware update... OK\n" +
        "Current Firmware on AVR: B102 Built on (DD.MM.YYYY) 01.12.2024 for "
        "Hardware OKT32-BB\n" +
        "New Firmware Data      : B103 Built on (DD.MM.YYYY) 14.06.2025 for "
        "Hardware OKT32-BB\n" +
        "DATA   " + std::string(sim->counts[AVRSIM_CMD_FLASH_BLOCK], '.') + " DONE\n" + "EEPROM " +
        std::string(sim->counts[AVRSIM_CMD_EEPROM_BLOCK], '.') + " DONE\n" + SUCCESS + "\n";
    EXPECT_EQ(res.out, expected);
    EXPECT_EQ(res.status, 0);
    EXPECT_GT(sim->counts[AVRSIM_CMD_FLASH_BLOCK], 1);
    EXPECT_EQ(sim->verdict, AVRSIM_VERDICT_OK);
    EXPECT_TRUE(as_string(sim->flash, FLASH_BYTES) == flash_bin) << "flash differs";
    // EEPROM bytes 16-23 carry the flash stamp the loader adds; the simulator's verdict checks it.
    std::string eeprom = as_string(sim->eeprom, EEPROM_BYTES);
    EXPECT_EQ(eeprom.substr(0, 16), eeprom_bin.substr(0, 16));
    EXPECT_TRUE(eeprom.substr(24) == eeprom_bin.substr(24)) << "EEPROM differs";
    for (std::size_t i = 1; i < sim->writes.size(); ++i) {
        const avrsim_block_write &prev = sim->writes[i - 1], &cur = sim->writes[i];
        EXPECT_TRUE(prev.memory < cur.memory ||
                    (prev.memory == cur.memory && prev.block < cur.block))
            << "block order broken at write " << i;
    }
    EXPECT_TRUE(sim->violations.empty());
}

TEST_F(AvrUpdate, DifferentHardwareWarnsAndCountsDownThenGoesOn)
{
    // The default simulated AVR is erased: every ident byte 0xFF.
    cfg = avrsim_default_config();
    test_firmware fw = make_firmware(dir.path, {3}, {0}, NEW_IDENT);
    run_result res = run_update(0, fw);

    expected_run run;
    expect_memory(&run, 0, MEM_FLASH, fw.flash, fw.flash_blocks, {}, 0);
    expect_memory(&run, 0, MEM_EEPROM, fw.eeprom, fw.eeprom_blocks, {}, 0);
    std::string ff8(8, '\xff');
    std::string expected =
        banner() + "Preparing AVR for firmware update... OK\n" +
        "Current Firmware on AVR: \xff-1-1-1 Built on (DD.MM.YYYY) -1.-1.20-1 for Hardware " + ff8 +
        "\n" + NEW_IDENT_LINE + "\n\nWARNING: Firmware is for different Hardware!!\n" +
        "Press CTRL-C NOW to abort or wait 10 seconds to continue!\n\n" +
        "10 9 8 7 6 5 4 3 2 1 \n continuing firmware upload\n" + run.out + SUCCESS + "\n";
    EXPECT_EQ(res.out, expected);
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(as_string(sim->rx_log), line_start() + run.line + "#PGMEND\r");
}

// ---------------------------------------------------------------------------------------------
// Block retries

struct retry_case {
    const char *name;
    attempt_end first_attempt;
    int verbosity;
};

void PrintTo(const retry_case &c, std::ostream *os)
{
    *os << c.name;
}

class AvrUpdateRetry : public AvrUpdate, public ::testing::WithParamInterface<retry_case>
{
};

TEST_P(AvrUpdateRetry, FailedAttemptIsShownAndTheBlockSentAgain)
{
    const retry_case &c = GetParam();
    test_firmware fw = make_firmware(dir.path, {1}, {0}, NEW_IDENT);
    cfg.rules.push_back(fault_rule(MEM_FLASH, 1, 1, c.first_attempt));
    run_result res = run_update(c.verbosity, fw);
    expect_success(res, c.verbosity, fw, {{1, {c.first_attempt, END_OK}}});
}

// A short answer costs one idle time-out of about 8 s, so it runs at -vv only, where the trace
// also shows that the partial answer ended the receive series after one receive.
INSTANTIATE_TEST_SUITE_P(
    Answers, AvrUpdateRetry,
    ::testing::Values(retry_case{"ErrQuiet", END_ERR, 0}, retry_case{"ErrTrace", END_ERR, 2},
                      retry_case{"DtoQuiet", END_DTO, 0}, retry_case{"DtoTrace", END_DTO, 2},
                      retry_case{"GarbageQuiet", END_GARBAGE, 0},
                      retry_case{"GarbageTrace", END_GARBAGE, 2},
                      retry_case{"PartialAnswerTrace", END_SHORT3, 2}),
    [](const ::testing::TestParamInfo<retry_case> &param_info) { return param_info.param.name; });

TEST_F(AvrUpdate, EepromBlockRetriedAfterError)
{
    test_firmware fw = make_firmware(dir.path, {0}, {0, 2}, NEW_IDENT);
    cfg.rules.push_back(fault_rule(MEM_EEPROM, 2, 1, END_ERR));
    cfg.rules.push_back(fault_rule(MEM_EEPROM, 2, 2, END_DTO));
    run_result res = run_update(2, fw);
    expect_success(res, 2, fw, {}, {{2, {END_ERR, END_DTO, END_OK}}});
}

TEST_F(AvrUpdate, FiveFailedAttemptsAbortBeforeEepromAndEnd)
{
    test_firmware fw = make_firmware(dir.path, {0, 5, 7}, {0}, NEW_IDENT);
    std::vector<attempt_end> attempts = {END_ERR, END_DTO, END_GARBAGE, END_ERR, END_ERR};
    for (std::size_t a = 0; a < attempts.size(); ++a)
        cfg.rules.push_back(fault_rule(MEM_FLASH, 5, static_cast<int>(a) + 1, attempts[a]));
    run_result res = run_update(1, fw);

    expected_run run;
    expect_memory(&run, 1, MEM_FLASH, fw.flash, {0, 5}, {{5, attempts}}, -1);
    EXPECT_EQ(res.out, expect_start(1, fw) + run.out + CODE_UPDATE_FAILED);
    EXPECT_NE(res.out.find("RETRY 4\n"), std::string::npos);
    EXPECT_EQ(res.status, 255);
    EXPECT_EQ(as_string(sim->rx_log), line_start() + run.line);
    EXPECT_EQ(sim->counts[AVRSIM_CMD_EEPROM_BLOCK], 0);
    EXPECT_FALSE(sim->pgmend_seen);
}

TEST_F(AvrUpdate, LateAnswerIsTakenAsTheNextAttemptsAnswer)
{
    // The answer to the first attempt at flash block 0 comes only after all four receives of
    // that attempt gave up (4 x about 8 s, more on a busy machine); the second attempt gets no
    // answer of its own. The late answer stayed queued, so the second attempt reads it and the
    // block counts as accepted.
    constexpr unsigned LATE_MS = 50000; // after one series of four receives, within the second
    test_firmware fw = make_firmware(dir.path, {0}, {0}, NEW_IDENT);
    avrsim_rule late = rule("#BLK000", 1, AVRSIM_FAULT_LATE);
    late.delay_ms = LATE_MS;
    cfg.rules.push_back(late);
    cfg.rules.push_back(rule("#BLK000", 2, AVRSIM_FAULT_SILENT));
    run_result res = run_update(0, fw);

    std::string block0 = "#BLK000\r" + as_string(fw.flash.data(), BLOCK_BYTES);
    std::string eblock0 = "#EBK000\r" + as_string(fw.eeprom.data(), BLOCK_BYTES);
    EXPECT_EQ(res.out, expect_start(0, fw) + "DATA   A. DONE\nEEPROM . DONE\n" + SUCCESS + "\n");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(as_string(sim->rx_log), line_start() + block0 + block0 + eblock0 + "#PGMEND\r");
    ASSERT_GE(sim->exchanges.size(), 4u);
    EXPECT_EQ(sim->exchanges[3].fault, AVRSIM_FAULT_SILENT) << "the second attempt was answered";
}

TEST_F(AvrUpdate, LineHangingUpMidUpdateEndsWithAFailure)
{
    test_firmware fw = make_firmware(dir.path, {0, 1, 2}, {0}, NEW_IDENT);
    cfg.rules.push_back(rule("#BLK001", 1, AVRSIM_FAULT_HANGUP));
    run_result res = run_update(0, fw);

    // Whether the block data still got into the line before it went down is a race; either
    // way the upload fails and nothing further is tried.
    std::string start = expect_start(0, fw) + "DATA   .";
    std::string data_lost = start + "\nSERIAL INTERFACE ERROR. ABORTING!\n" +
                            expect_upload_end(-2) + CODE_UPDATE_FAILED;
    std::string no_answer = start + "A\nSERIAL INTERFACE ERROR. ABORTING!\n" +
                            expect_upload_end(-1) + CODE_UPDATE_FAILED;
    EXPECT_FALSE(res.timed_out);
    if (res.status == 254)
        EXPECT_EQ(res.out, data_lost);
    else if (res.status == 255)
        EXPECT_EQ(res.out, no_answer);
    else
        ADD_FAILURE() << "exit " << res.status << "\n" << res.out;
    EXPECT_EQ(sim->end, AVRSIM_END_HUNG_UP);
}

// ---------------------------------------------------------------------------------------------
// Failures before and after the uploads

struct step_fault_case {
    const char *name;
    avrsim_fault_kind kind;
    int count;
    int verbosity;
    const char *expected_tail; // after "Preparing AVR for firmware update... " or the ident lines
    int status;
};

void PrintTo(const step_fault_case &c, std::ostream *os)
{
    *os << c.name;
}

class AvrUpdatePrepareFault : public AvrUpdate,
                              public ::testing::WithParamInterface<step_fault_case>
{
};

TEST_P(AvrUpdatePrepareFault, EndsWithExit5AndSendsNothingMore)
{
    const step_fault_case &c = GetParam();
    test_firmware fw = make_firmware(dir.path, {0}, {0}, NEW_IDENT);
    cfg.rules.push_back(rule("#FWUPLD", 0, c.kind, c.count));
    run_result res = run_update(c.verbosity, fw);

    std::string expected = banner();
    if (c.verbosity >= 1)
        expected += "port '" + std::string(sim->slave_path) + "' baud 115200 verbose 1 datafile " +
                    fw.flash_path + " eepromfile " + fw.eeprom_path + "\n";
    expected += std::string("Preparing AVR for firmware update... ") + c.expected_tail +
                "cannot prepare AVR for update!\n";
    EXPECT_EQ(res.out, expected);
    EXPECT_EQ(res.status, c.status);
    EXPECT_EQ(as_string(sim->rx_log), "#FWUPLD\r");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AvrUpdatePrepareFault,
    ::testing::Values(
        step_fault_case{"SilentQuiet", AVRSIM_FAULT_SILENT, 0, 0, "", 5},
        step_fault_case{"SilentVerbose", AVRSIM_FAULT_SILENT, 0, 1, "AVR response too short\n", 5},
        step_fault_case{"ShortVerbose", AVRSIM_FAULT_SHORT, 7, 1, "AVR response too short\n", 5},
        step_fault_case{"GarbageQuiet", AVRSIM_FAULT_GARBAGE, 0, 0, "", 5},
        step_fault_case{"GarbageVerbose", AVRSIM_FAULT_GARBAGE, 0, 1, "AVR response invalid\n", 5}),
    [](const ::testing::TestParamInfo<step_fault_case> &param_info) {
        return param_info.param.name;
    });

class AvrUpdateVersionFault : public AvrUpdate,
                              public ::testing::WithParamInterface<step_fault_case>
{
};

TEST_P(AvrUpdateVersionFault, EndsWithExit6AndSendsNothingMore)
{
    const step_fault_case &c = GetParam();
    test_firmware fw = make_firmware(dir.path, {0}, {0}, NEW_IDENT);
    cfg.rules.push_back(rule("#PGMVER", 0, c.kind, c.count));
    run_result res = run_update(c.verbosity, fw);

    std::string expected = banner();
    if (c.verbosity >= 1)
        expected += "port '" + std::string(sim->slave_path) + "' baud 115200 verbose 1 datafile " +
                    fw.flash_path + " eepromfile " + fw.eeprom_path + "\n";
    expected += std::string("Preparing AVR for firmware update... OK\n") + c.expected_tail;
    EXPECT_EQ(res.out, expected);
    EXPECT_EQ(res.status, c.status);
    EXPECT_EQ(as_string(sim->rx_log), "#FWUPLD\r#PGMVER\r");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AvrUpdateVersionFault,
    ::testing::Values(step_fault_case{"SilentQuiet", AVRSIM_FAULT_SILENT, 0, 0, "", 6},
                      step_fault_case{"ShortVerbose", AVRSIM_FAULT_SHORT, 23, 1, "", 6},
                      step_fault_case{"GarbageQuiet", AVRSIM_FAULT_GARBAGE, 0, 0,
                                      "AVR did not respond to version inquiry\n", 6},
                      step_fault_case{"GarbageVerbose", AVRSIM_FAULT_GARBAGE, 0, 1,
                                      "AVR did not respond to version inquiry\n", 6}),
    [](const ::testing::TestParamInfo<step_fault_case> &param_info) {
        return param_info.param.name;
    });

struct finish_case {
    const char *name;
    avrsim_fault_kind kind;
    int count;
    int verbosity;
    std::string answer; // what the updater receives
    const char *message;
    int status;
};

void PrintTo(const finish_case &c, std::ostream *os)
{
    *os << c.name;
}

class AvrUpdateFinish : public AvrUpdate, public ::testing::WithParamInterface<finish_case>
{
};

TEST_P(AvrUpdateFinish, VerdictOfTheEndAnswerIsTheExitStatus)
{
    const finish_case &c = GetParam();
    test_firmware fw = make_firmware(dir.path, {2}, {0}, NEW_IDENT);
    cfg.rules.push_back(rule("#PGMEND", 0, c.kind, c.count));
    run_result res = run_update(c.verbosity, fw);

    expected_run run;
    expect_memory(&run, c.verbosity, MEM_FLASH, fw.flash, fw.flash_blocks, {}, 0);
    expect_memory(&run, c.verbosity, MEM_EEPROM, fw.eeprom, fw.eeprom_blocks, {}, 0);
    EXPECT_EQ(res.out, expect_start(c.verbosity, fw) + run.out +
                           expect_finish(c.verbosity, c.answer, c.message));
    EXPECT_EQ(res.status, c.status);
    EXPECT_EQ(as_string(sim->rx_log), line_start() + run.line + "#PGMEND\r");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AvrUpdateFinish,
    ::testing::Values(
        finish_case{"ChecksumFailed", AVRSIM_FAULT_ERR, 0, 0, ">PGMERR\n",
                    "\n\nAVR FIRMWARE CHECKSUM CHECK FAILED", 1},
        finish_case{"ShortAnswer", AVRSIM_FAULT_SHORT, 5, 0, ">PGM_", COMM_ERROR, 3},
        finish_case{"ShortAnswerTrace", AVRSIM_FAULT_SHORT, 5, 2, ">PGM_", COMM_ERROR, 3},
        finish_case{"SilentAvr", AVRSIM_FAULT_SILENT, 0, 0, "", COMM_ERROR, 3},
        finish_case{"OddAnswer", AVRSIM_FAULT_GARBAGE, 0, 0, "?GARBLE?", COMM_ERROR, 8},
        finish_case{"OddAnswerTrace", AVRSIM_FAULT_GARBAGE, 0, 2, "?GARBLE?", COMM_ERROR, 8}),
    [](const ::testing::TestParamInfo<finish_case> &param_info) { return param_info.param.name; });

TEST_F(AvrUpdate, PortThatCannotBeOpenedExits2)
{
    test_firmware fw = make_firmware(dir.path, {0}, {0}, NEW_IDENT);
    std::string port = dir.file("no-such-tty");
    run_result res =
        run_program(bin_path("avr-fwupdate"), {port, "115200", fw.flash_path, fw.eeprom_path});
    EXPECT_EQ(res.out, banner() + "cannot open comm port '" + port + "'\n");
    EXPECT_EQ(res.status, 2);
}

} // namespace
