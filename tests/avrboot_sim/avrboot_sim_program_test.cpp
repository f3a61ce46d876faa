// avr-bootsim as scripts use it: started in the background with its output in a file, the device
// read from the first line, an update driven over it, the summary and the saved files checked.
#include "run_program.h"
#include "sim_client.h"
#include "sim_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace
{

constexpr int ANSWER_IDLE_MS = 3000; // generous: the program may run under a launcher

TEST(SimProgram, HelpDescribesTheOptions)
{
    run_result r = run_program(sim_program(), {"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *opt :
         {"usage: avr-bootsim", "--ident", "--baud", "--page-time", "--fault", "--save-flash",
          "--save-eeprom", "--log", "--quiet-timeout", "--link PATH", "--sessions N",
          "--flash FILE", "--eeprom FILE", "A session is one update"})
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
}

TEST(SimProgram, RefusesBadArguments)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--baud", "fast"},
        {"--fault", "BLK:bogus"},
        {"--fault", "BLK005"},
        {"--ident", "A,1,2"},
        {"--ident-hex", "00"},
        {"--page-time", "-1"},
        {"--flash-fill", "100"},
        {"--nonsense"},
        {"leftover"},
        {"--baud"},
        {"--sessions", "0"},
        {"--sessions", "two"},
        {"--fault", "s0BLK:err"},
        {"--link"},
    };
    for (const auto &args : cases) {
        run_result r = run_program(sim_program(), args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "") << args[0] << ": no device may be offered";
        EXPECT_NE(r.err.find("usage: avr-bootsim"), std::string::npos) << args[0];
    }
}

TEST(SimProgram, EndsAfterAQuietTime)
{
    run_result r = run_program(sim_program(), {"--quiet-timeout", "200"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(first_line(r.out).rfind("/dev/", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("avr-bootsim: quiet\n"), std::string::npos) << r.out;
}

TEST(SimProgram, ServesAnUpdateInTheBackgroundAndSavesWhatItGot)
{
    temp_dir dir;
    const std::string out = dir.file("out.txt");
    pid_t pid = spawn_sim({"--ident", "C,4,5,6,23,12,31,HW-BOARD", "--baud", "115200", "--fault",
                           "BLK001@1:err", "--save-flash", dir.file("flash.bin"), "--save-eeprom",
                           dir.file("eeprom.bin"), "--log", dir.file("log.txt"), "--rx-dump",
                           dir.file("rx.bin"), "--quiet-timeout", "30000"},
                          out);
    ASSERT_GT(pid, 0);
    std::string path = first_line(wait_for_text(out, "\n"));
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "first line: " << path;
    int fd = client_open(path);
    ASSERT_GE(fd, 0) << path;

    std::vector<unsigned char> flash(128 * 1024, 0xFF);
    std::string b1 = block_data(1);
    memcpy(&flash[256], b1.data(), 256);
    std::string e0 = block_data(7);
    e0.replace(16, 8, flash_stamp(flash, 0x1F8));

    std::string sent;
    auto ask = [&](const std::string &bytes, std::size_t wanted) {
        sent += bytes;
        EXPECT_TRUE(client_send(fd, bytes));
        return client_recv(fd, wanted, ANSWER_IDLE_MS);
    };
    EXPECT_EQ(ask("#FWUPLD\r", 8), ">FWUPLD\n");
    EXPECT_EQ(ask("#PGMVER\r", 24),
              std::string(">PGMVER\nC\x04\x05\x06\x17\x0C\x1F\0HW-BOARD", 24));
    EXPECT_EQ(ask("#BLK001\r" + b1, 8), ">BLKERR\n");
    EXPECT_EQ(ask("#BLK001\r" + b1, 8), ">BLK_OK\n");
    EXPECT_EQ(ask("#EBK000\r" + e0, 8), ">EBK_OK\n");
    EXPECT_EQ(ask("#PGMEND\r", 8), ">PGM_OK\n");
    close(fd);

    EXPECT_EQ(wait_status(pid), 0);
    std::string summary = read_file(out);
    EXPECT_EQ(summary, path + "\navr-bootsim: finished\n"
                              "exchanges 6: prepare 1, version 1, flash blocks 2, eeprom blocks 1, "
                              "end 1\n"
                              "stored blocks: flash 1, eeprom 1\n"
                              "stamp check: match\n"
                              "protocol violations: 0\n");
    EXPECT_EQ(read_file(dir.file("flash.bin")), std::string(flash.begin(), flash.end()));
    std::string eeprom = read_file(dir.file("eeprom.bin"));
    ASSERT_EQ(eeprom.size(), 4096u);
    EXPECT_EQ(eeprom.substr(0, 256), e0);
    EXPECT_EQ(eeprom.substr(256), std::string(4096 - 256, '\xFF'));
    EXPECT_EQ(read_file(dir.file("rx.bin")), sent);
    std::string log = read_file(dir.file("log.txt"));
    EXPECT_NE(log.find("#BLK001\\r attempt 1, 264 bytes in, fault err, answer \">BLKERR\\x0A\""),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("#PGMEND\\r attempt 1, 8 bytes in, fault none, answer \">PGM_OK\\x0A\""),
              std::string::npos)
        << log;
}

TEST(SimProgram, StartsFromAShellScriptInTheBackground)
{
    temp_dir dir;
    const std::string out = dir.file("path.txt");
    std::string cmd;
    for (const std::string &a : launch_argv(sim_program(), {"--quiet-timeout", "30000"}, {}))
        cmd += shell_quote(a) + " ";
    cmd += "> " + shell_quote(out) + " 2>&1 </dev/null &";
    // The shell returns at once; the simulator lives on and is no child of this process.
    ASSERT_EQ(system(cmd.c_str()), 0);
    std::string path = first_line(wait_for_text(out, "\n"));
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "first line: " << path;
    int fd = client_open(path);
    ASSERT_GE(fd, 0) << path;
    EXPECT_TRUE(client_send(fd, "#FWUPLD\r"));
    EXPECT_EQ(client_recv(fd, 8, ANSWER_IDLE_MS), ">FWUPLD\n");
    EXPECT_TRUE(client_send(fd, "#PGMEND\r"));
    // Nothing was stamped: the erased EEPROM does not match.
    EXPECT_EQ(client_recv(fd, 8, ANSWER_IDLE_MS), ">PGMERR\n");
    close(fd);
    std::string s = wait_for_text(out, "protocol violations: 0\n");
    EXPECT_NE(s.find("avr-bootsim: finished\n"), std::string::npos) << s;
    EXPECT_NE(s.find("stamp check: mismatch\n"), std::string::npos) << s;
}

} // namespace
