#include "fwinfo_run.h"

#include "fwinfo_input.h"
#include "fwinfo_report.h"
#include "owners.h"

#include <cstdio>
#include <cstring>

namespace
{

struct fwinfo_args {
    bool json;
    const char *pack_path;  // one file: a PACK file
    const char *flash_path; // two files: flash and EEPROM HEX files
    const char *eep_path;
};

bool decode_args(int argc, char **argv, fwinfo_args *args)
{
    *args = fwinfo_args{};
    int first = 1;
    if (argc > 1 && strcmp(argv[1], "--json") == 0) {
        args->json = true;
        first = 2;
    }
    const int files = argc - first;
    if (files < 1 || files > 2)
        return false;
    for (int i = first; i < argc; ++i)
        if (strncmp(argv[i], "--", 2) == 0)
            return false;
    if (files == 1) {
        args->pack_path = argv[first];
    } else {
        args->flash_path = argv[first];
        args->eep_path = argv[first + 1];
    }
    return true;
}

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
        return load_pack_input(args.pack_path, in);
    return load_hex_input(args.flash_path, args.eep_path, in);
}

} // namespace

int run_fwinfo(int argc, char **argv)
{
    fwinfo_args args;
    if (!decode_args(argc, argv, &args)) {
        printf("usage: %s [--json] <packfile>\n"
               "       %s [--json] <flash.hex> <eeprom.hex>\n",
               argv[0], argv[0]);
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

    if (rc != 0) {
        if (args.json)
            print_json_failure(in, rc, loader_output.get() ? loader_output.get() : "", loader_len);
        return rc;
    }

    fw_report report;
    build_report(in, &report);
    if (args.json)
        print_json_report(in, report, loader_output.get() ? loader_output.get() : "", loader_len);
    else
        print_text_report(in, report);
    return verdict_exit_code(report.verdict);
}
