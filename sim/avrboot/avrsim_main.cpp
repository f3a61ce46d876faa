// avr-bootsim: a simulated AVR boot loader on a pseudo-terminal. Prints the slave device on its
// first line, serves one update, prints a summary and saves what was asked for.
#include "avr_bootsim.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <memory>
#include <string>

namespace
{

enum exit_code {
    EXIT_FINISHED = 0,   // "#PGMEND\r" was answered
    EXIT_UNFINISHED = 1, // serving ended without it (quiet, hang-up rule, signal)
    EXIT_USAGE = 2,
    EXIT_SYSTEM = 3, // no pseudo-terminal, or an output file could not be written
};

const char USAGE[] =
    "usage: avr-bootsim [options]\n"
    "Simulates the AVR boot loader on a new pseudo-terminal. The first line printed is the\n"
    "device to hand to the updater; after one update (or a quiet time-out) a summary follows.\n"
    "\n"
    "  --ident L,D,D,D,YY,MM,DD,HWID  installed firmware identification (letter, three digits,\n"
    "                                 build date, hardware id of up to 8 characters)\n"
    "  --ident-hex HEX32              the same as 16 bytes in hexadecimal (default: all FF)\n"
    "  --baud N                       pace both directions at N baud, 10 bits a byte (default:\n"
    "                                 no pacing)\n"
    "  --page-time MS                 programming time per block before its answer, may have\n"
    "                                 decimals (e.g. 4.5)\n"
    "  --data-timeout MS              gap that ends block data with a DTO answer (default 1000)\n"
    "  --quiet-timeout MS             end after this long without traffic, 0 never (default\n"
    "                                 60000)\n"
    "  --fault RULE                   fault rule, repeatable; the first matching rule applies.\n"
    "                                 RULE is MATCH:KIND[=ARG]; MATCH combines CMD (command\n"
    "                                 prefix, '#' optional: BLK005, EBK, PGMEND), @N (N-th\n"
    "                                 arrival of that exact command), @N-M, @N- and xE (E-th\n"
    "                                 command overall); KIND is silent, short=N, garbage[=TEXT],\n"
    "                                 err, dto, late=MS, extra=N[,TEXT] or hangup.\n"
    "                                 Examples: BLK005@1-2:err  EBK@1:dto  x3:hangup\n"
    "  --flash-fill HH                initial flash byte (default FF)\n"
    "  --eeprom-fill HH               initial EEPROM byte (default FF)\n"
    "  --save-flash FILE              write the 128 KiB flash to FILE at the end\n"
    "  --save-eeprom FILE             write the 4 KiB EEPROM to FILE at the end\n"
    "  --log FILE                     write a text log of every exchange to FILE\n"
    "  --rx-dump FILE                 write every byte received, raw, to FILE\n"
    "  -h, --help                     show this text\n"
    "\n"
    "Exit status: 0 the end command was answered, 1 serving ended without it, 2 usage error,\n"
    "3 no pseudo-terminal or an output file could not be written.\n";

avrsim *g_sim = nullptr; // for the signal handler only

void on_signal(int)
{
    if (g_sim)
        avrsim_stop(g_sim);
}

bool parse_uint(const char *s, unsigned long max, unsigned long *v)
{
    char *end = nullptr;
    errno = 0;
    unsigned long n = strtoul(s, &end, 10);
    if (errno != 0 || end == s || *end || n > max || s[0] == '-')
        return false;
    *v = n;
    return true;
}

bool parse_byte_hex(const char *s, unsigned char *b)
{
    char *end = nullptr;
    unsigned long n = strtoul(s, &end, 16);
    if (end == s || *end || n > 0xFF || s[0] == '-')
        return false;
    *b = (unsigned char)n;
    return true;
}

bool parse_ident_hex(const char *s, unsigned char *ident)
{
    if (strlen(s) != 2 * AVRSIM_IDENT_SIZE)
        return false;
    for (std::size_t i = 0; i < AVRSIM_IDENT_SIZE; ++i) {
        char pair[3] = {s[2 * i], s[2 * i + 1], 0};
        if (!parse_byte_hex(pair, &ident[i]))
            return false;
    }
    return true;
}

// L,D,D,D,YY,MM,DD,HWID: the letter is any one character; each number may have leading blanks
// and a sign and must fit a byte, signed or not; the hardware id is all after the seventh comma.
bool parse_ident_fields(const char *s, unsigned char *ident)
{
    if (!s[0] || s[1] != ',')
        return false;
    const char letter = s[0];
    int f[6];
    const char *p = s + 2;
    for (int &v : f) {
        char *end = nullptr;
        const long n = strtol(p, &end, 10);
        if (end == p || *end != ',' || n < -128 || n > 255)
            return false;
        v = static_cast<int>(n);
        p = end + 1;
    }
    const char *hw = p;
    if (strlen(hw) > 8)
        return false;
    avrsim_make_ident(ident, letter, f[0], f[1], f[2], f[3], f[4], f[5], hw);
    return true;
}

void print_escaped(FILE *f, const unsigned char *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] == '\r')
            fputs("\\r", f);
        else if (p[i] >= 0x20 && p[i] < 0x7F)
            fputc(p[i], f);
        else
            fprintf(f, "\\x%02X", p[i]);
    }
}

int write_log(const char *path, const avrsim *sim)
{
    FILE *f = fopen(path, "w");
    if (!f)
        return -1;
    for (const avrsim_exchange &ex : sim->exchanges) {
        fprintf(f, "%5d ", ex.number);
        print_escaped(f, reinterpret_cast<const unsigned char *>(ex.command.data()),
                      ex.command.size());
        fprintf(f, " attempt %d, %zu bytes in, fault %s, answer \"", ex.attempt, ex.received.size(),
                avrsim_fault_name(ex.fault));
        print_escaped(f, ex.answer.data(), ex.answer.size());
        fputs("\"\n", f);
    }
    for (const avrsim_violation &v : sim->violations)
        fprintf(f, "violation at byte %zu: %s\n", v.offset, v.what.c_str());
    return fclose(f) == 0 ? 0 : -1;
}

void print_summary(const avrsim *sim, avrsim_end end)
{
    int flash_stored = 0;
    int eeprom_stored = 0;
    for (const avrsim_block_write &w : sim->writes)
        ++(w.memory == AVRSIM_FLASH ? flash_stored : eeprom_stored);
    printf("avr-bootsim: %s\n", avrsim_end_name(end));
    printf("exchanges %zu: prepare %d, version %d, flash blocks %d, eeprom blocks %d, end %d\n",
           sim->exchanges.size(), sim->prepare_count, sim->version_count, sim->flash_block_count,
           sim->eeprom_block_count, sim->end_count);
    printf("stored blocks: flash %d, eeprom %d\n", flash_stored, eeprom_stored);
    printf("stamp check: %s\n", sim->verdict == AVRSIM_VERDICT_OK    ? "match"
                                : sim->verdict == AVRSIM_VERDICT_ERR ? "mismatch"
                                                                     : "not asked");
    printf("protocol violations: %zu\n", sim->violations.size());
    for (const avrsim_violation &v : sim->violations)
        printf("  at byte %zu: %s\n", v.offset, v.what.c_str());
    fflush(stdout);
}

struct outputs {
    const char *save_flash = nullptr;
    const char *save_eeprom = nullptr;
    const char *log = nullptr;
    const char *rx_dump = nullptr;
};

enum option_id {
    OPT_IDENT = 256,
    OPT_IDENT_HEX,
    OPT_BAUD,
    OPT_PAGE_TIME,
    OPT_DATA_TIMEOUT,
    OPT_QUIET_TIMEOUT,
    OPT_FAULT,
    OPT_FLASH_FILL,
    OPT_EEPROM_FILL,
    OPT_SAVE_FLASH,
    OPT_SAVE_EEPROM,
    OPT_LOG,
    OPT_RX_DUMP,
};

// Returns 0, or EXIT_USAGE after printing why.
int parse_args(int argc, char **argv, avrsim_config *cfg, outputs *out, bool *help)
{
    static const struct option options[] = {
        {"ident", required_argument, nullptr, OPT_IDENT},
        {"ident-hex", required_argument, nullptr, OPT_IDENT_HEX},
        {"baud", required_argument, nullptr, OPT_BAUD},
        {"page-time", required_argument, nullptr, OPT_PAGE_TIME},
        {"data-timeout", required_argument, nullptr, OPT_DATA_TIMEOUT},
        {"quiet-timeout", required_argument, nullptr, OPT_QUIET_TIMEOUT},
        {"fault", required_argument, nullptr, OPT_FAULT},
        {"flash-fill", required_argument, nullptr, OPT_FLASH_FILL},
        {"eeprom-fill", required_argument, nullptr, OPT_EEPROM_FILL},
        {"save-flash", required_argument, nullptr, OPT_SAVE_FLASH},
        {"save-eeprom", required_argument, nullptr, OPT_SAVE_EEPROM},
        {"log", required_argument, nullptr, OPT_LOG},
        {"rx-dump", required_argument, nullptr, OPT_RX_DUMP},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    constexpr unsigned long MAX_BAUD = 10000000;
    constexpr unsigned long MAX_MS = 24UL * 3600 * 1000;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
        unsigned long n = 0;
        bool ok = true;
        std::string why;
        switch (c) {
        case 'h':
            *help = true;
            return 0;
        case OPT_IDENT:
            ok = parse_ident_fields(optarg, cfg->fw_ident);
            break;
        case OPT_IDENT_HEX:
            ok = parse_ident_hex(optarg, cfg->fw_ident);
            break;
        case OPT_BAUD:
            ok = parse_uint(optarg, MAX_BAUD, &n);
            cfg->baud = (unsigned)n;
            break;
        case OPT_PAGE_TIME: {
            char *end = nullptr;
            double ms = strtod(optarg, &end);
            ok = end != optarg && !*end && ms >= 0 && ms <= (double)MAX_MS;
            cfg->page_time_us = ok ? static_cast<unsigned>(std::llround(ms * 1000.0)) : 0;
            break;
        }
        case OPT_DATA_TIMEOUT:
            ok = parse_uint(optarg, MAX_MS, &n) && n > 0;
            cfg->data_timeout_ms = (unsigned)n;
            break;
        case OPT_QUIET_TIMEOUT:
            ok = parse_uint(optarg, MAX_MS, &n);
            cfg->quiet_timeout_ms = (unsigned)n;
            break;
        case OPT_FAULT: {
            avrsim_rule rule;
            ok = avrsim_parse_rule(optarg, &rule, &why) == 0;
            if (ok)
                cfg->rules.push_back(rule);
            break;
        }
        case OPT_FLASH_FILL:
            ok = parse_byte_hex(optarg, &cfg->flash_fill);
            break;
        case OPT_EEPROM_FILL:
            ok = parse_byte_hex(optarg, &cfg->eeprom_fill);
            break;
        case OPT_SAVE_FLASH:
            out->save_flash = optarg;
            break;
        case OPT_SAVE_EEPROM:
            out->save_eeprom = optarg;
            break;
        case OPT_LOG:
            out->log = optarg;
            break;
        case OPT_RX_DUMP:
            out->rx_dump = optarg;
            break;
        default:
            fprintf(stderr, "avr-bootsim: unknown or incomplete option '%s'\n", argv[optind - 1]);
            return EXIT_USAGE;
        }
        if (!ok) {
            fprintf(stderr, "avr-bootsim: bad option value '%s'%s%s\n", optarg,
                    why.empty() ? "" : ": ", why.c_str());
            return EXIT_USAGE;
        }
    }
    if (optind != argc) {
        fprintf(stderr, "avr-bootsim: unexpected argument '%s'\n", argv[optind]);
        return EXIT_USAGE;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    avrsim_config cfg = avrsim_default_config();
    outputs out;
    bool help = false;
    int rc = parse_args(argc, argv, &cfg, &out, &help);
    if (rc != 0) {
        fputs(USAGE, stderr);
        return rc;
    }
    if (help) {
        fputs(USAGE, stdout);
        return 0;
    }

    std::unique_ptr<avrsim> sim = std::make_unique<avrsim>();
    if (avrsim_open(sim.get(), cfg) != 0) {
        fprintf(stderr, "avr-bootsim: cannot create a pseudo-terminal: %s\n", strerror(errno));
        return EXIT_SYSTEM;
    }
    g_sim = sim.get();
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    signal(SIGPIPE, SIG_IGN);

    printf("%s\n", sim->slave_path);
    fflush(stdout);
    avrsim_end end = avrsim_serve(sim.get());
    if (end == AVRSIM_END_FINISHED)
        avrsim_drain(sim.get(), AVRSIM_DEFAULT_DRAIN_LIMIT_MS);
    print_summary(sim.get(), end);

    rc = end == AVRSIM_END_FINISHED ? EXIT_FINISHED : EXIT_UNFINISHED;
    const struct {
        const char *path;
        const unsigned char *data;
        std::size_t len;
    } saves[] = {
        {out.save_flash, sim->flash, AVRSIM_FLASH_SIZE},
        {out.save_eeprom, sim->eeprom, AVRSIM_EEPROM_SIZE},
        {out.rx_dump, sim->rx_log.data(), sim->rx_log.size()},
    };
    for (const auto &s : saves) {
        if (s.path && avrsim_save(s.path, s.data, s.len) != 0) {
            fprintf(stderr, "avr-bootsim: cannot write '%s'\n", s.path);
            rc = EXIT_SYSTEM;
        }
    }
    if (out.log && write_log(out.log, sim.get()) != 0) {
        fprintf(stderr, "avr-bootsim: cannot write '%s'\n", out.log);
        rc = EXIT_SYSTEM;
    }
    g_sim = nullptr;
    return rc;
}
