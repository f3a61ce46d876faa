#include "cmdline_actions.h"

#include "atomic_file.h"
#include "owners.h"
#include "tool_roles.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

enum action_kind { ACTION_SERIAL, ACTION_TYPE, ACTION_DUMP, ACTION_SET };

struct action {
    const char *word;
    action_kind kind;
    int role; // the module acted on; unused by the type words
};

// Matched in this order, each word over its own length only, so "setbbx" acts as "setbb" and
// "serialcpu" must come before anything it could be a prefix of.
constexpr action ACTIONS[] = {
    {"serialcpu", ACTION_SERIAL, ROLE_CPU},  {"serialbb", ACTION_SERIAL, ROLE_BASEBOARD},
    {"typecpu", ACTION_TYPE, ROLE_CPU},      {"typebb", ACTION_TYPE, ROLE_BASEBOARD},
    {"dumpext0", ACTION_DUMP, ROLE_EXTMOD0}, {"dumpext1", ACTION_DUMP, ROLE_EXTMOD1},
    {"setext0", ACTION_SET, ROLE_EXTMOD0},   {"setext1", ACTION_SET, ROLE_EXTMOD1},
    {"dumpbb", ACTION_DUMP, ROLE_BASEBOARD}, {"setbb", ACTION_SET, ROLE_BASEBOARD},
};

constexpr int FILE_ACTION_ARGC = 3; // program, word, path
constexpr mode_t DUMP_FILE_MODE = 0644;

const action *find_action(const char *arg)
{
    for (const action &a : ACTIONS) {
        if (strncmp(arg, a.word, strlen(a.word)) == 0)
            return &a;
    }
    return nullptr;
}

// The serial number alone on the last line: what the rollout reports as the board's serial
// number after serialbb (deploy/ansible/filter_plugins/avr_update.py, _serial).
tool_result print_serial(const okt_eep_modinfo *entry)
{
    char text[sizeof(entry->data.serial)];
    char *buf = text;
    okt_eep_mod_get_serial(entry, &buf);
    puts(text);
    return entry->state == STATE_NO_DEVICE ? TOOL_FAILED : TOOL_DONE;
}

// A record the probe did not read whole holds zeros or older bytes: saved, it would pass for a
// good backup and could later be written back. The file is not even opened then.
tool_result dump_record(const okt_eep_modinfo *entry, const char *path)
{
    if (!entry->read_complete) {
        printf("the record of %s could not be read; nothing saved\n", role_name(entry->role));
        return TOOL_FAILED;
    }
    return dump_data(entry, path) == 0 ? TOOL_DONE : TOOL_FAILED;
}

} // namespace

void print_usage()
{
    puts("usage: okt-eepromtool                          interactive editor\n"
         "       okt-eepromtool serialcpu | serialbb     print a serial number\n"
         "       okt-eepromtool typecpu | typebb         no output\n"
         "       okt-eepromtool dumpext0 | dumpext1 | dumpbb FILE\n"
         "                                               save a module's record to FILE\n"
         "       okt-eepromtool setext0 | setext1 | setbb FILE\n"
         "                                               write FILE's 128 bytes to a module");
}

tool_result main_cmdline(int argc, char **argv, okt_eep_modinfo *table)
{
    const action *a = argc >= 2 ? find_action(argv[1]) : nullptr;
    bool needs_file = a && (a->kind == ACTION_DUMP || a->kind == ACTION_SET);
    if (!a || (needs_file && argc != FILE_ACTION_ARGC)) {
        print_usage();
        return TOOL_USAGE;
    }

    if (okt_eep_probe(table, 0) != 0)
        return TOOL_PROBE_FAILED;

    okt_eep_modinfo *entry = okt_eep_get_modinfo(table, a->role);
    switch (a->kind) {
    case ACTION_SERIAL:
        return print_serial(entry);
    case ACTION_TYPE:
        return TOOL_DONE;
    case ACTION_DUMP:
        return dump_record(entry, argv[2]);
    case ACTION_SET:
        return set_data(entry, argv[2]) == 0 ? TOOL_DONE : TOOL_SET_FAILED;
    }
    return TOOL_DONE;
}

int dump_data(const okt_eep_modinfo *entry, const char *path)
{
    if (!entry || !path)
        return -1;
    atomic_file out;
    bool replacing = false;
    int fd = -1;
    unique_fd in_place;
    switch (atomic_file_open(path, DUMP_FILE_MODE, &out)) {
    case ATOMIC_FILE_OPEN:
        fd = out.fd.get();
        replacing = true;
        break;
    case ATOMIC_FILE_NOT_REPLACEABLE:
        // A device or a FIFO (/dev/stdout into a pipe) takes the bytes itself; a rename would
        // replace the node instead.
        in_place.reset(open(path, O_RDWR | O_CREAT | O_TRUNC, DUMP_FILE_MODE));
        fd = in_place.get();
        break;
    case ATOMIC_FILE_FAILED:
        break;
    }
    if (fd < 0) {
        printf("cannot create '%s'\n", path);
        return -2;
    }
    if (write(fd, &entry->data, OKT_EEP_RECORD_SIZE) != OKT_EEP_RECORD_SIZE ||
        (replacing && atomic_file_commit(&out) != ATOMIC_FILE_COMMITTED)) {
        puts("WARNING: not all of eep data written!");
        return -3;
    }
    return 0;
}

int set_data(okt_eep_modinfo *entry, const char *path)
{
    if (!entry || !path)
        return -1;
    ssize_t got;
    {
        unique_fd fd(open(path, O_RDONLY));
        if (fd.get() < 0) {
            printf("cannot open '%s'\n", path);
            return -2;
        }
        // One read straight into the record; bytes past the 128th are ignored.
        got = read(fd.get(), &entry->data, OKT_EEP_RECORD_SIZE);
    }
    if (got != OKT_EEP_RECORD_SIZE) {
        puts("ERROR: not 128bytes read");
        return -3;
    }
    int result = okt_eep_write_modinfo(entry);
    if (result != 0)
        printf("Writing EEPROM failed with %d\n", result);
    return result;
}
