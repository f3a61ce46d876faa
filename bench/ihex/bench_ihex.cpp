// Prints the HEX parser's throughput over a whole 128 KiB flash image and the time that
// load_firmware_pair takes for the avr-gcc built fixture pair (or the pair given as arguments).
#include "ihex_file.h"
#include "ihex_parse.h"

#include "firmware_image.h"

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

void append_record(std::string *text, uint32_t type, uint32_t addr, const unsigned char *data,
                   uint32_t len)
{
    char buf[2 * 255 + 16];
    int n = snprintf(buf, sizeof buf, ":%02X%04X%02X", len, addr & 0xFFFF, type);
    uint32_t sum = len + (addr >> 8 & 0xFF) + (addr & 0xFF) + type;
    for (uint32_t i = 0; i < len; ++i) {
        n += snprintf(buf + n, sizeof buf - n, "%02X", data[i]);
        sum += data[i];
    }
    snprintf(buf + n, sizeof buf - n, "%02X\r\n", -sum & 0xFF);
    text->append(buf);
}

// The HEX text of a flash image filled entirely with data, in records of record_len bytes,
// with an extended linear address record at every 64 KiB.
std::string make_flash_text(const std::vector<unsigned char> &image, uint32_t record_len)
{
    std::string text;
    for (uint32_t addr = 0; addr < image.size(); addr += record_len) {
        if (addr % 0x10000 == 0) {
            const unsigned char upper[2] = {static_cast<unsigned char>(addr >> 24),
                                            static_cast<unsigned char>(addr >> 16)};
            append_record(&text, 4, 0, upper, 2);
        }
        append_record(&text, 0, addr, image.data() + addr, record_len);
    }
    append_record(&text, 1, 0, nullptr, 0);
    return text;
}

double seconds_since(bench_clock::time_point start)
{
    return std::chrono::duration<double>(bench_clock::now() - start).count();
}

bool bench_parse(const std::vector<unsigned char> &image, uint32_t record_len)
{
    const std::string text = make_flash_text(image, record_len);
    long runs = 0;
    double elapsed = 0;
    bench_clock::time_point start = bench_clock::now();
    do {
        unsigned char *parsed = nullptr;
        unsigned char *map = nullptr;
        uint32_t end = 0;
        if (ihex_parse(text.data(), text.size(), &parsed, &map, FW_IMAGE_SIZE, FW_BLOCK_COUNT,
                       &end) != IHEX_OK) {
            puts("parse failed");
            return false;
        }
        bool same =
            runs > 0 || (memcmp(parsed, image.data(), FW_IMAGE_SIZE) == 0 && end == FW_IMAGE_SIZE);
        free(parsed);
        free(map);
        if (!same) {
            puts("parsed image differs from the generated one");
            return false;
        }
        ++runs;
        elapsed = seconds_since(start);
    } while (elapsed < MIN_SECONDS);

    double per_run = elapsed / static_cast<double>(runs);
    printf("parse %3u bytes/record: %zu bytes of text, %.3f ms per image, %.1f MB/s\n", record_len,
           text.size(), per_run * 1e3, static_cast<double>(text.size()) / per_run / 1e6);
    return true;
}

bool bench_pair(const char *data_path, const char *eep_path)
{
    long runs = 0;
    double elapsed = 0;
    uint32_t fw_len = 0;
    uint32_t eep_len = 0;
    bench_clock::time_point start = bench_clock::now();
    do {
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
        ++runs;
        elapsed = seconds_since(start);
    } while (elapsed < MIN_SECONDS);

    printf("load_firmware_pair %s + %s: fw_len 0x%X, eep_len 0x%X, %.1f us per pair\n", data_path,
           eep_path, fw_len, eep_len, elapsed / static_cast<double>(runs) * 1e6);
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
