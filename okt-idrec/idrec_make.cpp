#include "idrec_commands.h"

#include "idrec_build.h"
#include "idrec_facts.h"
#include "idrec_file.h"
#include "idrec_json.h"
#include "idrec_json_in.h"
#include "idrec_message.h"
#include "idrec_text.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

// The option that gives a field a new value.
const char *field_option(record_field field)
{
    switch (field) {
    case FIELD_BOOTCNTR:
        return "--bootcntr";
    case FIELD_MANUF_DATE:
        return "--manuf-date";
    case FIELD_MAINT_DATE:
        return "--maint-date";
    case FIELD_DESC:
        return "--desc";
    case FIELD_REV:
        return "--rev";
    case FIELD_SERIAL:
        return "--serial";
    case FIELD_RESERVED:
        break;
    }
    return "an option";
}

// Loads the record the options start from: zeros, --from or --json-in.
idrec_outcome load_base(const idrec_args &args, okt_eep_data *record)
{
    *record = okt_eep_data{};
    if (args.from) {
        const record_file_read r = read_record_file(args.from, record);
        if (r.result != RECORD_FILE_OK) {
            print_record_file_error(args.from, r);
            return IDREC_FILE;
        }
    } else if (args.json_in) {
        const json_in_outcome j = read_json_record(args.json_in, record);
        char shown[SHOWN_PATH_SIZE];
        shown_path(strcmp(args.json_in, "-") == 0 ? "standard input" : args.json_in, shown,
                   sizeof shown);
        switch (j.result) {
        case JSON_IN_OK:
            break;
        case JSON_IN_UNREADABLE:
            idrec_message("%s: cannot read: %s\n", shown, strerror(j.error));
            return IDREC_FILE;
        case JSON_IN_REFUSED:
            idrec_message("%s: %s\n", shown, j.message);
            return IDREC_INVALID;
        }
    }
    return IDREC_DONE;
}

} // namespace

idrec_outcome idrec_make(const idrec_args &args)
{
    const char *out_path = args.operands[0];
    // The record lives in a module entry so that the library's own sanitising applies to it.
    okt_eep_modinfo work = {};
    const idrec_outcome loaded = load_base(args, &work.data);
    if (loaded != IDREC_DONE)
        return loaded;
    if (apply_field_options(args.fields, time(nullptr), &work.data) > 0)
        return IDREC_INVALID;
    okt_eep_sanitize_entry(&work);

    // What the options left from the source must pass the checks as well: make never writes a
    // record that show would warn about.
    record_facts facts;
    decode_record(work.data, &facts);
    record_finding found[RECORD_FINDINGS_MAX];
    const int n = record_findings(facts, found);
    const char *source = args.from ? args.from : args.json_in ? args.json_in : "the record";
    char shown_source[SHOWN_PATH_SIZE];
    shown_path(source, shown_source, sizeof shown_source);
    int refused = 0;
    for (int i = 0; i < n; i++) {
        if (!finding_is_warning(found[i].kind))
            continue;
        char message[FINDING_MESSAGE_SIZE];
        describe_finding(facts, found[i], message, sizeof message);
        idrec_message("%s: %s (%s replaces it)\n", shown_source, message,
                      field_option(found[i].field));
        refused++;
    }
    if (refused > 0)
        return IDREC_INVALID;

    const record_save saved = save_record_file(out_path, work.data);
    if (saved.result != SAVE_OK) {
        char message[SHOWN_PATH_SIZE + 128];
        describe_save_error("output", out_path, saved, message, sizeof message);
        idrec_message("%s\n", message);
        return IDREC_FILE;
    }
    if (args.json)
        print_show_json(out_path, facts);
    else
        print_file_report(out_path, facts);
    fflush(stdout);
    print_findings(out_path, facts);
    return IDREC_DONE;
}
