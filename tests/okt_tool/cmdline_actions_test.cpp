// Saving a record to a file and loading one, as far as no bus is involved.
#include "cmdline_actions.h"
#include "owners.h"
#include "capture_stdout.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

namespace
{

struct record_files : ::testing::Test {
    temp_dir dir;
    malloc_ptr<okt_eep_modinfo> table{okt_eep_init()};
    okt_eep_modinfo *entry() { return &table.get()[2]; }

    std::string pattern(size_t n, int seed)
    {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; i++)
            s[i] = static_cast<char>(i * 7 + seed);
        return s;
    }
};

} // namespace

TEST_F(record_files, DumpWritesTheRecordByteForByteWithMode0644)
{
    std::string rec = pattern(128, 3);
    memcpy(&entry()->data, rec.data(), 128);
    std::string path = dir.file("rec.bin");
    write_file(path, std::string(300, 'x')); // an older, longer file is truncated
    mode_t old_mask = umask(022);
    capture_stdout cap;
    int result = dump_data(entry(), path.c_str());
    std::string out = cap.text();
    umask(old_mask);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(read_file(path), rec);

    unlink(path.c_str());
    ASSERT_EQ(dump_data(entry(), path.c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~old_mask);
}

TEST_F(record_files, DumpFailuresAreReported)
{
    std::string missing = dir.file("no/such/dir/rec.bin");
    struct expected {
        const char *path;
        int result;
        std::string out;
    };
    const expected cases[] = {
        {missing.c_str(), -2, "cannot create '" + missing + "'\n"},
        {"/dev/full", -3, "WARNING: not all of eep data written!\n"},
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.path);
        capture_stdout cap;
        int result = dump_data(entry(), c.path);
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(dump_data(nullptr, "x"), -1);
    EXPECT_EQ(dump_data(entry(), nullptr), -1);
}

TEST_F(record_files, SetRefusesMissingAndShortFilesBeforeAnyWrite)
{
    std::string missing = dir.file("missing.bin");
    std::string shorter = dir.file("short.bin");
    write_file(shorter, pattern(127, 1));
    struct expected {
        std::string path;
        int result;
        std::string out;
    };
    const expected cases[] = {
        {missing, -2, "cannot open '" + missing + "'\n"},
        {shorter, -3, "ERROR: not 128bytes read\n"},
        {dir.path, -3, "ERROR: not 128bytes read\n"}, // a directory opens but reads nothing
    };
    for (const expected &c : cases) {
        SCOPED_TRACE(c.path);
        capture_stdout cap;
        int result = set_data(entry(), c.path.c_str());
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(set_data(nullptr, "x"), -1);
    EXPECT_EQ(set_data(entry(), nullptr), -1);
}

TEST_F(record_files, SetLoadsTheFirst128BytesUnsanitizedAndReportsTheWriteResult)
{
    // A bus the library does not know makes the write fail without touching any device.
    entry()->bus = 7;
    std::string file = pattern(200, 5);
    file[31] = 'a';
    file[47] = 'b';
    file[63] = 'c';
    std::string path = dir.file("rec.bin");
    write_file(path, file);
    capture_stdout cap;
    int result = set_data(entry(), path.c_str());
    EXPECT_EQ(cap.text(), "Writing EEPROM failed with -2\n");
    EXPECT_EQ(result, -2);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&entry()->data), 128),
              file.substr(0, 128));
}
