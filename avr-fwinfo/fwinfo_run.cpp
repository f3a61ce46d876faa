#include "fwinfo_run.h"

#include "fwinfo_args.h"
#include "fwinfo_input.h"
#include "fwinfo_report.h"
#include "owners.h"

#include <cstdio>
#include <cstring>

namespace
{

// The loaders print to standard output. For the JSON form their lines are kept in memory and
// go into the object instead, so that standard output stays one JSON document. No file is
// opened for it: the text lives in a memory stream that stands in for stdout meanwhile.
struct output_capture {
    FILE *saved = nullptr;
    FILE *memory = nullptr;
    char *text = nullptr;
    std::size_t len = 0;
};

void capture_begin(output_capture *c)
{
    fflush(stdout);
    c->memory = open_memstream(&c->text, &c->len);
    if (!c->memory)
        return; // the loader's lines then go out as they are
    c->saved = stdout;
    stdout = c->memory;
}

void capture_end(output_capture *c)
{
    if (!c->memory)
        return;
    fclose(c->memory); // sets text and len
    stdout = c->saved;
}

int load_input(const fwinfo_args &args, fw_input *in)
{
    if (args.pack_path)
        return load_pack_input(args.pack_path, in, stdout);
    return load_hex_input(args.flash_path, args.eep_path, in, stdout);
}

} // namespace

int run_fwinfo(int argc, char **argv)
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
    int rc = 0;
    malloc_ptr<char> loader_output;
    std::size_t loader_len = 0;
    if (args.json) {
        output_capture capture;
        capture_begin(&capture);
        rc = load_input(args, &in);
        capture_end(&capture);
        loader_output.reset(capture.text);
        loader_len = capture.text ? capture.len : 0;
    } else {
        rc = load_input(args, &in);
    }
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
