// Times `okt-eepromtool setext0` writing one 128-byte record through the i2c-dev emulation with a
// 3.5 ms write cycle, and compares it with the floor of 128 times the tool's per-byte delay.
// The time includes starting the program and its silent probe (4 x 128 single-byte reads).
#include "i2c_access.h"
#include "oktideep.h"
#include "run_program.h"
#include "temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace
{

constexpr int RUNS = 5;
constexpr int EEPROM_BYTES = 256;
constexpr const char *BUSY_US = "3500";  // emulated write cycle, microseconds
constexpr double TARGET_OVERHEAD = 0.10; // allowed share above the floor

double now_s()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

int main()
{
    temp_dir dir;
    for (const char *name : {"i2c-0-50", "i2c-1-50", "i2c-0-52", "i2c-0-53"})
        write_file(dir.file(name), std::string(EEPROM_BYTES, '\xff'));
    std::string record(OKT_EEP_RECORD_SIZE, '\0');
    for (int i = 0; i < OKT_EEP_RECORD_SIZE; i++)
        record[i] = static_cast<char>(i * 31 + 7);
    write_file(dir.file("rec.bin"), record);

    run_options opts;
    opts.stdin_from_null = true;
    opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_DIR=" + dir.path,
                std::string("I2CSIM_BUSY_US=") + BUSY_US};

    std::vector<double> times;
    for (int run = 0; run < RUNS; run++) {
        double start = now_s();
        run_result r =
            run_program(bin_path("okt-eepromtool"), {"setext0", dir.file("rec.bin")}, opts);
        double elapsed = now_s() - start;
        if (r.status != 0 ||
            read_file(dir.file("i2c-0-52")).compare(0, record.size(), record) != 0) {
            printf("run %d failed: status %d, output: %s\n", run, r.status, r.out.c_str());
            return 1;
        }
        times.push_back(elapsed);
    }
    std::sort(times.begin(), times.end());
    double best = times.front();
    double median = times[times.size() / 2];
    double floor_s = OKT_EEP_RECORD_SIZE * static_cast<double>(EEPROM_WRITE_CYCLE_NS) / 1e9;
    printf("record write (setext0, %s us write cycle), %d runs\n", BUSY_US, RUNS);
    printf("  floor   128 x %.1f ms = %.1f ms\n", EEPROM_WRITE_CYCLE_NS / 1e6, floor_s * 1e3);
    printf("  best    %.1f ms (%+.1f %%)\n", best * 1e3, (best / floor_s - 1) * 100);
    printf("  median  %.1f ms (%+.1f %%)\n", median * 1e3, (median / floor_s - 1) * 100);
    printf("  target  within %.0f %% of the floor: %s\n", TARGET_OVERHEAD * 100,
           median <= floor_s * (1 + TARGET_OVERHEAD) ? "met" : "missed");
    return 0;
}
