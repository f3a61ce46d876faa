#include "fwinfo_run.h"

#include "fwinfo_args.h"
#include "fwinfo_input.h"
#include "fwinfo_json.h"
#include "fwinfo_report.h"
#include "fwinfo_text.h"
#include "owners.h"

#include <cstdio>
#include <cstring>

namespace
{

int load_input(const fwinfo_args &args, fw_input *in, FILE *msgs)
{
    if (args.pack_path)
        return load_pack_input(args.pack_path, in, msgs);
    return load_hex_input(args.flash_path, args.eep_path, in, msgs);
}

// Loads the input. For the JSON form the loader's lines are kept in memory (*text, *len) and go
// into the object instead, so that standard output stays one JSON document; without memory for
// them they go out as they are.
int load_json_input(const fwinfo_args &args, fw_input *in, malloc_ptr<char> *text, std::size_t *len)
{
    char *buf = nullptr;
    std::size_t buf_len = 0;
    FILE *lines = open_memstream(&buf, &buf_len);
    int rc = load_input(args, in, lines ? lines : stdout);
    if (lines) {
        fclose(lines); // sets buf and buf_len
        text->reset(buf);
        *len = buf ? buf_len : 0;
    }
    return rc;
}

} // namespace

int avr_fwinfo_main(int argc, char **argv)
{
    const char *program = argc > 0 ? argv[0] : "avr-fwinfo";
    fwinfo_args args;
    switch (decode_args(argc, argv, &args)) {
    case ARGS_RUN:
        break;
    case ARGS_HELP:
        print_help(program);
        return FWINFO_OK;
    case ARGS_VERSION:
        print_version();
        return FWINFO_OK;
    case ARGS_WRONG:
        print_wrong_args(program, args);
        return FWINFO_USAGE;
    }

    fw_input in{};
    malloc_ptr<char> loader_output;
    std::size_t loader_len = 0;
    const int rc = args.json ? load_json_input(args, &in, &loader_output, &loader_len)
                             : load_input(args, &in, stdout);
    const char *loader_text = loader_output.get() ? loader_output.get() : "";

    if (rc != 0) {
        if (args.json)
            print_json_failure(in, rc, args.expect_hwid, loader_text, loader_len);
        else
            print_text_failure(rc);
        return rc;
    }

    fw_report report;
    build_report(in, args.expect_hwid, &report);
    if (args.json)
        print_json_report(in, report, loader_text, loader_len);
    else
        print_text_report(in, report);
    return verdict_exit_code(report.verdict);
}
