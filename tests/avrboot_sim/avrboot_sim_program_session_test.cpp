// avr-bootsim serving several updates as a fleet script uses it: a fixed link to its device,
// sessions one after the other with the memories kept, memories given at the start, and the
// updater recovering from an interrupted update.
#include "run_program.h"
#include "sim_client.h"
#include "sim_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int ANSWER_IDLE_MS = 3000;            // generous: the program may run under a launcher
const char IDENT[] = "B,1,0,2,25,3,1,OKT32-BB"; // the fixtures' hardware, so no countdown
const char UPDATE_FAILED[] = "WARNING: CODE UPDATE FAILED! ABORTING!\n";
const char UPDATE_DONE[] = "\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY\n";

std::string fixture(const char *name)
{
    return source_path(std::string("tests/fixtures/avr/") + name);
}

run_result run_update(const std::string &port)
{
    return run_program(bin_path("avr-fwupdate"),
                       {port, "115200", fixture("flash.hex"), fixture("eeprom.hex")});
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// One exchange over an open client line.
std::string ask(int fd, const std::string &bytes, std::size_t wanted)
{
    EXPECT_TRUE(client_send(fd, bytes));
    return client_recv(fd, wanted, ANSWER_IDLE_MS);
}

enum link_end { END_BY_QUIET, END_BY_SIGNAL, END_BY_UPDATE };

struct link_case {
    const char *name;
    const char *before; // an existing link's target, "" for none
    link_end end;
    int status;
};

TEST(SimLink, NamesTheDeviceBeforeServingAndGoesAtTheEnd)
{
    const link_case cases[] = {
        {"new name, quiet time-out", "", END_BY_QUIET, 1},
        {"stale link replaced, SIGTERM", "/dev/pts/no-such-device", END_BY_SIGNAL, 1},
        {"update through the link", "", END_BY_UPDATE, 0},
    };
    for (const link_case &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        const std::string link = dir.file("avr0");
        if (*c.before) {
            ASSERT_EQ(symlink(c.before, link.c_str()), 0);
        }
        const std::string quiet = c.end == END_BY_QUIET ? "1000" : "30000";
        pid_t pid = spawn_sim({"--link", link, "--quiet-timeout", quiet}, dir.file("out"));
        ASSERT_GT(pid, 0);
        // The device line is printed once the link is in place.
        std::string device = first_line(wait_for_text(dir.file("out"), "\n"));
        ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
        EXPECT_EQ(link_target(link), device);
        if (c.end == END_BY_SIGNAL)
            kill(pid, SIGTERM);
        if (c.end == END_BY_UPDATE) {
            int fd = client_open(link);
            ASSERT_GE(fd, 0);
            EXPECT_EQ(ask(fd, "#FWUPLD\r", 8), ">FWUPLD\n");
            EXPECT_EQ(ask(fd, "#PGMEND\r", 8), ">PGMERR\n");
            close(fd);
        }
        EXPECT_EQ(wait_status(pid), c.status);
        EXPECT_FALSE(exists(link)) << "the link outlived the simulator";
        EXPECT_FALSE(exists(link + "." + std::to_string(pid) + ".new"));
    }
}

struct refusal_case {
    const char *name;
    std::vector<std::string> args; // "@" stands for the temporary folder
    const char *says;
};

TEST(SimLink, StartFailuresOfferNoDevice)
{
    const std::vector<char> too_long_flash(128 * 1024 + 1, 'F');
    const std::vector<char> too_long_eeprom(4097, 'E');
    const refusal_case cases[] = {
        {"a file has the link's name", {"--link", "@/file"}, "is no symbolic link"},
        {"the link's folder is missing", {"--link", "@/none/avr0"}, "cannot link '@/none/avr0'"},
        {"flash file missing", {"--flash", "@/none.bin"}, "cannot read '@/none.bin'"},
        {"flash file too long", {"--flash", "@/flash.bin"}, "longer than the 131072 bytes"},
        {"EEPROM file too long", {"--eeprom", "@/eeprom.bin"}, "longer than the 4096 bytes"},
    };
    for (const refusal_case &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_file(dir.file("file"), "keep me");
        write_file(dir.file("flash.bin"),
                   std::string(too_long_flash.begin(), too_long_flash.end()));
        write_file(dir.file("eeprom.bin"),
                   std::string(too_long_eeprom.begin(), too_long_eeprom.end()));
        std::vector<std::string> args = {"--link", dir.file("avr0"), "--quiet-timeout", "100"};
        std::string says = c.says;
        for (std::string a : c.args) {
            if (a[0] == '@')
                a = dir.path + a.substr(1);
            args.push_back(a);
        }
        if (says.find('@') != std::string::npos)
            says.replace(says.find('@'), 1, dir.path);
        run_result r = run_program(sim_program(), args);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.out, "") << "no device may be offered";
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_EQ(read_file(dir.file("file")), "keep me");
        EXPECT_FALSE(exists(dir.file("avr0")));
    }
}

TEST(SimSessions, ServesUpdatesOneAfterTheOtherWithTheMemoriesKept)
{
    temp_dir dir;
    const std::string link = dir.file("avr0");
    pid_t pid = spawn_sim({"--link", link, "--sessions", "3", "--quiet-timeout", "30000", "--log",
                           dir.file("log"), "--rx-dump", dir.file("rx")},
                          dir.file("out"));
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(wait_for_link(link).empty());
    const std::string b1 = "#BLK001\r" + block_data(1);
    std::vector<unsigned char> flash(128 * 1024, 0xFF);
    memcpy(&flash[256], block_data(1).data(), 256);
    std::string e0 = block_data(7);
    e0.replace(16, 8, flash_stamp(flash, 0x1F8));

    int fd = client_open(link); // 1: ends with the end command
    EXPECT_EQ(ask(fd, "#FWUPLD\r", 8), ">FWUPLD\n");
    EXPECT_EQ(ask(fd, b1, 8), ">BLK_OK\n");
    EXPECT_EQ(ask(fd, "#PGMEND\r", 8), ">PGMERR\n");
    close(fd);
    usleep(200000);         // the next session waits for its updater
    fd = client_open(link); // 2: the updater leaves early
    EXPECT_EQ(ask(fd, "#FWUPLD\r", 8), ">FWUPLD\n");
    close(fd);
    fd = client_open(link); // 3: the flash of session 1 meets its stamp
    EXPECT_EQ(ask(fd, "#EBK000\r" + e0, 8), ">EBK_OK\n");
    EXPECT_EQ(ask(fd, "#PGMEND\r", 8), ">PGM_OK\n");
    close(fd);

    EXPECT_EQ(wait_status(pid), 0);
    const std::string out = read_file(dir.file("out"));
    EXPECT_EQ(out, first_line(out) +
                       "\navr-bootsim: session 1 of 3: finished\n"
                       "exchanges 3: prepare 1, version 0, flash blocks 1, eeprom blocks 0, end 1\n"
                       "stored blocks: flash 1, eeprom 0\n"
                       "stamp check: mismatch\n"
                       "protocol violations: 0\n"
                       "avr-bootsim: session 2 of 3: closed\n"
                       "exchanges 1: prepare 1, version 0, flash blocks 0, eeprom blocks 0, end 0\n"
                       "stored blocks: flash 0, eeprom 0\n"
                       "stamp check: not asked\n"
                       "protocol violations: 0\n"
                       "avr-bootsim: session 3 of 3: finished\n"
                       "exchanges 2: prepare 0, version 0, flash blocks 0, eeprom blocks 1, end 1\n"
                       "stored blocks: flash 0, eeprom 1\n"
                       "stamp check: match\n"
                       "protocol violations: 0\n");
    EXPECT_EQ(read_file(dir.file("rx")),
              "#FWUPLD\r" + b1 + "#PGMEND\r#FWUPLD\r#EBK000\r" + e0 + "#PGMEND\r");
    EXPECT_NE(read_file(dir.file("log"))
                  .find("session 2 of 3: closed\n    1 #FWUPLD\\r attempt 1, 8 bytes in"),
              std::string::npos);
    EXPECT_FALSE(exists(link));
}

TEST(SimSessions, QuietTimeWhileWaitingForTheNextSessionEndsServing)
{
    temp_dir dir;
    pid_t pid = spawn_sim({"--link", dir.file("avr0"), "--sessions", "2", "--quiet-timeout", "500"},
                          dir.file("out"));
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(wait_for_link(dir.file("avr0")).empty());
    int fd = client_open(dir.file("avr0"));
    EXPECT_EQ(ask(fd, "#PGMEND\r", 8), ">PGMERR\n");
    close(fd);
    EXPECT_EQ(wait_status(pid), 1);
    const std::string out = read_file(dir.file("out"));
    EXPECT_NE(out.find("avr-bootsim: session 1 of 2: finished\n"), std::string::npos) << out;
    EXPECT_NE(out.find("avr-bootsim: session 2 of 2: quiet\nexchanges 0:"), std::string::npos)
        << out;
    EXPECT_FALSE(exists(dir.file("avr0")));
}

TEST(SimMemories, StartFromGivenFiles)
{
    temp_dir dir;
    std::vector<unsigned char> flash(128 * 1024);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
    // A short EEPROM file: the rest of the EEPROM keeps the fill byte.
    std::string eeprom = block_data(3).substr(0, 40);
    // Without flash arriving the stamped length (16 bits) is taken as it is.
    eeprom.replace(16, 8, flash_stamp(flash, 0xFFF0));
    write_file(dir.file("flash.in"), std::string(flash.begin(), flash.end()));
    write_file(dir.file("eeprom.in"), eeprom);
    pid_t pid = spawn_sim({"--link", dir.file("avr0"), "--flash", dir.file("flash.in"), "--eeprom",
                           dir.file("eeprom.in"), "--eeprom-fill", "00", "--save-flash",
                           dir.file("flash.out"), "--save-eeprom", dir.file("eeprom.out"),
                           "--quiet-timeout", "30000"},
                          dir.file("out"));
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(wait_for_link(dir.file("avr0")).empty());
    int fd = client_open(dir.file("avr0"));
    // The end command checks the given memories: their stamp matches.
    EXPECT_EQ(ask(fd, "#PGMEND\r", 8), ">PGM_OK\n");
    close(fd);
    EXPECT_EQ(wait_status(pid), 0);
    EXPECT_TRUE(read_file(dir.file("flash.out")) == std::string(flash.begin(), flash.end()));
    EXPECT_EQ(read_file(dir.file("eeprom.out")), eeprom + std::string(4096 - 40, '\0'));
}

TEST(SimRecovery, InterruptedUpdateSucceedsInTheNextSession)
{
    temp_dir dir;
    const std::string link = dir.file("avr0");
    pid_t pid = spawn_sim({"--link", link, "--sessions", "2", "--ident", IDENT, "--fault",
                           "s1BLK100:hangup", "--save-flash", dir.file("flash"), "--save-eeprom",
                           dir.file("eeprom"), "--quiet-timeout", "30000"},
                          dir.file("out"));
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(wait_for_link(link).empty());

    run_result first = run_update(link);
    // The line goes down during the third flash block; whether its data still got into the line
    // is a race (-2 or -1 from the upload).
    EXPECT_TRUE(first.status == 254 || first.status == 255) << first.status;
    EXPECT_NE(first.out.find("DATA   .."), std::string::npos) << first.out;
    EXPECT_NE(first.out.find(UPDATE_FAILED), std::string::npos) << first.out;

    run_result second = run_update(link);
    EXPECT_EQ(second.status, 0);
    ASSERT_GE(second.out.size(), strlen(UPDATE_DONE));
    EXPECT_EQ(second.out.substr(second.out.size() - strlen(UPDATE_DONE)), UPDATE_DONE)
        << second.out;

    EXPECT_EQ(wait_status(pid), 0);
    const std::string out = read_file(dir.file("out"));
    EXPECT_NE(out.find("avr-bootsim: session 1 of 2: hung up\n"
                       "exchanges 5: prepare 1, version 1, flash blocks 2, eeprom blocks 0, end 0\n"
                       "stored blocks: flash 2, eeprom 0\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\ndevice: /dev/"), std::string::npos) << out;
    EXPECT_NE(out.find("avr-bootsim: session 2 of 2: finished\n"), std::string::npos) << out;
    EXPECT_NE(out.find("stamp check: match\nprotocol violations: 0\n"), std::string::npos) << out;
    EXPECT_TRUE(read_file(dir.file("flash")) == read_file(fixture("flash.bin")));
    // EEPROM bytes 16-23 hold the flash stamp the updater adds; the stamp check covers them.
    const std::string eeprom = read_file(dir.file("eeprom"));
    const std::string image = read_file(fixture("eeprom.bin"));
    ASSERT_EQ(eeprom.size(), image.size());
    EXPECT_EQ(eeprom.substr(0, 16), image.substr(0, 16));
    EXPECT_TRUE(eeprom.substr(24) == image.substr(24));
    EXPECT_FALSE(exists(link));
}

// The README's shell example for the simulated AVR, as pasted; only the names of the programs
// (with the test launcher), of the fixtures and of the link are replaced, so that tests that run
// at the same time do not meet.
std::string readme_example()
{
    const std::string readme = read_file(source_path("README.md"));
    std::size_t section = readme.find("## Simulated hardware");
    std::size_t start = readme.find("```sh\n", section);
    std::size_t end = readme.find("```", start + 6);
    if (section == std::string::npos || start == std::string::npos || end == std::string::npos)
        return "";
    end = readme.rfind('\n', end) + 1; // the closing fence's line
    std::string script;
    std::size_t pos = start + 6;
    while (pos < end) {
        std::size_t nl = readme.find('\n', pos);
        std::string line = readme.substr(pos, nl - pos);
        script += line.substr(line.find_first_not_of(' ')) + "\n";
        pos = nl + 1;
    }
    return script;
}

void replace_all(std::string *s, const std::string &from, const std::string &to)
{
    for (std::size_t at = s->find(from); at != std::string::npos;
         at = s->find(from, at + to.size()))
        s->replace(at, from.size(), to);
}

std::string launch_command(const std::string &program)
{
    std::string cmd;
    for (const std::string &a : launch_argv(bin_path(program), {}, {}))
        cmd += (cmd.empty() ? "" : " ") + shell_quote(a);
    return cmd;
}

TEST(SimReadme, ExampleWorksWhenPasted)
{
    temp_dir dir;
    std::string script = readme_example();
    ASSERT_NE(script.find("--link /tmp/avr0"), std::string::npos) << script;
    replace_all(&script, "build/bin/avr-bootsim", launch_command("avr-bootsim"));
    replace_all(&script, "build/bin/avr-fwupdate", launch_command("avr-fwupdate"));
    replace_all(&script, "tests/fixtures/", shell_quote(source_path("tests/fixtures")) + "/");
    replace_all(&script, "/tmp/avr0", shell_quote(dir.file("avr0")));
    write_file(dir.file("example.sh"), script);
    const std::string cmd = "cd " + shell_quote(dir.path) + " && sh example.sh > transcript 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0) << script;
    const std::string transcript = read_file(dir.file("transcript"));
    EXPECT_NE(transcript.find(std::string(UPDATE_DONE) + "/dev/"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("avr-bootsim: finished\n"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("stamp check: match\n"), std::string::npos) << transcript;
    EXPECT_FALSE(exists(dir.file("avr0")));
}

} // namespace
