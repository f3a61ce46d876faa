#include "idrec_commands.h"

#include "idrec_facts.h"
#include "idrec_file.h"
#include "idrec_json.h"
#include "idrec_text.h"

#include <cstdio>

idrec_outcome idrec_show(const idrec_args &args)
{
    idrec_outcome outcome = IDREC_DONE;
    bool first = true;
    for (int i = 0; i < args.operand_count; i++) {
        const char *path = args.operands[i];
        okt_eep_data record;
        const record_file_read r = read_record_file(path, &record);
        if (r.result != RECORD_FILE_OK) {
            print_record_file_error(path, r);
            outcome = IDREC_FILE;
            continue;
        }
        record_facts facts;
        decode_record(record, &facts);
        if (args.json) {
            print_show_json(path, facts);
        } else {
            if (!first)
                putchar('\n');
            print_file_report(path, facts);
        }
        first = false;
        // The warnings are information here: the record is shown all the same.
        fflush(stdout);
        print_findings(path, facts);
    }
    return outcome;
}
