#include "idrec_commands.h"

#include "idrec_facts.h"
#include "idrec_file.h"
#include "idrec_json.h"
#include "idrec_message.h"
#include "idrec_module.h"
#include "idrec_text.h"
#include "owners.h"
#include "shown_bytes.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace
{

constexpr std::size_t WRITE_MESSAGE_SIZE = 512; // bytes of the message a write ends with

// The state of one write run, what its JSON line reports.
struct write_run {
    const idrec_args &args;
    const char *word;
    write_summary summary;
    char message[WRITE_MESSAGE_SIZE];
};

idrec_outcome finish(write_run &w, idrec_outcome outcome, write_result result, const char *format,
                     ...) __attribute__((format(printf, 4, 5)));

// Ends the run: the message goes to standard error for a failure and to standard output for the
// success line without --json; with --json the JSON line follows.
idrec_outcome finish(write_run &w, idrec_outcome outcome, write_result result, const char *format,
                     ...)
{
    va_list va;
    va_start(va, format);
    vsnprintf(w.message, sizeof w.message, format, va);
    va_end(va);
    if (outcome != IDREC_DONE)
        idrec_message("%s\n", w.message);
    else if (!w.args.json)
        printf("%s\n", w.message);
    w.summary.result = result;
    w.summary.message = w.message;
    w.summary.when = time(nullptr);
    w.summary.exit_status = idrec_exit_status(outcome);
    if (w.args.json)
        print_write_json(w.summary);
    return outcome;
}

void shown(const void *bytes, std::size_t n, char *out, std::size_t size)
{
    out[0] = '\0';
    append_shown(out, size, bytes, n);
}

// The guards: true when the module may be written; otherwise the run is finished.
bool guards_pass(write_run &w, const module_report &old, idrec_outcome *outcome)
{
    const idrec_args &a = w.args;
    char state[192];
    describe_module_status(old, state, sizeof state);
    if (old.status == MODULE_NO_BUS) {
        *outcome = finish(w, IDREC_DEVICE, WRITE_RESULT_DEVICE_ERROR, "%s: %s; nothing written",
                          w.word, state);
        return false;
    }
    if (a.force)
        return true;
    if (old.status != MODULE_READ) {
        *outcome = finish(w, IDREC_REFUSED, WRITE_RESULT_REFUSED,
                          "%s: the module is %s; nothing written (--force writes all the same)",
                          w.word, state);
        return false;
    }
    const bool programmed = old.facts.state == RECORD_PROGRAMMED;
    char serial[OKT_EEP_TEXT_FIELD_SIZE * SHOWN_BYTE_MAX + 1];
    shown(old.facts.serial.bytes, old.facts.serial.length, serial, sizeof serial);
    if (a.expect_blank && programmed) {
        *outcome = finish(w, IDREC_REFUSED, WRITE_RESULT_REFUSED,
                          "%s: --expect-blank, but the module is programmed (serial \"%s\"); "
                          "nothing written",
                          w.word, serial);
        return false;
    }
    if (a.expect_serial) {
        char expected[OKT_EEP_TEXT_FIELD_SIZE * SHOWN_BYTE_MAX + 1];
        shown(a.expect_serial, strnlen(a.expect_serial, OKT_EEP_TEXT_FIELD_SIZE), expected,
              sizeof expected);
        const bool same =
            programmed && strlen(a.expect_serial) == old.facts.serial.length &&
            memcmp(a.expect_serial, old.facts.serial.bytes, old.facts.serial.length) == 0;
        if (!same && programmed) {
            *outcome = finish(w, IDREC_REFUSED, WRITE_RESULT_REFUSED,
                              "%s: --expect-serial \"%s\", but the module's serial number is "
                              "\"%s\"; nothing written",
                              w.word, expected, serial);
            return false;
        }
        if (!same) {
            *outcome = finish(w, IDREC_REFUSED, WRITE_RESULT_REFUSED,
                              "%s: --expect-serial \"%s\", but the module is %s; nothing written",
                              w.word, expected, state);
            return false;
        }
        return true;
    }
    if (programmed) {
        *outcome = finish(w, IDREC_REFUSED, WRITE_RESULT_REFUSED,
                          "%s: the module is programmed (serial \"%s\"); nothing written "
                          "(--expect-serial \"%s\" or --force writes over it)",
                          w.word, serial, serial);
        return false;
    }
    return true;
}

bool same_file(const char *a, const char *b)
{
    struct stat sa;
    struct stat sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The outcome of the library's write, reported.
idrec_outcome report_write(write_run &w, const okt_eep_write_report &r,
                           const okt_eep_modinfo &entry, const module_report &old)
{
    char backup_note[256] = "";
    if (w.summary.backup_path) {
        char path[200];
        shown_path(w.summary.backup_path, path, sizeof path);
        snprintf(backup_note, sizeof backup_note, "; the backup %s holds the old record", path);
    }
    switch (r.result) {
    case OKT_EEP_WRITE_VERIFIED: {
        char serial[OKT_EEP_TEXT_FIELD_SIZE * SHOWN_BYTE_MAX + 1];
        shown(w.summary.new_record->serial.bytes, w.summary.new_record->serial.length, serial,
              sizeof serial);
        char was[192];
        describe_module_status(old, was, sizeof was);
        if (old.status == MODULE_READ && old.facts.state == RECORD_PROGRAMMED) {
            char old_serial[OKT_EEP_TEXT_FIELD_SIZE * SHOWN_BYTE_MAX + 1];
            shown(old.facts.serial.bytes, old.facts.serial.length, old_serial, sizeof old_serial);
            snprintf(was, sizeof was, "programmed, serial \"%s\"", old_serial);
        }
        return finish(w, IDREC_DONE, WRITE_RESULT_VERIFIED,
                      "%s: written and verified: serial \"%s\" (was: %s)", w.word, serial, was);
    }
    case OKT_EEP_WRITE_BUS_NOT_OPEN:
        return finish(w, IDREC_DEVICE, WRITE_RESULT_DEVICE_ERROR,
                      "%s: cannot open %s: %s; nothing written", w.word,
                      okt_eep_bus_device(entry.bus), strerror(errno));
    case OKT_EEP_WRITE_NOT_SELECTED:
        return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_WRITE_FAILED,
                      "%s: the module cannot be selected (held by a kernel driver?); nothing "
                      "written",
                      w.word);
    case OKT_EEP_WRITE_FAILED:
        w.summary.failed_at = r.offset;
        if (r.offset == 0)
            return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_WRITE_FAILED,
                          "%s: the write failed at offset 0; the module kept its record", w.word);
        return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_WRITE_FAILED,
                      "%s: the write broke off at offset %d: bytes 0-%d are new, %d-127 old%s",
                      w.word, r.offset, r.offset - 1, r.offset, backup_note);
    case OKT_EEP_WRITE_NOT_READ_BACK:
        return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_VERIFY_FAILED,
                      "%s: all 128 bytes written, but they cannot be read back: not verified%s",
                      w.word, backup_note);
    case OKT_EEP_WRITE_DIFFERS:
        w.summary.first_difference = r.offset;
        return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_VERIFY_FAILED,
                      "%s: verify failed at offset %d: wrote 0x%02x, read back 0x%02x (is the "
                      "EEPROM write-protected?)%s",
                      w.word, r.offset, r.wrote, r.read_back, backup_note);
    case OKT_EEP_WRITE_NO_ENTRY:
    case OKT_EEP_WRITE_BAD_BUS:
        break;
    }
    return finish(w, IDREC_WRITE_FAILED, WRITE_RESULT_WRITE_FAILED,
                  "%s: the module has no bus; nothing written", w.word);
}

// Saves the module's current record to --backup before the write. false, with the run's outcome
// in *stopped, when it cannot be saved: then nothing is written.
bool backup_saved(write_run &w, const okt_eep_modinfo &entry, const module_report &old,
                  idrec_outcome *stopped)
{
    if (old.status != MODULE_READ) {
        char state[192];
        describe_module_status(old, state, sizeof state);
        *stopped = finish(w, IDREC_DEVICE, WRITE_RESULT_DEVICE_ERROR,
                          "%s: no backup: the module is %s; nothing saved, nothing written", w.word,
                          state);
        return false;
    }
    const record_save saved = save_record_file(w.args.backup, entry.data);
    if (saved.result != SAVE_OK) {
        char message[SHOWN_PATH_SIZE + 128];
        describe_save_error("backup", w.args.backup, saved, message, sizeof message);
        *stopped = finish(w, IDREC_FILE, WRITE_RESULT_FILE_ERROR, "%s; nothing written", message);
        return false;
    }
    w.summary.backup_path = w.args.backup;
    if (!w.args.json) {
        char path[SHOWN_PATH_SIZE];
        shown_path(w.args.backup, path, sizeof path);
        printf("%s: backup saved to %s\n", w.word, path);
    }
    return true;
}

} // namespace

idrec_outcome idrec_write(const idrec_args &args)
{
    write_run w{args, args.operands[0], {}, ""};
    w.summary.module = w.word;
    w.summary.record_path = args.operands[1];
    w.summary.failed_at = -1;
    w.summary.first_difference = -1;
    const int role = module_role(w.word);
    if (role < 0) {
        char word[64];
        shown(w.word, strlen(w.word), word, sizeof word);
        idrec_message("unknown module \"%s\": cpu, bb, ext0 or ext1\n", word);
        return IDREC_USAGE;
    }
    if (args.backup && same_file(args.backup, args.operands[1])) {
        idrec_message("--backup names the record file; it would be lost\n");
        return IDREC_USAGE;
    }

    // The record file first: a bad file touches no bus.
    okt_eep_modinfo *entry = nullptr;
    malloc_ptr<okt_eep_modinfo> table(okt_eep_init());
    if (!table)
        return finish(w, IDREC_DEVICE, WRITE_RESULT_DEVICE_ERROR, "no memory for the module table");
    entry = okt_eep_get_modinfo(table.get(), role);
    okt_eep_modinfo next = *entry;
    const record_file_read file = read_record_file(args.operands[1], &next.data);
    if (file.result != RECORD_FILE_OK) {
        char message[SHOWN_PATH_SIZE + 128];
        describe_record_file_error(args.operands[1], file, message, sizeof message);
        return finish(w, IDREC_FILE, WRITE_RESULT_FILE_ERROR, "%s; nothing written", message);
    }
    // Every read clears bytes 31, 47 and 63; written as 0, the module holds what reads give.
    okt_eep_sanitize_entry(&next);
    record_facts new_facts;
    decode_record(next.data, &new_facts);
    w.summary.new_record = &new_facts;
    if (print_findings(args.operands[1], new_facts) > 0 && !args.force) {
        char record_path[SHOWN_PATH_SIZE];
        shown_path(args.operands[1], record_path, sizeof record_path);
        return finish(w, IDREC_INVALID, WRITE_RESULT_INVALID_RECORD,
                      "%s: refused for its warnings; nothing written (--force writes it all the "
                      "same)",
                      record_path);
    }

    module_report old;
    read_module(entry, &old);
    w.summary.old_module = &old;
    idrec_outcome refused = IDREC_DONE;
    if (!guards_pass(w, old, &refused))
        return refused;

    if (args.backup && !backup_saved(w, *entry, old, &refused))
        return refused;

    okt_eep_write_report result;
    okt_eep_write_record(&next, &result);
    return report_write(w, result, next, old);
}
