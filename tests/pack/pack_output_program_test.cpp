// The PACK file a packer leaves behind, as a technician meets it: writes that fall short on a full
// disk or under a file size limit.
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

const std::string FLASH_HEX = source_path("tests/fixtures/avr/flash.hex");
const std::string EEPROM_HEX = source_path("tests/fixtures/avr/eeprom.hex");

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> entries_of(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (const dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

run_result pack(const std::string &option, const std::string &out,
                const std::string &eep = EEPROM_HEX)
{
    return run_program(bin_path("avr-fwupdate"), {option, out, FLASH_HEX, eep});
}

// Runs a packer whose files may not grow beyond `limit` bytes, as after `ulimit -f`. SIGXFSZ is
// ignored, as the program inherits it, so writes past the limit fail instead of killing it.
run_result pack_with_file_limit(const std::string &option, const std::string &out, rlim_t limit)
{
    struct rlimit saved {
    };
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit lowered = saved;
    lowered.rlim_cur = limit;
    void (*saved_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    run_result r;
    if (setrlimit(RLIMIT_FSIZE, &lowered) == 0) {
        r = pack(option, out);
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    signal(SIGXFSZ, saved_handler);
    return r;
}

TEST(PackOutput, WritesThatFallShortExit249AndKeepTheOldFile)
{
    // 64 KiB is the reproduction: the fixture's flash image (65,836 bytes) is cut short after the
    // head and the EEPROM payload, and the short count would have been the status (144). The
    // other limits cut each write of each version, or make the head's write fail outright.
    struct limit_case {
        const char *option;
        rlim_t limit;
        std::string tail;
    };
    const limit_case cases[] = {
        {"-pack2", 65536, "cannot write fw data\n"},
        {"-pack2", 0, "Writing HEAD... cannot write!\n"},
        {"-pack1", 10, "Writing HEAD... cannot write!\n"},
        {"-pack3", 100, "cannot write eep data\n"},
        {"-pack1", 1000, "cannot write fw data\n"},
    };
    temp_dir dir;
    const std::string out = dir.file("o.pack");
    const std::string old_bytes = "an older PACK file that must survive a failed run";
    for (const limit_case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.option << " limit " << c.limit);
        write_file(out, old_bytes);
        run_result r = pack_with_file_limit(c.option, out, c.limit);
        EXPECT_EQ(r.status, 249);
        ASSERT_GE(r.out.size(), c.tail.size()) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
        EXPECT_EQ(read_file(out), old_bytes);
        EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"o.pack"});
    }
}

} // namespace
