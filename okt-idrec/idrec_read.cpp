#include "idrec_commands.h"

#include "idrec_json.h"
#include "idrec_message.h"
#include "idrec_module.h"
#include "idrec_text.h"
#include "owners.h"
#include "shown_bytes.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr int MODULE_COUNT = 4; // the module table's entries before its end

} // namespace

idrec_outcome idrec_read(const idrec_args &args)
{
    const char *word = args.operands[0];
    const bool all = strcmp(word, "all") == 0;
    const int role = all ? -1 : module_role(word);
    if (!all && role < 0) {
        char shown[64] = "";
        append_shown(shown, sizeof shown, word, strlen(word));
        idrec_message("unknown module \"%s\": cpu, bb, ext0, ext1 or all\n", shown);
        return IDREC_USAGE;
    }
    malloc_ptr<okt_eep_modinfo> table(okt_eep_init());
    if (!table) {
        idrec_message("no memory for the module table\n");
        return IDREC_DEVICE;
    }
    module_report reports[MODULE_COUNT];
    int count = 0;
    for (okt_eep_modinfo *m = table.get(); m->role != ROLE_END && count < MODULE_COUNT; m++) {
        if (all || m->role == role)
            read_module(m, &reports[count++]);
    }

    idrec_outcome outcome = IDREC_DONE;
    if (args.json)
        print_read_json(reports, count);
    for (int i = 0; i < count; i++) {
        const module_report &r = reports[i];
        if (!args.json) {
            if (i > 0)
                putchar('\n');
            print_module_report(r);
        }
        fflush(stdout);
        if (r.status == MODULE_READ) {
            print_findings(module_word(r.entry), r.facts);
            continue;
        }
        char state[192];
        describe_module_status(r, state, sizeof state);
        idrec_message("%s: not read completely: %s\n", module_word(r.entry), state);
        outcome = IDREC_DEVICE;
    }
    return outcome;
}
