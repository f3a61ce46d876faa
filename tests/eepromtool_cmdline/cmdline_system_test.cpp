// okt-eepromtool's scripted actions, run as a user runs them, over emulated i2c-dev buses whose
// EEPROMs are plain files.
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr size_t EEPROM_SIZE = 256; // a 24C02
constexpr size_t RECORD_SIZE = 128;

struct device {
    const char *file;   // emulation's file name: i2c-<bus>-<7-bit address>
    const char *serial; // serial number text stored at offset 48
    int seed;           // pattern of the other bytes
};

const device CPU = {"i2c-0-50", "CPU-SN-000123", 11};
const device BASEBOARD = {"i2c-1-50", "MOBO-SN-4711", 22};
const device EXT0 = {"i2c-0-52", "EXT0-SN-1", 33};
const device EXT1 = {"i2c-0-53", "EXT1-SN-2", 44};
const device *const ALL[] = {&CPU, &BASEBOARD, &EXT0, &EXT1};

std::string pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = static_cast<char>(i * 13 + seed);
    return s;
}

// The record bytes as the tool holds them after a read: text terminators forced to 0.
std::string sanitized(std::string rec)
{
    rec[31] = rec[47] = rec[63] = '\0';
    return rec;
}

// Lays out the four EEPROMs with distinct contents and runs the tool over them.
struct eepromtool : ::testing::Test {
    temp_dir dir;
    std::vector<std::string> extra_env;

    void SetUp() override
    {
        for (const device *d : ALL) {
            std::string bytes = pattern(EEPROM_SIZE, d->seed);
            std::string serial = d->serial;
            bytes.replace(48, serial.size() + 1, serial + '\0');
            write_file(eeprom_path(*d), bytes);
        }
    }

    std::string eeprom_path(const device &d) const { return dir.file(d.file); }
    std::string eeprom(const device &d) const { return read_file(eeprom_path(d)); }
    void remove_device(const device &d) const { unlink(eeprom_path(d).c_str()); }
    std::string log_path() const { return dir.file("i2c.log"); }
    std::string log() const
    {
        struct stat st;
        return stat(log_path().c_str(), &st) == 0 ? read_file(log_path()) : "";
    }

    // The emulation and its log; without the log, nothing but the program writes a file.
    run_options options(bool with_log = true) const
    {
        run_options opts;
        opts.stdin_from_null = true;
        opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_DIR=" + dir.path};
        if (with_log)
            opts.env.push_back("I2CSIM_LOG=" + log_path());
        opts.env.insert(opts.env.end(), extra_env.begin(), extra_env.end());
        return opts;
    }
    run_result run(const std::vector<std::string> &args, const run_options &opts)
    {
        return run_program(bin_path("okt-eepromtool"), args, opts);
    }
    run_result run(const std::vector<std::string> &args) { return run(args, options()); }
};

std::vector<std::string> log_lines(const std::string &log, const std::string &prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
    }
    return lines;
}

std::string hex2(unsigned v)
{
    char b[3];
    snprintf(b, sizeof b, "%02x", v & 0xFF);
    return b;
}

} // namespace

TEST_F(eepromtool, SerialActionsPrintTheSerialNumberOnly)
{
    struct expected {
        std::vector<std::string> args;
        std::string out;
    };
    const expected cases[] = {
        {{"serialcpu"}, "CPU-SN-000123\n"},
        {{"serialbb"}, "MOBO-SN-4711\n"},
        {{"serialcpu", "more", "args"}, "CPU-SN-000123\n"},
        {{"serialcpu2"}, "CPU-SN-000123\n"},
        {{"serialbbfoo"}, "MOBO-SN-4711\n"},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.args[0]);
        run_result r = run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 0);
    }
}

TEST_F(eepromtool, SerialIsCutAtFifteenCharacters)
{
    std::string bytes = eeprom(CPU);
    bytes.replace(48, 16, "ABCDEFGHIJKLMNOP"); // no terminator in the EEPROM
    write_file(eeprom_path(CPU), bytes);
    run_result r = run({"serialcpu"});
    EXPECT_EQ(r.out, "ABCDEFGHIJKLMNO\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(eepromtool, SerialOfAModuleThatDoesNotAnswerIsAnEmptyLineAndFails)
{
    struct expected {
        const char *word;
        std::string faults;
        const device *absent;
    };
    const expected cases[] = {
        {"serialcpu", "", &CPU},
        {"serialbb", "", &BASEBOARD},
        {"serialbb", "nack:1:50", nullptr},
        {"serialcpu", "busy:0:50", nullptr}, // claimed by a kernel driver: no forced access
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " " + c.faults);
        SetUp();
        if (c.absent)
            remove_device(*c.absent);
        extra_env.clear();
        if (!c.faults.empty())
            extra_env.push_back("I2CSIM_FAULTS=" + c.faults);
        run_result r = run({c.word});
        EXPECT_EQ(r.out, "\n");
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_TRUE(log_lines(log(), "slave-force").empty());
}

TEST_F(eepromtool, TypeWordsProbeAndPrintNothing)
{
    for (const char *word : {"typecpu", "typebb", "typebbx"}) {
        SCOPED_TRACE(word);
        unlink(log_path().c_str());
        run_result r = run({word});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
        // The probe reads 128 bytes of every module, one SMBus read-byte-data each.
        std::string l = log();
        EXPECT_EQ(log_lines(l, "smbus").size(), 4 * RECORD_SIZE);
        EXPECT_EQ(log_lines(l, "smbus bus=0 addr=50 read byte-data cmd=7f").size(), 1u);
        EXPECT_EQ(log_lines(l, "smbus bus=1 addr=50 read byte-data cmd=00").size(), 1u);
        EXPECT_TRUE(log_lines(l, "write").empty());
        EXPECT_EQ(log_lines(l, "open").size(), log_lines(l, "close").size());
    }
}

TEST_F(eepromtool, DumpActionsSaveTheRecordAsRead)
{
    struct expected {
        std::string word;
        const device *module;
    };
    const expected cases[] = {
        {"dumpext0", &EXT0}, {"dumpext1", &EXT1}, {"dumpbb", &BASEBOARD}, {"dumpbbx", &BASEBOARD}};
    for (const expected &c : cases) {
        SCOPED_TRACE(c.word);
        std::string path = dir.file(c.word + ".bin");
        std::string before = eeprom(*c.module);
        run_result r = run({c.word, path});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_file(path), sanitized(before.substr(0, RECORD_SIZE)));
        EXPECT_EQ(eeprom(*c.module), before);
    }
}

TEST_F(eepromtool, DumpOfARecordNotReadCompletelySavesNothing)
{
    // A good backup made earlier must survive a dump while the module does not answer or its
    // read breaks off: the file is not even opened.
    struct expected {
        const char *word;
        std::string faults;
        const device *absent;
        const device *module;
        const char *name;
    };
    const expected cases[] = {
        {"dumpbb", "nack:1:50", nullptr, &BASEBOARD, "Motherboard"},
        {"dumpbb", "", &BASEBOARD, &BASEBOARD, "Motherboard"},
        {"dumpext0", "read-fail:0:52:40", nullptr, &EXT0, "Extension Module 0"},
        {"dumpext1", "read-fail:0:53:127", nullptr, &EXT1, "Extension Module 1"},
        {"dumpext1", "", &EXT1, &EXT1, "Extension Module 1"},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " " + c.faults);
        SetUp();
        std::string backup = dir.file("bk.bin");
        extra_env.clear();
        ASSERT_EQ(run({c.word, backup}).status, 0);
        std::string good = read_file(backup);
        ASSERT_EQ(good, sanitized(eeprom(*c.module).substr(0, RECORD_SIZE)));

        if (c.absent)
            remove_device(*c.absent);
        if (!c.faults.empty())
            extra_env.push_back("I2CSIM_FAULTS=" + c.faults);
        std::string unmade = dir.file("new.bin");
        for (const std::string &path : {backup, unmade}) {
            run_result r = run({c.word, path});
            EXPECT_EQ(r.out, "the record of " + std::string(c.name) +
                                 " could not be read; nothing saved\n");
            EXPECT_EQ(r.status, 1);
        }
        EXPECT_EQ(read_file(backup), good);
        struct stat st;
        EXPECT_NE(stat(unmade.c_str(), &st), 0);
        unlink(backup.c_str());
    }
}

TEST_F(eepromtool, DumpFailuresAreReportedWithoutProbeError)
{
    std::string missing = dir.file("no/such/dir/rec.bin");
    struct expected {
        std::string path;
        std::string out;
    };
    const expected cases[] = {
        {missing, "cannot create '" + missing + "'\n"},
        {dir.path, "cannot create '" + dir.path + "'\n"},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.path);
        run_result r = run({"dumpext1", c.path});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 1);
    }
}

// `ulimit -f 0` before a dump over the only backup of a record: the write fails, and the backup
// must be what it was. A shell leaves SIGXFSZ at its default action, which would end the program
// at the write (the tool ignores it while it writes); ignored, the write fails with EFBIG. Under a
// limit of 100 bytes the write falls short instead. A limit of 0 leaves no launcher (valgrind)
// room to start, so those cases run only without one.
TEST_F(eepromtool, ADumpThatCannotBeWrittenLeavesTheOldFileAndNoTemporaryFile)
{
    const std::string backup = dir.file("backup.bin");
    ASSERT_EQ(run({"dumpbb", backup}).status, 0);
    const std::string good = read_file(backup);
    const std::vector<std::string> before = entries_of(dir.path);
    const std::string unmade = dir.file("new.bin");
    struct limit_case {
        std::string path;
        long long limit; // bytes
        bool ignore_sigxfsz;
    };
    const limit_case cases[] = {
        {backup, 0, false},
        {backup, 0, true},
        {unmade, 0, false},
        {backup, 100, true},
    };
    for (const limit_case &c : cases) {
        if (c.limit == 0 && launcher_in_use())
            continue;
        SCOPED_TRACE(testing::Message() << c.path << ", limit " << c.limit
                                        << (c.ignore_sigxfsz ? ", SIGXFSZ ignored" : ""));
        run_options opts = options(false);
        opts.file_size_limit = c.limit;
        opts.ignore_sigxfsz = c.ignore_sigxfsz;
        run_result r = run({"dumpbb", c.path}, opts);
        EXPECT_EQ(r.out, "WARNING: not all of eep data written!\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(read_file(backup), good);
        EXPECT_EQ(entries_of(dir.path), before);
    }
}

TEST_F(eepromtool, ADumpThroughASymbolicLinkReplacesTheFileItLeadsTo)
{
    ASSERT_EQ(mkdir(dir.file("store").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("links").c_str(), 0755), 0);
    const std::string target = dir.file("store/bb.bin");
    const std::string link = dir.file("links/bb.bin");
    const std::string record = sanitized(eeprom(BASEBOARD).substr(0, RECORD_SIZE));
    struct link_case {
        const char *name;
        std::string text;
        bool target_exists;
    };
    const link_case cases[] = {
        {"relative link to an older dump", "../store/bb.bin", true},
        {"absolute link to an older dump", target, true},
        {"dangling link", "../store/bb.bin", false},
    };
    for (const link_case &c : cases) {
        SCOPED_TRACE(c.name);
        unlink(target.c_str());
        unlink(link.c_str());
        if (c.target_exists)
            write_file(target, std::string(300, 'x'));
        ASSERT_EQ(symlink(c.text.c_str(), link.c_str()), 0);
        run_result r = run({"dumpbb", link});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
        char text[4096];
        ssize_t n = readlink(link.c_str(), text, sizeof text);
        EXPECT_EQ(std::string(text, n > 0 ? static_cast<size_t>(n) : 0), c.text);
        EXPECT_EQ(read_file(target), record);
        EXPECT_EQ(entries_of(dir.file("store")), std::vector<std::string>{"bb.bin"});
        EXPECT_EQ(entries_of(dir.file("links")), std::vector<std::string>{"bb.bin"});
    }
}

// What a rename cannot replace takes the bytes itself: a dump to standard output (a pipe here)
// prints the record.
TEST_F(eepromtool, ADumpToADeviceOrAPipeWritesInPlace)
{
    const std::string record = sanitized(eeprom(BASEBOARD).substr(0, RECORD_SIZE));
    struct device_case {
        const char *path;
        std::string out;
        int status;
    };
    const device_case cases[] = {
        {"/dev/stdout", record, 0},
        {"/dev/null", "", 0},
        {"/dev/full", "WARNING: not all of eep data written!\n", 1},
    };
    for (const device_case &c : cases) {
        SCOPED_TRACE(c.path);
        run_result r = run({"dumpbb", c.path});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
    }
    for (const char *node : {"/dev/null", "/dev/full"}) {
        struct stat st;
        ASSERT_EQ(stat(node, &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << node;
    }
}

TEST_F(eepromtool, SetActionsWriteEveryByteWithItsOwnTwoByteMessage)
{
    struct expected {
        std::string word;
        const device *module;
        std::string bus_addr;
    };
    const expected cases[] = {{"setext0", &EXT0, "bus=0 addr=52"},
                              {"setext1", &EXT1, "bus=0 addr=53"},
                              {"setbb", &BASEBOARD, "bus=1 addr=50"},
                              {"setext0zzz", &EXT0, "bus=0 addr=52"}};
    int seed = 100;
    for (const expected &c : cases) {
        SCOPED_TRACE(c.word);
        unlink(log_path().c_str());
        std::string file = pattern(RECORD_SIZE, seed++);
        std::string path = dir.file("rec.bin");
        write_file(path, file);
        std::string before = eeprom(*c.module);
        std::string others[4];
        for (int i = 0; i < 4; i++)
            others[i] = eeprom(*ALL[i]);

        run_result r = run({c.word, path});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(eeprom(*c.module), file + before.substr(RECORD_SIZE));
        for (int i = 0; i < 4; i++) {
            if (ALL[i] != c.module) {
                EXPECT_EQ(eeprom(*ALL[i]), others[i]) << ALL[i]->file;
            }
        }

        std::vector<std::string> writes = log_lines(log(), "write");
        ASSERT_EQ(writes.size(), RECORD_SIZE);
        for (size_t i = 0; i < RECORD_SIZE; i++) {
            EXPECT_EQ(writes[i], "write " + c.bus_addr + " len=2 data=" + hex2(i) + " " +
                                     hex2(static_cast<unsigned char>(file[i])) + " ok");
        }
        EXPECT_TRUE(log_lines(log(), "smbus bus=0 addr=52 write").empty());
        EXPECT_EQ(log_lines(log(), "open").size(), log_lines(log(), "close").size());
    }
}

TEST_F(eepromtool, SetTakesTheFirst128BytesOfALongerFile)
{
    std::string file = pattern(200, 7);
    write_file(dir.file("rec.bin"), file);
    std::string before = eeprom(EXT0);
    run_result r = run({"setext0", dir.file("rec.bin")});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(eeprom(EXT0), file.substr(0, RECORD_SIZE) + before.substr(RECORD_SIZE));
}

TEST_F(eepromtool, SetFailuresPrintTheirMessageThenProbeError)
{
    std::string short_file = dir.file("short.bin");
    std::string good_file = dir.file("good.bin");
    std::string missing = dir.file("missing.bin");
    write_file(short_file, pattern(127, 1));
    write_file(good_file, pattern(RECORD_SIZE, 2));
    struct expected {
        const char *name;
        std::string file;
        std::string faults;
        bool absent;
        std::string out;
    };
    const expected cases[] = {
        {"127-byte file", short_file, "", false, "ERROR: not 128bytes read\nprobe error\n"},
        {"missing file", missing, "", false, "cannot open '" + missing + "'\nprobe error\n"},
        {"absent device", good_file, "", true,
         "i2c_write: write error at 0\nWriting EEPROM failed with -1\nprobe error\n"},
        {"nacking device", good_file, "nack:0:52", false,
         "i2c_write: write error at 0\nWriting EEPROM failed with -1\nprobe error\n"},
        {"claimed device", good_file, "busy:0:52", false,
         "i2c_write: cannot set slave addr!\nWriting EEPROM failed with -1\nprobe error\n"},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.absent)
            remove_device(EXT0);
        std::string before = c.absent ? "" : eeprom(EXT0);
        extra_env.clear();
        if (!c.faults.empty())
            extra_env.push_back("I2CSIM_FAULTS=" + c.faults);
        run_result r = run({"setext0", c.file});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 1);
        if (!c.absent) {
            EXPECT_EQ(eeprom(EXT0), before);
        }
    }
}

// ID EEPROMs with their write-protect pin tied high acknowledge every byte and store none: only
// the read-back after the write tells.
TEST_F(eepromtool, AWriteThatDoesNotStickIsAFailure)
{
    std::string stored = eeprom(EXT0).substr(0, RECORD_SIZE);
    std::string differs_at_5 = stored;
    differs_at_5[5] = static_cast<char>(0xc3);
    struct expected {
        const char *name;
        std::string file;
        std::string faults;
        std::string out;
        int status;
    };
    const expected cases[] = {
        {"write-protected", pattern(RECORD_SIZE, 2), "write-protect:0:52",
         "i2c_write: verify error at 0: wrote 0x02, read back 0x21\n"
         "Writing EEPROM failed with -4\nprobe error\n",
         1},
        {"write-protected, first five bytes equal", differs_at_5, "write-protect:0:52",
         "i2c_write: verify error at 5: wrote 0xc3, read back 0x62\n"
         "Writing EEPROM failed with -4\nprobe error\n",
         1},
        // The EEPROM already holds the record: nothing to tell.
        {"write-protected, same bytes", stored, "write-protect:0:52", "", 0},
        {"read-back breaks off", pattern(RECORD_SIZE, 2), "read-fail:0:52:100",
         "i2c_write: cannot read back the written bytes\n"
         "Writing EEPROM failed with -4\nprobe error\n",
         1},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        unlink(log_path().c_str());
        write_file(dir.file("rec.bin"), c.file);
        extra_env = {"I2CSIM_FAULTS=" + c.faults};
        run_result r = run({"setext0", dir.file("rec.bin")});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
        // All 128 bytes went out and were acknowledged before the read-back.
        std::vector<std::string> writes = log_lines(log(), "write bus=0 addr=52 len=2");
        ASSERT_EQ(writes.size(), RECORD_SIZE);
        EXPECT_EQ(writes.back(), "write bus=0 addr=52 len=2 data=7f " +
                                     hex2(static_cast<unsigned char>(c.file[127])) + " ok");
    }
}

// Many controllers offer SMBus only (the emulated board's PIIX4 among them): the kernel refuses
// plain writes there, and each byte goes as an SMBus write-byte-data, the same bytes on the bus.
// Whatever happens, the tool must say and do the same as on a plain I2C adapter.
TEST_F(eepromtool, SetWritesAlikeOnPlainAndSmbusOnlyAdapters)
{
    const std::string file = pattern(RECORD_SIZE, 5);
    const std::string stored = eeprom(EXT0);
    constexpr size_t NONE = RECORD_SIZE;
    struct write_case {
        const char *name;
        std::string faults;
        std::string busy_us;
        std::string out;
        std::string eeprom; // afterwards
        size_t refused;     // the byte the EEPROM does not acknowledge, the last one sent
    };
    const write_case cases[] = {
        {"written", "", "", "", file + stored.substr(RECORD_SIZE), NONE},
        {"3.5 ms write cycle", "", "3500", "", file + stored.substr(RECORD_SIZE), NONE},
        {"fails at byte 10", "write-fail:0:52:10", "",
         "i2c_write: write error at 10\nWriting EEPROM failed with -1\nprobe error\n",
         file.substr(0, 10) + stored.substr(10), 10},
        {"write-protected", "write-protect:0:52", "",
         "i2c_write: verify error at 0: wrote 0x05, read back 0x21\n"
         "Writing EEPROM failed with -4\nprobe error\n",
         stored, NONE},
    };
    struct adapter {
        const char *name;
        std::string smbus_only;  // I2CSIM_SMBUS_ONLY
        std::string sent, other; // log prefixes of the writes it makes and of those it must not
    };
    const adapter adapters[] = {
        {"plain I2C", "", "write bus=", "smbus bus=0 addr=52 write"},
        {"SMBus only", "0,1", "smbus bus=0 addr=52 write", "write bus="},
    };
    write_file(dir.file("rec.bin"), file);
    for (const write_case &c : cases) {
        for (const adapter &a : adapters) {
            SCOPED_TRACE(std::string(c.name) + ", " + a.name);
            write_file(eeprom_path(EXT0), stored);
            unlink(log_path().c_str());
            extra_env = {"I2CSIM_FAULTS=" + c.faults, "I2CSIM_BUSY_US=" + c.busy_us,
                         "I2CSIM_SMBUS_ONLY=" + a.smbus_only};
            run_result r = run({"setext0", dir.file("rec.bin")});
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(r.status, c.out.empty() ? 0 : 1);
            EXPECT_EQ(eeprom(EXT0), c.eeprom);

            std::vector<std::string> sent;
            for (size_t i = 0; i < RECORD_SIZE && i <= c.refused; i++) {
                std::string offset = hex2(i), byte = hex2(static_cast<unsigned char>(file[i]));
                std::string status = i == c.refused ? " nack" : " ok";
                sent.push_back(a.smbus_only.empty() ? "write bus=0 addr=52 len=2 data=" + offset +
                                                          " " + byte + status
                                                    : "smbus bus=0 addr=52 write byte-data cmd=" +
                                                          offset + " val=" + byte + status);
            }
            const std::string l = log();
            EXPECT_EQ(log_lines(l, a.sent), sent);
            EXPECT_TRUE(log_lines(l, a.other).empty());
            EXPECT_EQ(l.find("busy"), std::string::npos);
        }
    }
}

TEST_F(eepromtool, AWriteFailingAtByteTenLeavesTheRestOld)
{
    std::string file = pattern(RECORD_SIZE, 77);
    write_file(dir.file("rec.bin"), file);
    std::string before = eeprom(EXT0);
    extra_env = {"I2CSIM_FAULTS=write-fail:0:52:10"};
    run_result r = run({"setext0", dir.file("rec.bin")});
    EXPECT_EQ(r.out, "i2c_write: write error at 10\nWriting EEPROM failed with -1\nprobe error\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(eeprom(EXT0), file.substr(0, 10) + before.substr(10));
}

TEST_F(eepromtool, EachByteIsStoredBeforeTheNextIsSent)
{
    // The EEPROM ignores everything for 3.5 ms after each stored byte.
    std::string file = pattern(RECORD_SIZE, 9);
    write_file(dir.file("rec.bin"), file);
    std::string before = eeprom(EXT1);
    extra_env = {"I2CSIM_BUSY_US=3500"};
    run_result r = run({"setext1", dir.file("rec.bin")});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(eeprom(EXT1), file + before.substr(RECORD_SIZE));
    EXPECT_TRUE(log_lines(log(), "write bus=0 addr=53 len=2 data=").size() == RECORD_SIZE);
    EXPECT_EQ(log().find("busy"), std::string::npos);

    // The read-back starts only after the last write cycle and reads every byte once.
    std::string l = log();
    std::istringstream after_writes(l.substr(l.find("data=7f ")));
    std::string line;
    std::getline(after_writes, line);
    std::getline(after_writes, line);
    EXPECT_EQ(line, "slave bus=0 addr=53");
    for (size_t i = 0; i < RECORD_SIZE && std::getline(after_writes, line); i++) {
        EXPECT_EQ(line, "smbus bus=0 addr=53 read byte-data cmd=" + hex2(i) + " -> " +
                            hex2(static_cast<unsigned char>(file[i])) + " ok");
    }
    std::getline(after_writes, line);
    EXPECT_EQ(line.compare(0, 9, "close fd="), 0) << line;
}

TEST_F(eepromtool, DumpThenSetRewritesTheSameBytesWithTerminatorsCleared)
{
    std::string before = eeprom(EXT0);
    ASSERT_NE(before[31], '\0');
    ASSERT_NE(before[47], '\0');
    std::string path = dir.file("roundtrip.bin");
    ASSERT_EQ(run({"dumpext0", path}).status, 0);
    run_result r = run({"setext0", path});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(eeprom(EXT0), sanitized(before.substr(0, RECORD_SIZE)) + before.substr(RECORD_SIZE));
}

TEST_F(eepromtool, AMissingBusDeviceIsAProbeError)
{
    struct expected {
        std::vector<std::string> args;
        std::string buses;
    };
    const expected cases[] = {
        {{"serialcpu"}, "0"},
        {{"serialbb"}, "1"},
        {{"typecpu"}, "0,1"},
        {{"setext0", dir.file("rec.bin")}, "1"},
        {{"dumpext0", dir.file("dump.bin")}, "1"},
    };
    write_file(dir.file("rec.bin"), pattern(RECORD_SIZE, 3));
    std::string before = eeprom(EXT0);
    for (const expected &c : cases) {
        SCOPED_TRACE(c.args[0] + " without bus " + c.buses);
        extra_env = {"I2CSIM_MISSING_BUSES=" + c.buses};
        run_result r = run(c.args);
        EXPECT_EQ(r.out, "probe error\n");
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(eeprom(EXT0), before);
    struct stat st;
    EXPECT_NE(stat(dir.file("dump.bin").c_str(), &st), 0);
}

TEST_F(eepromtool, ABadCommandLineShowsTheUsageAndTouchesNoBus)
{
    const std::vector<std::string> cases[] = {
        {"bogus"},
        {"serial"},
        {"SERIALCPU"},
        {"dump"},
        {"dumpbb"},
        {"dumpbb", "a", "b"},
        {"setext0"},
        {"setext1", "a", "b"},
        {"dumpext0", "", "x"},
        {""},
    };
    for (const std::vector<std::string> &args : cases) {
        SCOPED_TRACE(args[0] + " +" + std::to_string(args.size() - 1));
        run_result r = run(args);
        EXPECT_EQ(r.out.compare(0, 6, "usage:"), 0) << r.out;
        for (const char *word : {"serialcpu", "serialbb", "typecpu", "typebb", "dumpext0",
                                 "dumpext1", "setext0", "setext1", "dumpbb", "setbb"})
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(log(), "");
    }
}

TEST_F(eepromtool, WithoutArgumentsAFailedFirstReadIsAProbeError)
{
    extra_env = {"I2CSIM_MISSING_BUSES=0"};
    run_result r = run({});
    ASSERT_GE(r.out.size(), 12u);
    EXPECT_EQ(r.out.substr(r.out.size() - 12), "probe error\n");
    EXPECT_EQ(r.status, 1);
}
