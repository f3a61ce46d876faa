// okt-idrec's JSON reports: each one compact object on one line of standard output, in the
// conventions of the project's JSON (schema_version, tool_version, null for what is unknown,
// texts in their shown form). The members are listed in okt-idrec(1), JSON OUTPUT.
#pragma once

#include "idrec_facts.h"
#include "idrec_module.h"

#include <ctime>

// Raised whenever a member changes its meaning or goes away; new members keep it.
constexpr int IDREC_JSON_SCHEMA_VERSION = 1;

// show and make: {"schema_version":1,"tool_version":...,"file":...,"record":{...}}
void print_show_json(const char *path, const record_facts &facts);

// read: {"schema_version":1,"tool_version":...,"modules":[...]}, one member per report.
void print_read_json(const module_report *reports, int count);

enum write_result {
    WRITE_RESULT_VERIFIED,       // written, and read back equal
    WRITE_RESULT_REFUSED,        // a guard refused; nothing written
    WRITE_RESULT_INVALID_RECORD, // the record file fails the checks; nothing written
    WRITE_RESULT_FILE_ERROR,     // the record file or the backup failed; nothing written
    WRITE_RESULT_DEVICE_ERROR,   // the bus or the module could not be read; nothing written
    WRITE_RESULT_WRITE_FAILED,   // the write broke off at failed_at (or never began)
    WRITE_RESULT_VERIFY_FAILED,  // all written, but the read-back differs or failed
};

// What a write did, for the production log.
struct write_summary {
    const char *module;              // the module's word
    const char *record_path;         // the record file as given
    const char *backup_path;         // null without --backup, or when no backup was saved
    const module_report *old_module; // null when the module was not read
    const record_facts *new_record;  // null when the record file was not read
    write_result result;
    int failed_at;        // WRITE_RESULT_WRITE_FAILED: the offset, or -1
    int first_difference; // WRITE_RESULT_VERIFY_FAILED: the offset, or -1 when the read-back failed
    const char *message;  // what was printed on standard error, without the program's name; or
                          // the success line
    time_t when;          // when the write ended
    int exit_status;
};

// write: one object with the module, old and new serial, the result and the time.
void print_write_json(const write_summary &w);
