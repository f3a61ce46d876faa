// Times a full update (all 512 flash and 16 EEPROM blocks) of the built avr-fwupdate against the
// simulated boot loader, first pacing at line rate with a page programming time, then unpaced,
// and prints wall time, the line-rate limit of the same exchange, their ratio and the updater's
// CPU time.
//
// usage: bench_avr_update [path of avr-fwupdate]   (default: next to this program)
#include "avr_bootsim.h"
#include "hex_writer.h"
#include "run_program.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr unsigned BAUD = 115200;
constexpr unsigned PAGE_TIME_US = 4500; // programming time of one 256-byte block
constexpr int BITS_PER_BYTE = 10;       // start, 8 data, stop
constexpr int BLOCK_BYTES = 256;
constexpr int FLASH_BLOCKS = 512;
constexpr int EEPROM_BLOCKS = 16;
constexpr int COMMAND_BYTES = 8;
constexpr int ANSWER_BYTES = 8;
constexpr int VERSION_ANSWER_BYTES = 24;

std::string program_dir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/'));
}

double seconds(const struct timeval &tv)
{
    return tv.tv_sec + tv.tv_usec / 1e6;
}

struct run_figures {
    double wall_s = 0;
    double user_s = 0;
    double sys_s = 0;
    int status = -1;
    bool approved = false;
};

// Runs one update with its output to /dev/null; the child's CPU time comes from its rusage.
run_figures run_once(const std::string &tool, const std::string &flash_hex,
                     const std::string &eeprom_hex, unsigned baud, unsigned page_time_us)
{
    run_figures fig;
    auto sim = std::make_unique<avrsim>();
    avrsim_config cfg = avrsim_default_config();
    avrsim_make_ident(cfg.fw_ident, 'A', 1, 0, 0, 24, 1, 1, "OKT32-BB");
    cfg.baud = baud;
    cfg.page_time_us = page_time_us;
    if (avrsim_open(sim.get(), cfg) != 0) {
        puts("cannot create the simulated AVR's pseudo-terminal");
        return fig;
    }
    std::thread server([&] { avrsim_serve(sim.get()); });

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {tool, sim->slave_path, std::to_string(BAUD), flash_hex,
                                     eeprom_hex};
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int wstatus = 0;
        struct rusage usage {
        };
        wait4(pid, &wstatus, 0, &usage);
        fig.wall_s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fig.user_s = seconds(usage.ru_utime);
        fig.sys_s = seconds(usage.ru_stime);
        fig.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    avrsim_stop(sim.get());
    server.join();
    fig.approved = sim->verdict == AVRSIM_VERDICT_OK;
    return fig;
}

void print_run(const char *title, const run_figures &fig, double limit_s)
{
    printf("%s\n", title);
    printf("  exit status %d, AVR verdict %s\n", fig.status, fig.approved ? "OK" : "not OK");
    printf("  wall time        %8.3f s\n", fig.wall_s);
    if (limit_s > 0) {
        printf("  line-rate limit  %8.3f s\n", limit_s);
        printf("  wall / limit     %8.4f  (%+.2f %%)\n", fig.wall_s / limit_s,
               (fig.wall_s / limit_s - 1) * 100);
    }
    printf("  updater CPU      %8.3f s user, %.3f s system\n", fig.user_s, fig.sys_s);
}

} // namespace

int main(int argc, char **argv)
{
    std::string tool = argc > 1 ? argv[1] : program_dir() + "/avr-fwupdate";
    char dir_template[] = "/tmp/bench-avr-update-XXXXXX";
    if (!mkdtemp(dir_template)) {
        puts("cannot create a temporary folder");
        return 1;
    }
    std::string dir = dir_template;
    std::string flash_hex = dir + "/flash.hex", eeprom_hex = dir + "/eeprom.hex";

    std::vector<unsigned char> flash(FLASH_BLOCKS * BLOCK_BYTES),
        eeprom(EEPROM_BLOCKS * BLOCK_BYTES);
    unsigned seed = 12345;
    for (unsigned char &b : flash) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<unsigned char>(seed >> 16);
    }
    for (std::size_t i = 0; i < eeprom.size(); ++i)
        eeprom[i] = static_cast<unsigned char>(i * 13);
    const unsigned char ident[16] = {'B', 2,   0,   0,   25,  1,   2,   0,
                                     'O', 'K', 'T', '3', '2', '-', 'B', 'B'};
    for (int i = 0; i < 16; ++i)
        eeprom[i] = ident[i];
    if (!write_file(flash_hex, hex_text(flash)) || !write_file(eeprom_hex, hex_text(eeprom))) {
        puts("cannot write the HEX files");
        return 1;
    }

    // Every byte crosses the line once, one direction at a time: the updater waits for each
    // answer before it sends the next command.
    const int blocks = FLASH_BLOCKS + EEPROM_BLOCKS;
    const long wire_bytes =
        2L * COMMAND_BYTES + ANSWER_BYTES + VERSION_ANSWER_BYTES +
        static_cast<long>(blocks) * (COMMAND_BYTES + BLOCK_BYTES + ANSWER_BYTES) + COMMAND_BYTES +
        ANSWER_BYTES;
    const double line_s = static_cast<double>(wire_bytes) * BITS_PER_BYTE / BAUD;
    const double program_s = blocks * PAGE_TIME_US / 1e6;

    printf("full update: %d flash + %d EEPROM blocks, %ld bytes on the wire at %u baud\n",
           FLASH_BLOCKS, EEPROM_BLOCKS, wire_bytes, BAUD);
    printf("line time %.3f s + programming %d x %.1f ms (%.3f s) = %.3f s\n\n", line_s, blocks,
           PAGE_TIME_US / 1000.0, program_s, line_s + program_s);

    run_figures paced = run_once(tool, flash_hex, eeprom_hex, BAUD, PAGE_TIME_US);
    print_run("paced at line rate, 4.5 ms page time:", paced, line_s + program_s);
    run_figures unpaced = run_once(tool, flash_hex, eeprom_hex, 0, 0);
    print_run("\nno pacing:", unpaced, 0);

    unlink(flash_hex.c_str());
    unlink(eeprom_hex.c_str());
    rmdir(dir.c_str());
    return paced.status == 0 && unpaced.status == 0 ? 0 : 1;
}
