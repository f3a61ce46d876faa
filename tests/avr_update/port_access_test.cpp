// The port as a resource the updater shares with the rest of the system: an updater started with
// many descriptors already open, and a second updater started on a port that an update is using.
#include "update_expect.h"
#include "update_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace
{

constexpr int LOCK_WAIT_S = 60; // for the first updater to start and lock its port

// Complete output of a quiet update in which every block is accepted at once.
std::string quiet_success(const test_firmware &fw)
{
    return banner() + "Preparing AVR for firmware update... OK\n" + INSTALLED_IDENT_LINE +
           NEW_IDENT_LINE + "DATA   " + std::string(fw.flash_blocks.size(), '.') + " DONE\n" +
           "EEPROM " + std::string(fw.eeprom_blocks.size(), '.') + " DONE\n" +
           "\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY\n";
}

// Everything the boot loader must receive in that update.
std::string quiet_success_line(const test_firmware &fw)
{
    std::string line = "#FWUPLD\r#PGMVER\r";
    for (int b : fw.flash_blocks)
        line +=
            block_command(MEM_FLASH, b) + as_string(fw.flash.data() + b * BLOCK_BYTES, BLOCK_BYTES);
    for (int b : fw.eeprom_blocks)
        line += block_command(MEM_EEPROM, b) +
                as_string(fw.eeprom.data() + b * BLOCK_BYTES, BLOCK_BYTES);
    return line + "#PGMEND\r";
}

// Holds every descriptor number from 3 to `last` open on /dev/null without close-on-exec, so a
// program started meanwhile inherits them all and gets a higher number for anything it opens.
struct descriptor_fill {
    explicit descriptor_fill(int last)
    {
        getrlimit(RLIMIT_NOFILE, &saved);
        rlim_t wanted = static_cast<rlim_t>(last) * 2;
        if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < wanted)
            return;
        struct rlimit raised = saved;
        if (raised.rlim_cur != RLIM_INFINITY && raised.rlim_cur < wanted)
            raised.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0)
            return;
        // open() takes the lowest free number, so this closes every gap up to `last`.
        for (int fd = open("/dev/null", O_RDONLY); fd >= 0 && fd <= last;
             fd = open("/dev/null", O_RDONLY)) {
            fds.push_back(fd);
            if (fd == last)
                break;
        }
        complete = !fds.empty() && fds.back() == last;
        for (int fd = 3; fd <= last && complete; ++fd)
            complete = fcntl(fd, F_GETFD) == 0; // open, and kept across exec
    }
    ~descriptor_fill()
    {
        for (int fd : fds)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
    }
    descriptor_fill(const descriptor_fill &) = delete;
    descriptor_fill &operator=(const descriptor_fill &) = delete;

    struct rlimit saved {
    };
    std::vector<int> fds;
    bool complete = false;
};

// Whether a process holds a flock() lock on the file at `path`, as /proc/locks lists them.
bool flock_held(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    char id[64];
    snprintf(id, sizeof id, " %02x:%02x:%lu ", major(st.st_dev), minor(st.st_dev),
             static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line))
        if (line.find("FLOCK") != std::string::npos && line.find(id) != std::string::npos)
            return true;
    return false;
}

class PortAccess : public updater_on_sim
{
  protected:
    // The updater's arguments for fw on the simulator's line.
    std::vector<std::string> update_args(const std::string &baud, const test_firmware &fw)
    {
        return {sim->slave_path, baud, fw.flash_path, fw.eeprom_path};
    }

    // After serving: the AVR got exactly one quiet update of fw and holds its images.
    void expect_device_updated_once(const test_firmware &fw)
    {
        EXPECT_TRUE(as_string(sim->rx_log) == quiet_success_line(fw))
            << "the boot loader received something other than one update";
        EXPECT_EQ(sim->counts[AVRSIM_CMD_PREPARE], 1);
        expect_avr_holds(fw);
    }
};

TEST_F(PortAccess, UpdaterStartedWithOver1023DescriptorsOpenUpdatesTheAvr)
{
    // Blocks on both sides of 64 KiB and the last block of each memory.
    test_firmware fw = make_firmware(dir.path, {0, 1, 0x100, 0x1FF}, {0, 15}, NEW_IDENT);
    const std::string expected_out = quiet_success(fw);

    // Filled before the simulator opens its line, whose descriptors then lie above too.
    constexpr int LAST_FILLED_FD = 1100;
    descriptor_fill fill(LAST_FILLED_FD);
    if (fill.fds.empty())
        GTEST_SKIP() << "the hard limit of open files is below " << 2 * LAST_FILLED_FD;
    ASSERT_TRUE(fill.complete) << "descriptors 3 to " << LAST_FILLED_FD << " not all inheritable";
    run_result res = serve_update({"115200", fw.flash_path, fw.eeprom_path});

    EXPECT_EQ(res.out, expected_out);
    EXPECT_EQ(res.status, 0);
    expect_device_updated_once(fw);
}

TEST_F(PortAccess, SecondUpdaterOnAPortInUseIsTurnedAwayWithoutTouchingIt)
{
    // At 9600 baud the 32 blocks keep the line busy for about 9 s: the second updater runs
    // while the first holds the port.
    std::vector<int> blocks;
    for (int b = 0; b < 31; ++b)
        blocks.push_back(b * 16);
    test_firmware fw = make_firmware(dir.path, blocks, {0}, NEW_IDENT);
    const std::string expected_first = quiet_success(fw);
    cfg.baud = 9600;
    ASSERT_EQ(avrsim_open(sim.get(), cfg), 0);
    std::thread server([this] { avrsim_serve(sim.get()); });

    run_options opts;
    opts.timeout_seconds = PROGRAM_TIMEOUT_S;
    run_result first;
    std::atomic<bool> first_done{false};
    std::thread first_run([&] {
        first = run_program(bin_path("avr-fwupdate"), update_args("9600", fw), opts);
        first_done = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(LOCK_WAIT_S);
    while (!flock_held(sim->slave_path) && !first_done &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool locked_before = flock_held(sim->slave_path);

    run_result second = run_program(bin_path("avr-fwupdate"), update_args("9600", fw), opts);
    bool locked_after = flock_held(sim->slave_path);
    first_run.join();
    avrsim_stop(sim.get());
    server.join();

    ASSERT_TRUE(locked_before) << "the first updater never locked its port";
    EXPECT_TRUE(locked_after) << "the first update ended before the second was started";
    EXPECT_EQ(second.out,
              banner() + "comm port '" + sim->slave_path + "' is in use by another process\n");
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(first.out, expected_first);
    EXPECT_EQ(first.status, 0);
    expect_device_updated_once(fw);
}

} // namespace
