#include "idrec_text.h"

#include "idrec_file.h"
#include "idrec_message.h"
#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

namespace
{

// The editor pads texts to their 15 characters.
constexpr int TEXT_COLUMNS = OKT_EEP_TEXT_BYTES;

void print_date(const char *label, const date_facts &d)
{
    printf("%s:  %s", label, d.editor_valid ? d.editor_text : "(invalid)");
    if (d.problem == DATE_UNSET) {
        printf(" [unset]");
    } else if (d.problem != DATE_VALID) {
        char why[DATE_MESSAGE_SIZE];
        describe_date_problem(d.problem, d.numbers, nullptr, d.bytes, why, sizeof why);
        printf(" [not valid: %s]", why);
    }
    putchar('\n');
}

void print_text(const char *label, const text_facts &t)
{
    char shown[OKT_EEP_TEXT_FIELD_SIZE * SHOWN_BYTE_MAX + 1] = "";
    append_shown(shown, sizeof shown, t.bytes, t.length);
    printf("%s: [%-*s]%s\n", label, TEXT_COLUMNS, shown, t.terminated ? "" : " [not terminated]");
}

void print_record(const record_facts &f)
{
    const unsigned long counter = f.bootcntr;
    printf("BootCounter        : %08lu (0x%08lx)\n", counter, counter);
    print_date("Manufacture Date   ", f.manuf_date);
    print_date("Maintainance Date  ", f.maint_date);
    print_text("Module Description ", f.desc);
    print_text("Revision String    ", f.rev);
    print_text("Serial Number      ", f.serial);
    if (f.reserved_nonzero == 0)
        printf("Reserved           : all zero\n");
    else
        printf("Reserved           : %d of 64 bytes not zero\n", f.reserved_nonzero);
}

} // namespace

void print_file_report(const char *path, const record_facts &facts)
{
    printf("File               : ");
    print_shown_text(path);
    printf("\nState              : %s\n", record_state_text(facts.state));
    print_record(facts);
}

void print_module_report(const module_report &m)
{
    char state[192];
    describe_module_status(m, state, sizeof state);
    printf("Module             : %s (%s, I2C bus %d address 0x%02x)\nState              : %s\n",
           module_word(m.entry), role_name(m.entry->role), m.entry->bus, m.entry->addr >> 1, state);
    if (m.status == MODULE_READ)
        print_record(m.facts);
}

int print_findings(const char *who, const record_facts &facts)
{
    record_finding found[RECORD_FINDINGS_MAX];
    const int n = record_findings(facts, found);
    int warnings = 0;
    char shown[SHOWN_PATH_SIZE];
    shown_path(who, shown, sizeof shown);
    for (int i = 0; i < n; i++) {
        char message[FINDING_MESSAGE_SIZE];
        describe_finding(facts, found[i], message, sizeof message);
        const bool warning = finding_is_warning(found[i].kind);
        warnings += warning;
        idrec_message("%s: %s: %s\n", shown, warning ? "warning" : "note", message);
    }
    return warnings;
}
