// The report of avr-fwinfo: the facts about a loaded firmware, the verdict and the exit code.
// fwinfo_text.h prints it for a person, fwinfo_json.h as JSON for scripts.
#pragma once

#include "fwinfo_facts.h"
#include "fwinfo_input.h"

#include <cstddef>
#include <cstdint>

// Exit codes of avr-fwinfo besides the updater's for an input that does not load (exit_status.h).
// 22 stays unused: scripts of earlier versions read it as "payloads unreadable", a case that
// cannot arise while each input is read once.
enum fwinfo_exit {
    FWINFO_OK = 0,
    FWINFO_USAGE = 1,
    FWINFO_STAMP_MISMATCH = 20,       // the stamp does not match the flash image to send
    FWINFO_FLASH_CKSUM_MISMATCH = 21, // a PACK's flash payload does not match its head
    FWINFO_HARDWARE_MISMATCH = 23,    // the firmware is not for the expected hardware
};

// The verdict of an input that loaded. A damaged file is reported as damaged whatever hardware it
// names; an input that does not load has no report, its verdict is the load failure.
enum fwinfo_verdict {
    VERDICT_OK,
    VERDICT_STAMP_WRAPPED, // the sum matches over a length of 64 KiB or more, of which the stamp
                           // keeps the low 16 bits: consistent, exit 0
    VERDICT_STAMP_DAMAGED, // the sum matches the image over no length the stamp can stand for
    VERDICT_FLASH_CKSUM,   // the stamp matches, the flash payload's checksum does not
    VERDICT_HARDWARE,      // consistent, but for other hardware than --expect-hwid names
};

struct hardware_check {
    const char *expected; // the text given with --expect-hwid; null when not asked
    bool matches;
};

struct fw_report {
    stamp_facts stamp;
    block_facts flash_blocks;
    block_facts eep_blocks;
    uint32_t line_bytes; // of a whole update
    std::size_t rate_count;
    long rates[MAX_BAUD_RATES];       // the updater's baud table, ascending
    uint32_t line_ms[MAX_BAUD_RATES]; // line time of the update at each rate
    hardware_check hardware;
    unsigned char hardware_id[HARDWARE_ID_LEN]; // the new firmware's
    fwinfo_verdict verdict;
};

// Works out the facts of a successfully loaded input; expected_hwid is the --expect-hwid text or
// null.
void build_report(const fw_input &in, const char *expected_hwid, fw_report *report);

int verdict_exit_code(fwinfo_verdict verdict);

// The verdict as one line of printable text without line end, into buf (size bytes, always
// terminated). The text's last line and the JSON's result message.
constexpr std::size_t VERDICT_TEXT_SIZE = 256;
void format_verdict(const fw_report &report, char *buf, std::size_t size);
// The same for an input that did not load with the loader's result `code`.
void format_load_failure(int code, char *buf, std::size_t size);

// The new firmware's identification (EEPROM bytes 0-15) as the updater's line shows it, with the
// letter and the 8 hardware id bytes in their shown form (shown_bytes.h):
// "New Firmware Data      : B103 Built on (DD.MM.YYYY) 14.06.2025 for Hardware OKT32-BB".
constexpr std::size_t IDENT_LINE_SIZE = 160;
void format_ident_line(const unsigned char *ident, char *buf, std::size_t size);
