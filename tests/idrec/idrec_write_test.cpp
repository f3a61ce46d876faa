// write on emulated i2c-dev buses: each guard accepting and refusing, the record file's checks,
// the backup, a write-protected EEPROM, a write that breaks off, and an SMBus-only adapter.
#include "idrec_test_support.h"

#include <regex>
#include <sys/stat.h>

namespace
{

std::string programmed(const std::string &serial)
{
    record_fields f;
    f.bootcntr = 3;
    f.manuf_date = std::string("\x01\x02\x24\x20\x08\x00", 6);
    f.desc = "WLD OKT-MOD-X2";
    f.serial = serial;
    return build_record(f);
}

struct write_test : idrec {
    std::string record_file;
    void SetUp() override { record_file = put("new.rec", sample_record()); }
};

TEST_F(write_test, EachGuardAcceptsAndRefuses)
{
    enum module_state { BLANK, EMPTY, PROGRAMMED, ABSENT, INCOMPLETE };
    struct guard_case {
        module_state state;
        std::vector<std::string> guard;
        int status;
        std::string err; // after "okt-idrec: ext0: "; empty when written
    };
    const guard_case cases[] = {
        {BLANK, {}, 0, ""},
        {BLANK, {"--expect-blank"}, 0, ""},
        {BLANK, {"--force"}, 0, ""},
        {BLANK,
         {"--expect-serial", "OLD-1"},
         5,
         "--expect-serial \"OLD-1\", but the module is blank (every byte 0xff); nothing written"},
        {EMPTY, {}, 0, ""},
        {EMPTY, {"--expect-blank"}, 0, ""},
        {PROGRAMMED,
         {},
         5,
         "the module is programmed (serial \"OLD-1\"); nothing written (--expect-serial "
         "\"OLD-1\" or --force writes over it)"},
        {PROGRAMMED,
         {"--expect-blank"},
         5,
         "--expect-blank, but the module is programmed (serial \"OLD-1\"); nothing written"},
        {PROGRAMMED, {"--expect-serial", "OLD-1"}, 0, ""},
        {PROGRAMMED,
         {"--expect-serial", "OLD-"},
         5,
         "--expect-serial \"OLD-\", but the module's serial number is \"OLD-1\"; nothing written"},
        {PROGRAMMED, {"--force"}, 0, ""},
        {ABSENT,
         {},
         5,
         "the module is absent (no answer at byte 0); nothing written (--force writes all the "
         "same)"},
        {ABSENT,
         {"--expect-blank"},
         5,
         "the module is absent (no answer at byte 0); nothing written (--force writes all the "
         "same)"},
        {ABSENT, {"--force"}, 6, "the write failed at offset 0; the module kept its record"},
        {INCOMPLETE,
         {},
         5,
         "the module is incomplete (the read broke off at offset 40); nothing written (--force "
         "writes all the same)"},
        // Forced, the bytes go out, but the read-back breaks off where the read did.
        {INCOMPLETE,
         {"--force"},
         6,
         "all 128 bytes written, but they cannot be read back: not verified"},
    };
    for (const guard_case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << " " << testing::PrintToString(c.guard));
        env.clear();
        const std::string before = c.state == BLANK   ? std::string(RECORD_SIZE, '\xFF')
                                   : c.state == EMPTY ? std::string(RECORD_SIZE, '\0')
                                                      : programmed("OLD-1");
        put_eeprom(EXT0, before);
        if (c.state == ABSENT)
            env = {"I2CSIM_FAULTS=nack:0:52"};
        if (c.state == INCOMPLETE)
            env = {"I2CSIM_FAULTS=read-fail:0:52:40"};
        const std::string eeprom_before = eeprom(EXT0);
        std::vector<std::string> args = {"write", "ext0", record_file};
        args.insert(args.end(), c.guard.begin(), c.guard.end());
        run_result r = run(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
            EXPECT_NE(r.out.find("ext0: written and verified: serial \"X1-2025-01234\""),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(eeprom(EXT0), sample_record() + eeprom_before.substr(RECORD_SIZE));
        } else {
            EXPECT_EQ(r.err, "okt-idrec: ext0: " + c.err + "\n");
            EXPECT_EQ(r.out, "");
            if (c.status == 5) {
                EXPECT_EQ(eeprom(EXT0), eeprom_before);
                EXPECT_TRUE(lines_with(log(), "write bus").empty());
            }
        }
        unlink(path("i2c.log").c_str());
    }
}

TEST_F(write_test, TheSuccessLineNamesTheOldRecord)
{
    put_eeprom(CPU, programmed("OLD-1"));
    run_result r = run({"write", "cpu", record_file, "--expect-serial", "OLD-1"});
    EXPECT_EQ(r.out, "cpu: written and verified: serial \"X1-2025-01234\" (was: programmed, "
                     "serial \"OLD-1\")\n");
    EXPECT_EQ(r.status, 0);
    put_eeprom(BB, std::string(RECORD_SIZE, '\xFF'));
    r = run({"write", "bb", record_file, "--expect-blank"});
    EXPECT_EQ(
        r.out,
        "bb: written and verified: serial \"X1-2025-01234\" (was: blank (every byte 0xff))\n");
    EXPECT_EQ(eeprom_record(BB), sample_record());
}

TEST_F(write_test, TheRecordFileMustPassShowsChecksUnlessForced)
{
    put_eeprom(EXT1, std::string(RECORD_SIZE, '\xFF'));
    record_fields f;
    f.manuf_date = std::string("\x31\x04\x24\x20\x10\x00", 6);
    f.serial = "S1";
    const std::string bad = put("bad.rec", build_record(f));
    run_result r = run({"write", "ext1", bad});
    EXPECT_EQ(r.err, "okt-idrec: " + bad + ": warning: manuf_date: 31.04.2024 does not exist\n" +
                         "okt-idrec: " + bad +
                         ": refused for its warnings; nothing written (--force writes it all the "
                         "same)\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(log(), ""); // refused before any bus was opened

    r = run({"write", "ext1", bad, "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "okt-idrec: " + bad + ": warning: manuf_date: 31.04.2024 does not exist\n");
    EXPECT_EQ(eeprom_record(EXT1), build_record(f));

    unlink(path("i2c.log").c_str());
    const std::string small = put("small.rec", std::string(100, 'x'));
    r = run({"write", "ext1", small, "--force"});
    EXPECT_EQ(r.err, "okt-idrec: " + small +
                         ": 100 bytes; a record file holds exactly 128; nothing written\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(log(), "");
}

// Bytes 31, 47 and 63 go to the EEPROM as every read gives them: 0.
TEST_F(write_test, TheTextTerminatorsAreWrittenAsZero)
{
    put_eeprom(EXT0, std::string(RECORD_SIZE, '\0'));
    std::string rec = sample_record();
    rec[31] = 'x';
    rec[47] = 'y';
    rec[63] = 'z';
    run_result r = run({"write", "ext0", put("t.rec", rec), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(eeprom_record(EXT0), sanitized(rec));
    EXPECT_TRUE(parse_line(r.out).at("verified")->boolean);
}

TEST_F(write_test, TheBackupHoldsTheOldRecordAndSurvivesAFailedWrite)
{
    const std::string old = programmed("OLD-1");
    put_eeprom(EXT0, old);
    const std::string backup = put("backup.rec", "an older backup");
    env = {"I2CSIM_FAULTS=write-fail:0:52:10"};
    const mode_t mask = umask(022);
    run_result r =
        run({"write", "ext0", record_file, "--expect-serial", "OLD-1", "--backup", backup});
    umask(mask);
    EXPECT_EQ(r.out, "ext0: backup saved to " + backup + "\n");
    EXPECT_EQ(r.err, "okt-idrec: ext0: the write broke off at offset 10: bytes 0-9 are new, "
                     "10-127 old; the backup " +
                         backup + " holds the old record\n");
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(read_file(backup), sanitized(old));
    struct stat st;
    ASSERT_EQ(stat(backup.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(eeprom_record(EXT0), sample_record().substr(0, 10) + old.substr(10));
    EXPECT_EQ(entries_of(dir.path),
              (std::vector<std::string>{"backup.rec", "i2c-0-52", "i2c.log", "new.rec"}));

    // Written back, the backup restores the module.
    env.clear();
    r = run({"write", "ext0", backup, "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(eeprom_record(EXT0), sanitized(old));
}

TEST_F(write_test, ABackupThatCannotBeSavedStopsTheWrite)
{
    put_eeprom(EXT0, std::string(RECORD_SIZE, '\xFF'));
    const std::string before = eeprom(EXT0);
    struct backup_case {
        std::vector<std::string> extra;
        int status;
        std::string err;
    };
    const backup_case cases[] = {
        {{"--backup", path("no/dir/b.rec")},
         3,
         "okt-idrec: backup " + path("no/dir/b.rec") +
             ": cannot be saved: No such file or directory; nothing written\n"},
        {{"--backup", "/dev/null"},
         3,
         "okt-idrec: backup /dev/null: not a regular file; records are saved to files only; "
         "nothing written\n"},
        {{"--backup", record_file},
         1,
         "okt-idrec: --backup names the record file; it would be lost\n"},
    };
    for (const backup_case &c : cases) {
        SCOPED_TRACE(c.extra[1]);
        std::vector<std::string> args = {"write", "ext0", record_file};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        run_result r = run(args);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(eeprom(EXT0), before);
        EXPECT_TRUE(lines_with(log(), "write bus").empty());
    }
    EXPECT_EQ(read_file(record_file), sample_record());

    // A module not read completely has no record to back up, forced or not.
    env = {"I2CSIM_FAULTS=read-fail:0:52:64"};
    run_result r = run({"write", "ext0", record_file, "--force", "--backup", path("b.rec")});
    EXPECT_EQ(r.err, "okt-idrec: ext0: no backup: the module is incomplete (the read broke off "
                     "at offset 64); nothing saved, nothing written\n");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(eeprom(EXT0), before);
    EXPECT_EQ(entries_of(dir.path), (std::vector<std::string>{"i2c-0-52", "i2c.log", "new.rec"}));
}

// An EEPROM whose write-protect pin is tied high acknowledges every byte and keeps its own.
TEST_F(write_test, AWriteProtectedModuleFailsTheVerify)
{
    const std::string old = std::string(RECORD_SIZE, '\xFF');
    put_eeprom(EXT1, old);
    env = {"I2CSIM_FAULTS=write-protect:0:53"};
    run_result r = run({"write", "ext1", record_file, "--expect-blank", "--json"});
    EXPECT_EQ(r.err, "okt-idrec: ext1: verify failed at offset 0: wrote 0x2a, read back 0xff (is "
                     "the EEPROM write-protected?)\n");
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(eeprom_record(EXT1), old);
    json_value doc = parse_line(r.out);
    EXPECT_EQ(doc.at("result")->text, "verify_failed");
    EXPECT_FALSE(doc.at("verified")->boolean);
    EXPECT_EQ(doc.at("first_difference")->number, 0);
    EXPECT_EQ(doc.at("failed_at")->kind, json_value::NUL);
    EXPECT_EQ(doc.at("exit_status")->number, 6);
    EXPECT_EQ(lines_with(log(), "write bus=0 addr=53 len=2").size(), RECORD_SIZE);
}

TEST_F(write_test, AnSmbusOnlyAdapterIsWrittenByteDataByByteData)
{
    put_eeprom(EXT0, std::string(RECORD_SIZE, '\xFF'));
    env = {"I2CSIM_SMBUS_ONLY=0"};
    run_result r = run({"write", "ext0", record_file, "--expect-blank"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(eeprom_record(EXT0), sample_record());
    const std::string l = log();
    EXPECT_EQ(lines_with(l, "smbus bus=0 addr=52 write byte-data").size(), RECORD_SIZE);
    EXPECT_TRUE(lines_with(l, "write bus=").empty());
    EXPECT_TRUE(lines_with(l, "unsupported").empty());
}

TEST_F(write_test, TheJsonLineIsTheProductionLogEntry)
{
    put_eeprom(EXT0, programmed("OLD-1"));
    run_result r = run({"write", "ext0", record_file, "--expect-serial", "OLD-1", "--backup",
                        path("b.rec"), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    json_value doc = parse_line(r.out);
    EXPECT_EQ(doc.at("schema_version")->number, 1);
    EXPECT_EQ(doc.at("module")->text, "ext0");
    EXPECT_EQ(doc.at("record_file")->text, record_file);
    EXPECT_EQ(doc.at("old_status")->text, "programmed");
    EXPECT_EQ(doc.at("old_serial")->text, "OLD-1");
    EXPECT_EQ(doc.at("new_serial")->text, "X1-2025-01234");
    EXPECT_EQ(doc.at("backup")->text, path("b.rec"));
    EXPECT_EQ(doc.at("result")->text, "verified");
    EXPECT_TRUE(doc.at("verified")->boolean);
    EXPECT_EQ(doc.at("first_difference")->kind, json_value::NUL);
    EXPECT_EQ(doc.at("exit_status")->number, 0);
    EXPECT_TRUE(std::regex_match(doc.at("time")->text,
                                 std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:"
                                            "[0-6][0-9]\\+0000")))
        << doc.at("time")->text;

    // A refusal is logged as well, with what was found.
    r = run({"write", "ext0", record_file, "--expect-blank", "--json"});
    EXPECT_EQ(r.status, 5);
    doc = parse_line(r.out);
    EXPECT_EQ(doc.at("result")->text, "refused");
    EXPECT_EQ(doc.at("old_serial")->text, "X1-2025-01234");
    EXPECT_EQ(doc.at("backup")->kind, json_value::NUL);
    EXPECT_EQ(doc.at("message")->text, "ext0: --expect-blank, but the module is programmed "
                                       "(serial \"X1-2025-01234\"); nothing written");
    EXPECT_EQ(doc.at("exit_status")->number, 5);
}

TEST_F(write_test, WriteRefusesAnUnknownModuleAndAll)
{
    for (const char *word : {"all", "ext2"}) {
        run_result r = run({"write", word, record_file});
        EXPECT_EQ(r.err, "okt-idrec: unknown module \"" + std::string(word) +
                             "\": cpu, bb, ext0 or ext1\n");
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(log(), "");
}

} // namespace
