// The packers called in-process, where the test controls what the program cannot be given from
// outside: the umask and a file size limit that makes writes fall short.
#include "capture_stdout.h"
#include "pack_bzip2.h"
#include "pack_write.h"
#include "pack_test_util.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dlfcn.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" void BZ2_bz__AssertH__fail(int errcode);

namespace
{

const std::string EEP_HEX = ":1000000041010203180C01004F4B5433322D424280\n:00000001FF\n";
const std::string FLASH_HEX = ":0400000001020304F2\n:00000001FF\n";

struct Packer : testing::Test {
    temp_dir dir;
    std::string flash = dir.file("flash.hex");
    std::string eeprom = dir.file("eeprom.hex");
    std::string out = dir.file("out.pack");
    const std::string old_bytes = "an older PACK file that must survive a failed run";

    void SetUp() override
    {
        write_file(flash, FLASH_HEX);
        write_file(eeprom, EEP_HEX);
    }

    std::vector<std::string> entries()
    {
        std::vector<std::string> names;
        DIR *d = opendir(dir.path.c_str());
        while (dirent *e = d ? readdir(d) : nullptr) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        if (d)
            closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Packer, CreatesTheOutputWithMode0644BeforeTheUmask)
{
    pack_write_result (*const packers[])(const char *, const char *, const char *) = {
        pack_write_v1, pack_write_v2, pack_write_v3};
    for (mode_t mask : {0000, 0027}) {
        for (auto packer : packers) {
            unlink(out.c_str());
            mode_t saved = umask(mask);
            capture_stdout capture;
            int rc = packer(out.c_str(), flash.c_str(), eeprom.c_str());
            umask(saved);
            ASSERT_EQ(rc, PACK_WRITE_OK) << capture.text();
            struct stat st;
            ASSERT_EQ(stat(out.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0644u & ~mask);
        }
    }
}

// Runs a packer in a child whose files may not grow beyond limit bytes; returns its exit
// status (the packer's result) and its output.
run_result pack_with_file_limit(pack_write_result (*packer)(const char *, const char *,
                                                            const char *),
                                const std::string &out, const std::string &flash,
                                const std::string &eeprom, rlim_t limit)
{
    run_result r;
    int p[2];
    if (pipe(p) != 0)
        return r;
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        dup2(p[1], 1);
        signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails or falls short instead
        struct rlimit lim = {limit, limit};
        setrlimit(RLIMIT_FSIZE, &lim);
        int rc = packer(out.c_str(), flash.c_str(), eeprom.c_str());
        fflush(stdout);
        _exit(rc);
    }
    close(p[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(p[0], buf, sizeof buf)) > 0)
        r.out.append(buf, static_cast<std::size_t>(n));
    close(p[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

TEST_F(Packer, FailedOrShortWritesFailAsShortAndLeaveTheOldFile)
{
    // V2 of these files: 16 EEPROM bytes (the record; the stamp lies beyond eep_len) and 4 flash
    // bytes. A limit of 0 makes the head's write fail; the others make a write fall short.
    const std::string sizes = "Size EEP: 00000016 cksum ";
    struct limit_case {
        rlim_t limit;
        int status;
        std::string tail;
    };
    const limit_case cases[] = {
        {0, PACK_WRITE_SHORT, "Writing HEAD... cannot write!\n"},
        {10, PACK_WRITE_SHORT, "Writing HEAD... cannot write!\n"},
        {40, PACK_WRITE_SHORT,
         "Writing HEAD... OK\nWriting EEP  (16 bytes) ... cannot write eep data\n"},
        {50, PACK_WRITE_SHORT,
         "Writing HEAD... OK\nWriting EEP  (16 bytes) ... OK\nWriting DATA (4 bytes) ...cannot "
         "write fw data\n"},
    };
    for (const limit_case &c : cases) {
        SCOPED_TRACE(c.limit);
        write_file(out, old_bytes);
        run_result r = pack_with_file_limit(pack_write_v2, out, flash, eeprom, c.limit);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, 28 + sizes.size()), "Packing firmware files (V2)\n" + sizes);
        ASSERT_GE(r.out.size(), c.tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
        EXPECT_EQ(read_file(out), old_bytes);
        EXPECT_EQ(entries(), (std::vector<std::string>{"eeprom.hex", "flash.hex", "out.pack"}));
    }
}

TEST_F(Packer, BzipHookReportsAndExitsWithTheLibraryCode)
{
    // Debian's libbz2 reports internal errors through BZ2_bz__AssertH__fail rather than
    // bz_internal_error; the program's definition must be the one the library's call reaches.
    using hook_fn = void (*)(int);
    void *hook = dlsym(RTLD_DEFAULT, "BZ2_bz__AssertH__fail");
    ASSERT_EQ(hook, reinterpret_cast<void *>(&BZ2_bz__AssertH__fail));
    for (hook_fn fn : {&bz_internal_error, reinterpret_cast<hook_fn>(hook)}) {
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(p[1], 1);
            printf("pending ");
            fn(1007);
            _exit(0);
        }
        close(p[1]);
        std::string text;
        char buf[256];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) > 0)
            text.append(buf, static_cast<std::size_t>(n));
        close(p[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(text, "pending \n\n BZIP2 LIBRARY ERROR 1007. ABORTING\n");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1007 & 0xFF);
    }
}

} // namespace
