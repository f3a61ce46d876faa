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

} // namespace

int main(int argc, char **argv)
{
    int rounds = 10;
    if (argc > 1) {
        char *end = nullptr;
        errno = 0;
        const long n = strtol(argv[1], &end, 10);
        if (end == argv[1] || *end || errno || n < 1 || n > INT_MAX) {
            fprintf(stderr, "usage: bench_pack [rounds]   (rounds: a positive number)\n");
            return 2;
        }
        rounds = static_cast<int>(n);
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

    // The flash bytes a version-3 PACK compresses.
    unsigned char *bufs[4] = {};
    uint32_t fw_len = 0;
    uint32_t eep_len = 0;
    if (load_firmware_pair(flash.c_str(), eeprom.c_str(), &bufs[0], &bufs[1], &bufs[2], &bufs[3],
                           &fw_len, &eep_len) != IHEX_LOAD_OK)
        return 1;
    FILE *f = fopen(raw.c_str(), "wb");
    if (!f || fwrite(bufs[0], 1, fw_len, f) != fw_len || fclose(f) != 0)
        return 1;
    for (unsigned char *b : bufs)
        free(b);

    // Packing prints its report; keep it out of the figures.
    fflush(stdout);
    int saved_stdout = dup(1);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    auto start = bench_clock::now();
    for (int i = 0; i < rounds; ++i)
        if (pack_write_v3(pack.c_str(), flash.c_str(), eeprom.c_str()) != PACK_WRITE_OK)
            return 1;
    double pack_s = seconds_since(start) / rounds;
    fflush(stdout);
    dup2(saved_stdout, 1);
    close(null_fd);

    const std::string bz_out = dir + "/flash.bz2";
    const char *bzip2_argv[] = {"bzip2", "-9", "-c", raw.c_str(), nullptr};
    start = bench_clock::now();
    for (int i = 0; i < rounds; ++i)
        if (!run_to(bzip2_argv, bz_out.c_str()))
            return 1;
    double bzip2_s = seconds_since(start) / rounds;

    // Reading the PACK back: what the updater does before it opens the port.
    int fd = open(pack.c_str(), O_RDONLY);
    unsigned char head_bytes[PACK_HEAD_SIZE];
    if (fd < 0 || read(fd, head_bytes, sizeof head_bytes) != static_cast<ssize_t>(PACK_HEAD_SIZE))
        return 1;
    pack_head head;
    pack_head_decode(head_bytes, &head);
    dup2(open("/dev/null", O_WRONLY), 1);
    std::size_t base = heap_now;
    heap_peak = heap_now;
    const pack_decode_result rc = pack_read(fd, &head, &bufs[0], &bufs[1], &bufs[2], &bufs[3]);
    std::size_t read_peak = heap_peak - base;
    fflush(stdout);
    dup2(saved_stdout, 1);
    close(fd);
    if (rc != PACK_DECODE_OK)
        return 1;
    for (unsigned char *b : bufs)
        free(b);

    printf("flash bytes packed:        %u (compressed to %u)\n", static_cast<unsigned>(fw_len),
           static_cast<unsigned>(head.fw_size));
    printf("pack_write_v3 per run:     %.3f ms (HEX parse, compression and file write)\n",
           pack_s * 1e3);
    printf("bzip2 -9 per run:          %.3f ms (process start, compression and file write)\n",
           bzip2_s * 1e3);
    printf("time ratio pack/bzip2:     %.2f (target <= 1.1)\n", pack_s / bzip2_s);
    printf("peak heap of pack_read V3: %zu bytes = %.2f MiB (target <= 3 MiB)\n", read_peak,
           read_peak / 1048576.0);

    unlink(pack.c_str());
    unlink(raw.c_str());
    unlink(bz_out.c_str());
    rmdir(dir.c_str());
    return 0;
}
