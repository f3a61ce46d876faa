#include "idrec_module.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

struct module_word_role {
    const char *word;
    int role;
};

// read all reports the modules in the module table's order, which is this one; the ID record
// inventory takes a board's line only with these four words in this order
// (deploy/ansible/filter_plugins/idrec_inventory.py, MODULES): change both together.
constexpr module_word_role MODULE_WORDS[] = {
    {"cpu", ROLE_CPU},
    {"bb", ROLE_BASEBOARD},
    {"ext0", ROLE_EXTMOD0},
    {"ext1", ROLE_EXTMOD1},
};

} // namespace

int module_role(const char *word)
{
    for (const module_word_role &m : MODULE_WORDS) {
        if (strcmp(word, m.word) == 0)
            return m.role;
    }
    return -1;
}

const char *module_word(const okt_eep_modinfo *entry)
{
    for (const module_word_role &m : MODULE_WORDS) {
        if (entry->role == m.role)
            return m.word;
    }
    return "?";
}

void read_module(okt_eep_modinfo *entry, module_report *report)
{
    *report = module_report{};
    report->entry = entry;
    int result = okt_eep_read_modinfo(entry);
    if (result == -3 || result == -2) {
        report->status = MODULE_NO_BUS;
        report->error = result == -3 ? errno : ENODEV;
        return;
    }
    report->bytes_read = entry->bytes_read;
    if (result != 0) {
        report->status = entry->bytes_read == 0 ? MODULE_ABSENT : MODULE_INCOMPLETE;
        return;
    }
    report->status = MODULE_READ;
    decode_record(entry->data, &report->facts);
}

const char *record_state_word(record_state state)
{
    switch (state) {
    case RECORD_BLANK:
        return "blank";
    case RECORD_EMPTY:
        return "empty";
    case RECORD_PROGRAMMED:
        return "programmed";
    }
    return "programmed";
}

const char *record_state_text(record_state state)
{
    switch (state) {
    case RECORD_BLANK:
        return "blank (every byte 0xff)";
    case RECORD_EMPTY:
        return "empty (every byte 0)";
    case RECORD_PROGRAMMED:
        return "programmed";
    }
    return "programmed";
}

const char *module_status_word(const module_report &report)
{
    switch (report.status) {
    case MODULE_NO_BUS:
        return "no_bus";
    case MODULE_ABSENT:
        return "absent";
    case MODULE_INCOMPLETE:
        return "incomplete";
    case MODULE_READ:
        return record_state_word(report.facts.state);
    }
    return "absent";
}

void describe_module_status(const module_report &report, char *out, std::size_t size)
{
    switch (report.status) {
    case MODULE_NO_BUS: {
        const char *device = okt_eep_bus_device(report.entry->bus);
        snprintf(out, size, "no bus (cannot open %s: %s)", device ? device : "its bus device",
                 strerror(report.error));
        return;
    }
    case MODULE_ABSENT:
        snprintf(out, size, "absent (no answer at byte 0)");
        return;
    case MODULE_INCOMPLETE:
        snprintf(out, size, "incomplete (the read broke off at offset %d)", report.bytes_read);
        return;
    case MODULE_READ:
        snprintf(out, size, "%s", record_state_text(report.facts.state));
        return;
    }
}
