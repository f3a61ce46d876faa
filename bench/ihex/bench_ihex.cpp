// Prints the HEX parser's throughput over a whole 128 KiB flash image and the time that
// load_firmware_pair takes for the avr-gcc built fixture pair (or the pair given as arguments).
#include "ihex_file.h"
#include "ihex_parse.h"

#include "firmware_image.h"
#include "hex_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr double MIN_SECONDS = 1.0; // each figure is measured over at least this long

using bench_clock = std::chrono::steady_clock;

double seconds_since(bench_clock::time_point start)
{
    return std::chrono::duration<double>(bench_clock::now() - start).count();
}

// Runs one_run(first) again and again for at least MIN_SECONDS (first: whether it is the first
// run); the seconds one run takes, or a negative number as soon as a run fails.
template <class F>
double seconds_per_run(F &&one_run)
{
    long runs = 0;
    double elapsed = 0;
    bench_clock::time_point start = bench_clock::now();
    do {
        if (!one_run(runs == 0))
            return -1;
        ++runs;
        elapsed = seconds_since(start);
    } while (elapsed < MIN_SECONDS);
    return elapsed / static_cast<double>(runs);
}

bool bench_parse(const std::vector<unsigned char> &image, uint32_t record_len)
{
    // A flash image filled entirely with data, with an extended linear address record at
    // every 64 KiB.
    hex_layout layout;
    layout.record_bytes = record_len;
    layout.line_end = "\r\n";
    layout.linear_at_start = true;
    const std::string text = hex_text(image, layout);
    double per_run = seconds_per_run([&](bool first) {
        unsigned char *parsed = nullptr;
        unsigned char *map = nullptr;
        uint32_t end = 0;
        if (ihex_parse(text.data(), text.size(), &parsed, &map, FW_IMAGE_SIZE, FW_BLOCK_COUNT,
                       &end) != IHEX_OK) {
            puts("parse failed");
            return false;
        }
        bool same =
            !first || (memcmp(parsed, image.data(), FW_IMAGE_SIZE) == 0 && end == FW_IMAGE_SIZE);
        free(parsed);
        free(map);
        if (!same)
            puts("parsed image differs from the generated one");
        return same;
    });
    if (per_run < 0)
        return false;
    printf("parse %3u bytes/record: %zu bytes of text, %.3f ms per image, %.1f MB/s\n", record_len,
           text.size(), per_run * 1e3, static_cast<double>(text.size()) / per_run / 1e6);
    return true;
}

bool bench_pair(const char *data_path, const char *eep_path)
{
    uint32_t fw_len = 0;
    uint32_t eep_len = 0;
    double per_run = seconds_per_run([&](bool) {
        unsigned char *fw = nullptr;
        unsigned char *eep = nullptr;
        unsigned char *fw_map = nullptr;
        unsigned char *eep_map = nullptr;
        if (load_firmware_pair(data_path, eep_path, &fw, &eep, &fw_map, &eep_map, &fw_len,
                               &eep_len) != IHEX_LOAD_OK)
            return false;
        free(fw);
        free(eep);
        free(fw_map);
        free(eep_map);
        return true;
    });
    if (per_run < 0)
        return false;
    printf("load_firmware_pair %s + %s: fw_len 0x%X, eep_len 0x%X, %.1f us per pair\n", data_path,
           eep_path, fw_len, eep_len, per_run * 1e6);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string data_path = std::string(OKT_FIXTURE_DIR) + "/flash.hex";
    std::string eep_path = std::string(OKT_FIXTURE_DIR) + "/eeprom.hex";
    if (argc == 3) {
        data_path = argv[1];
        eep_path = argv[2];
    } else if (argc != 1) {
        printf("usage: %s [flash.hex eeprom.hex]\n", argv[0]);
        return 2;
    }

    std::vector<unsigned char> image(FW_IMAGE_SIZE);
    uint32_t x = 0x12345678; // fixed xorshift seed: the same text every run
    for (unsigned char &b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x);
    }

    bool ok = bench_parse(image, 16) && bench_parse(image, 32) &&
              bench_pair(data_path.c_str(), eep_path.c_str());
    return ok ? 0 : 1;
}
