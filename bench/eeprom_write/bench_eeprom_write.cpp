// Times `okt-eepromtool setext0` writing one 128-byte record through the i2c-dev emulation with a
// 3.5 ms write cycle, and compares it with the floor of 128 times the tool's per-byte delay.
// The whole run includes starting the program and its silent probe (4 x 128 single-byte reads);
// the write phase leaves them out. The write phase includes the read-back that checks the record
// (128 single-byte reads after the last write cycle): a few milliseconds above the floor.
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

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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

    // The same run without the write (typecpu only probes) shows what starting the program and
    // reading the four records cost, so the write phase can be told apart.
    std::vector<double> totals;
    std::vector<double> probes;
    for (int run = 0; run < RUNS; run++) {
        double start = now_s();
        run_result r =
            run_program(bin_path("okt-eepromtool"), {"setext0", dir.file("rec.bin")}, opts);
        totals.push_back(now_s() - start);
        if (r.status != 0 ||
            read_file(dir.file("i2c-0-52")).compare(0, record.size(), record) != 0) {
            printf("run %d failed: status %d, output: %s\n", run, r.status, r.out.c_str());
            return 1;
        }
        start = now_s();
        r = run_program(bin_path("okt-eepromtool"), {"typecpu"}, opts);
        probes.push_back(now_s() - start);
        if (r.status != 0) {
            printf("probe run %d failed: status %d\n", run, r.status);
            return 1;
        }
    }
    double total = median(totals);
    double probe = median(probes);
    double write_phase = total - probe;
    double floor_s = OKT_EEP_RECORD_SIZE * static_cast<double>(EEPROM_WRITE_CYCLE_NS) / 1e9;
    printf("record write (setext0, %s us write cycle), median of %d runs\n", BUSY_US, RUNS);
    printf("  floor        128 x %.1f ms = %.1f ms\n", EEPROM_WRITE_CYCLE_NS / 1e6, floor_s * 1e3);
    printf("  whole run    %.1f ms (%+.1f %%)\n", total * 1e3, (total / floor_s - 1) * 100);
    printf("  start+probe  %.1f ms (typecpu)\n", probe * 1e3);
    printf("  write phase  %.1f ms (%+.1f %%)\n", write_phase * 1e3,
           (write_phase / floor_s - 1) * 100);
    printf("  target       write phase within %.0f %% of the floor: %s\n", TARGET_OVERHEAD * 100,
           write_phase <= floor_s * (1 + TARGET_OVERHEAD) ? "met" : "missed");
    return 0;
}
