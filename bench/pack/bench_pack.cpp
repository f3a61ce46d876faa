// bench_pack [rounds]: times version-3 packing of the fixture pair against `bzip2 -9` over the
// same flash bytes, and measures the peak heap of reading the resulting PACK file back as an
// update does. Prints figures; targets: time ratio <= 1.1, peak heap <= 3 MiB.
#include "firmware_image.h"
#include "ihex_file.h"
#include "pack_format.h"
#include "pack_read.h"
#include "pack_write.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Heap accounting: every allocation of the process, libbz2's included, passes through these.
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void __libc_free(void *);

namespace
{

std::size_t heap_now = 0;  // bytes, usable sizes of live blocks
std::size_t heap_peak = 0; // bytes

void *counted(void *p)
{
    if (p) {
        heap_now += malloc_usable_size(p);
        if (heap_now > heap_peak)
            heap_peak = heap_now;
    }
    return p;
}

void uncount(void *p)
{
    if (p)
        heap_now -= malloc_usable_size(p);
}

} // namespace

extern "C" void *malloc(size_t n)
{
    return counted(__libc_malloc(n));
}

extern "C" void *calloc(size_t n, size_t m)
{
    return counted(__libc_calloc(n, m));
}

extern "C" void *realloc(void *p, size_t n)
{
    uncount(p);
    void *q = __libc_realloc(p, n);
    if (!q && n != 0 && p)
        heap_now += malloc_usable_size(p); // the old block is still live
    return counted(q);
}

extern "C" void free(void *p)
{
    uncount(p);
    __libc_free(p);
}

namespace
{

using bench_clock = std::chrono::steady_clock;

double seconds_since(bench_clock::time_point start)
{
    return std::chrono::duration<double>(bench_clock::now() - start).count();
}

// Runs argv with stdout sent to out_path; true when it exits with 0.
bool run_to(const char *const argv[], const char *out_path)
{
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0)
            _exit(127);
        execvp(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Sends stdout to /dev/null, so that packing's report stays out of the figures; returns the
// saved stdout for unquiet(), -1 when it cannot.
int quiet()
{
    fflush(stdout);
    const int saved = dup(1);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved < 0 || null_fd < 0 || dup2(null_fd, 1) < 0) {
        if (saved >= 0)
            close(saved);
        if (null_fd >= 0)
            close(null_fd);
        return -1;
    }
    close(null_fd);
    return saved;
}

void unquiet(int saved)
{
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

// The flash bytes of the pair, the bytes a version-3 PACK compresses, written to raw_path;
// their count in *fw_len.
bool write_flash_bytes(const std::string &flash, const std::string &eeprom,
                       const std::string &raw_path, uint32_t *fw_len)
{
    unsigned char *bufs[4] = {};
    uint32_t eep_len = 0;
    if (load_firmware_pair(flash.c_str(), eeprom.c_str(), &bufs[0], &bufs[1], &bufs[2], &bufs[3],
                           fw_len, &eep_len) != IHEX_LOAD_OK)
        return false;
    FILE *f = fopen(raw_path.c_str(), "wb");
    bool ok = f && fwrite(bufs[0], 1, *fw_len, f) == *fw_len;
    if (f && fclose(f) != 0)
        ok = false;
    for (unsigned char *b : bufs)
        free(b);
    return ok;
}

// Seconds per run of pack_write_v3 over `rounds` runs; -1 when one fails.
double pack_seconds(const std::string &pack, const std::string &flash, const std::string &eeprom,
                    int rounds)
{
    const int saved = quiet();
    if (saved < 0)
        return -1;
    const auto start = bench_clock::now();
    bool ok = true;
    for (int i = 0; i < rounds && ok; ++i)
        ok = pack_write_v3(pack.c_str(), flash.c_str(), eeprom.c_str()) == PACK_WRITE_OK;
    const double seconds = seconds_since(start) / rounds;
    unquiet(saved);
    return ok ? seconds : -1;
}

// Seconds per run of `bzip2 -9` over raw_path; -1 when one fails.
double bzip2_seconds(const std::string &raw_path, const std::string &out_path, int rounds)
{
    const char *argv[] = {"bzip2", "-9", "-c", raw_path.c_str(), nullptr};
    const auto start = bench_clock::now();
    for (int i = 0; i < rounds; ++i)
        if (!run_to(argv, out_path.c_str()))
            return -1;
    return seconds_since(start) / rounds;
}

// Reads the PACK back as the updater does before it opens the port; the peak heap of pack_read
// in *peak and the head in *head.
bool read_back(const std::string &pack, pack_head *head, std::size_t *peak)
{
    const int fd = open(pack.c_str(), O_RDONLY | O_CLOEXEC);
    unsigned char head_bytes[PACK_HEAD_SIZE];
    if (fd < 0 || read(fd, head_bytes, sizeof head_bytes) != static_cast<ssize_t>(PACK_HEAD_SIZE)) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    pack_head_decode(head_bytes, head);
    unsigned char *bufs[4] = {};
    const int saved = quiet();
    const std::size_t base = heap_now;
    heap_peak = heap_now;
    const pack_decode_result rc = pack_read(fd, head, &bufs[0], &bufs[1], &bufs[2], &bufs[3]);
    *peak = heap_peak - base;
    if (saved >= 0)
        unquiet(saved);
    close(fd);
    for (unsigned char *b : bufs)
        free(b);
    return rc == PACK_DECODE_OK;
}

bool parse_rounds(int argc, char **argv, int *rounds)
{
    if (argc < 2)
        return true;
    char *end = nullptr;
    errno = 0;
    const long n = strtol(argv[1], &end, 10);
    if (argc > 2 || end == argv[1] || *end || errno || n < 1 || n > INT_MAX)
        return false;
    *rounds = static_cast<int>(n);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = 10;
    if (!parse_rounds(argc, argv, &rounds)) {
        fprintf(stderr, "usage: bench_pack [rounds]   (rounds: a positive number)\n");
        return 2;
    }
    const std::string fixtures = OKT_FIXTURE_DIR;
    const std::string flash = fixtures + "/flash.hex";
    const std::string eeprom = fixtures + "/eeprom.hex";
    char dir_template[] = "/tmp/bench-pack-XXXXXX";
    if (!mkdtemp(dir_template))
        return 1;
    const std::string dir = dir_template;
    const std::string pack = dir + "/fw.pack";
    const std::string raw = dir + "/flash.raw";
    const std::string bz_out = dir + "/flash.bz2";

    uint32_t fw_len = 0;
    pack_head head;
    std::size_t read_peak = 0;
    double pack_s = -1;
    double bzip2_s = -1;
    const bool ok = write_flash_bytes(flash, eeprom, raw, &fw_len) &&
                    (pack_s = pack_seconds(pack, flash, eeprom, rounds)) >= 0 &&
                    (bzip2_s = bzip2_seconds(raw, bz_out, rounds)) >= 0 &&
                    read_back(pack, &head, &read_peak);
    unlink(pack.c_str());
    unlink(raw.c_str());
    unlink(bz_out.c_str());
    rmdir(dir.c_str());
    if (!ok) {
        fprintf(stderr, "bench_pack: a step failed\n");
        return 1;
    }

    printf("flash bytes packed:        %u (compressed to %u)\n", static_cast<unsigned>(fw_len),
           static_cast<unsigned>(head.fw_size));
    printf("pack_write_v3 per run:     %.3f ms (HEX parse, compression and file write)\n",
           pack_s * 1e3);
    printf("bzip2 -9 per run:          %.3f ms (process start, compression and file write)\n",
           bzip2_s * 1e3);
    printf("time ratio pack/bzip2:     %.2f (target <= 1.1)\n", pack_s / bzip2_s);
    printf("peak heap of pack_read V3: %zu bytes = %.2f MiB (target <= 3 MiB)\n", read_peak,
           read_peak / 1048576.0);
    return 0;
}
