#include "avrsim_args.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

const char AVRSIM_USAGE[] =
    "usage: avr-bootsim [options]\n"
    "Simulates the AVR boot loader on a new pseudo-terminal. The first line printed is the\n"
    "device to hand to the updater; a summary follows each session.\n"
    "\n"
    "A session is one update. It begins with the first byte the updater sends and ends when\n"
    "the end command (#PGMEND) has been answered, when the updater closes the device after\n"
    "sending something, or when a hang-up rule closes the line. A session waits for as long\n"
    "as nobody uses the line. The memories are kept from one session to the next. After a\n"
    "hang-up the next session gets a new pseudo-terminal, printed as \"device: PATH\" (--link\n"
    "follows it). Serving ends after the last session, after the quiet time-out (also while\n"
    "waiting for a session), or on SIGINT, SIGTERM or SIGHUP.\n"
    "\n"
    "  --link PATH                    make PATH a symbolic link to the device before serving\n"
    "                                 (an existing link is replaced in one step, anything else\n"
    "                                 is refused) and remove it at the end. A shell that\n"
    "                                 started it with & waits for it with\n"
    "                                 while kill -0 $! && [ ! -e PATH ]; do sleep 0.1; done\n"
    "  --sessions N                   serve N updates one after the other (default 1)\n"
    "  --flash FILE                   start with the flash from FILE, raw as --save-flash\n"
    "                                 writes it (a shorter file fills the start, the rest keeps\n"
    "                                 the fill byte)\n"
    "  --eeprom FILE                  start with the EEPROM from FILE, the same way\n"
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
    "                                 arrival of that exact command), @N-M, @N-, xE (E-th\n"
    "                                 command) and sN (N-th session only); arrivals and commands\n"
    "                                 are counted anew in each session. KIND is silent,\n"
    "                                 short=N, garbage[=TEXT], err, dto, late=MS,\n"
    "                                 extra=N[,TEXT] or hangup.\n"
    "                                 Examples: BLK005@1-2:err  EBK@1:dto  x3:hangup\n"
    "                                 s1BLK004:hangup\n"
    "  --flash-fill HH                initial flash byte (default FF)\n"
    "  --eeprom-fill HH               initial EEPROM byte (default FF)\n"
    "  --save-flash FILE              write the 128 KiB flash to FILE at the end\n"
    "  --save-eeprom FILE             write the 4 KiB EEPROM to FILE at the end\n"
    "  --log FILE                     write a text log of every exchange to FILE\n"
    "  --rx-dump FILE                 write every byte received, raw, to FILE\n"
    "  -h, --help                     show this text\n"
    "\n"
    "Exit status: 0 the last session ended with the end command answered, 1 serving ended\n"
    "otherwise (quiet time-out, hang-up rule, device closed, signal), 2 usage error, 3 no\n"
    "pseudo-terminal, a memory file unreadable or too long, the link not made, or an output\n"
    "file could not be written.\n";

namespace
{

constexpr unsigned long MAX_BAUD = 10000000;
constexpr unsigned long MAX_MS = 24UL * 3600 * 1000;
constexpr unsigned long MAX_SESSIONS = 1000000;

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
    OPT_LINK,
    OPT_SESSIONS,
    OPT_FLASH,
    OPT_EEPROM,
};

const struct option OPTIONS[] = {
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
    {"link", required_argument, nullptr, OPT_LINK},
    {"sessions", required_argument, nullptr, OPT_SESSIONS},
    {"flash", required_argument, nullptr, OPT_FLASH},
    {"eeprom", required_argument, nullptr, OPT_EEPROM},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// The page time in milliseconds, decimals allowed, as microseconds.
bool parse_page_time(const char *s, unsigned *us)
{
    char *end = nullptr;
    double ms = strtod(s, &end);
    bool ok = end != s && !*end && ms >= 0 && ms <= (double)MAX_MS;
    *us = ok ? static_cast<unsigned>(std::llround(ms * 1000.0)) : 0;
    return ok;
}

// The options that take a number. Returns false for a bad value.
bool apply_number(int id, const char *arg, avrsim_options *opts)
{
    avrsim_config *cfg = &opts->cfg;
    unsigned long n = 0;
    bool ok = true;
    switch (id) {
    case OPT_SESSIONS:
        ok = parse_uint(arg, MAX_SESSIONS, &n) && n > 0;
        opts->sessions = (int)n;
        break;
    case OPT_BAUD:
        ok = parse_uint(arg, MAX_BAUD, &n);
        cfg->baud = (unsigned)n;
        break;
    case OPT_PAGE_TIME:
        ok = parse_page_time(arg, &cfg->page_time_us);
        break;
    case OPT_DATA_TIMEOUT:
        ok = parse_uint(arg, MAX_MS, &n) && n > 0;
        cfg->data_timeout_ms = (unsigned)n;
        break;
    case OPT_QUIET_TIMEOUT:
        ok = parse_uint(arg, MAX_MS, &n);
        cfg->quiet_timeout_ms = (unsigned)n;
        break;
    default:
        break;
    }
    return ok;
}

// The options that name a file. Returns false when `id` is none of them.
bool apply_file(int id, const char *arg, avrsim_files *files)
{
    const char **slot = nullptr;
    switch (id) {
    case OPT_FLASH:
        slot = &files->load_flash;
        break;
    case OPT_EEPROM:
        slot = &files->load_eeprom;
        break;
    case OPT_LINK:
        slot = &files->link;
        break;
    case OPT_SAVE_FLASH:
        slot = &files->save_flash;
        break;
    case OPT_SAVE_EEPROM:
        slot = &files->save_eeprom;
        break;
    case OPT_LOG:
        slot = &files->log;
        break;
    case OPT_RX_DUMP:
        slot = &files->rx_dump;
        break;
    default:
        return false;
    }
    *slot = arg;
    return true;
}

// One option with its argument. Returns false for a bad value (with a reason in *why when there
// is more to say than the value).
bool apply_option(int id, const char *arg, avrsim_options *opts, std::string *why)
{
    avrsim_config *cfg = &opts->cfg;
    avrsim_rule rule;
    switch (id) {
    case OPT_IDENT:
        return parse_ident_fields(arg, cfg->fw_ident);
    case OPT_IDENT_HEX:
        return parse_ident_hex(arg, cfg->fw_ident);
    case OPT_FAULT:
        if (avrsim_parse_rule(arg, &rule, why) != 0)
            return false;
        cfg->rules.push_back(rule);
        return true;
    case OPT_FLASH_FILL:
        return parse_byte_hex(arg, &cfg->flash_fill);
    case OPT_EEPROM_FILL:
        return parse_byte_hex(arg, &cfg->eeprom_fill);
    default:
        return apply_file(id, arg, &opts->files) || apply_number(id, arg, opts);
    }
}

bool known_option(int id)
{
    for (const struct option &o : OPTIONS)
        if (o.name && o.val == id)
            return true;
    return false;
}

} // namespace

int avrsim_parse_args(int argc, char **argv, avrsim_options *opts)
{
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "h", OPTIONS, nullptr)) != -1) {
        if (c == 'h') {
            opts->help = true;
            return 0;
        }
        if (!known_option(c)) {
            fprintf(stderr, "avr-bootsim: unknown or incomplete option '%s'\n", argv[optind - 1]);
            return AVRSIM_EXIT_USAGE;
        }
        std::string why;
        if (!apply_option(c, optarg, opts, &why)) {
            fprintf(stderr, "avr-bootsim: bad option value '%s'%s%s\n", optarg,
                    why.empty() ? "" : ": ", why.c_str());
            return AVRSIM_EXIT_USAGE;
        }
    }
    if (optind != argc) {
        fprintf(stderr, "avr-bootsim: unexpected argument '%s'\n", argv[optind]);
        return AVRSIM_EXIT_USAGE;
    }
    return 0;
}
