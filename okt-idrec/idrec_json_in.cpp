#include "idrec_json_in.h"

#include "hex_digit.h"
#include "idrec_checks.h"
#include "json_reader.h"
#include "owners.h"
#include "read_up_to.h"
#include "shown_bytes.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// show --json's document has some 60 values; room for many more, on the heap.
constexpr int JSON_IN_VALUES_MAX = 2048;
constexpr std::size_t SHOWN_TEXT_MAX = 256; // characters of a text's shown form that are read

struct doc_reader {
    const json_doc &doc;
    json_in_outcome *out;
};

bool refuse(doc_reader &r, const char *format, ...) __attribute__((format(printf, 2, 3)));

bool refuse(doc_reader &r, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(r.out->message, sizeof r.out->message, format, args);
    va_end(args);
    r.out->result = JSON_IN_REFUSED;
    return false;
}

const json_node &node(const doc_reader &r, int i)
{
    return r.doc.nodes[i];
}

// Refuses any member of the object at `object` that is not in `names` (ended by null).
bool only_members(doc_reader &r, int object, const char *path, const char *const *names)
{
    for (int m = node(r, object).first; m >= 0; m = node(r, m).next) {
        char name[64];
        std::size_t len = 0;
        bool known = false;
        if (json_decode(r.doc, node(r, m).name_at, node(r, m).name_len, name, sizeof name, &len) &&
            strlen(name) == len) {
            for (const char *const *n = names; *n; n++)
                known = known || strcmp(*n, name) == 0;
        }
        if (!known) {
            char shown[64 * SHOWN_BYTE_MAX + 1] = "";
            append_shown(shown, sizeof shown, r.doc.text + node(r, m).name_at, node(r, m).name_len);
            return refuse(r, "%s.%s: no such member", path, shown);
        }
    }
    return true;
}

// The member `name` of `object` when it has the kind asked for (-1 when it is missing); false
// after refusing a member of another kind.
bool member(doc_reader &r, int object, const char *path, const char *name, json_kind kind, int *at,
            bool null_allowed = false)
{
    *at = json_member(r.doc, object, name);
    if (*at < 0)
        return true;
    const json_kind k = node(r, *at).kind;
    if (k == kind || (null_allowed && k == JSON_NULL))
        return true;
    static const char *const kind_names[] = {"null",     "true or false", "a number",
                                             "a string", "an array",      "an object"};
    return refuse(r, "%s.%s: %s expected", path, name, kind_names[kind]);
}

// The string at `at` as n bytes in hex digits (no escapes: they are never needed).
bool hex_member(doc_reader &r, int at, const char *path, unsigned char *out, std::size_t n)
{
    const json_node &v = node(r, at);
    const char *s = r.doc.text + v.text_at;
    if (v.text_len != 2 * n)
        return refuse(r, "%s: %zu hex digits expected", path, 2 * n);
    for (std::size_t i = 0; i < n; i++) {
        const int high = hex_digit_value(s[2 * i]);
        const int low = hex_digit_value(s[2 * i + 1]);
        if (high < 0 || low < 0)
            return refuse(r, "%s: %zu hex digits expected", path, 2 * n);
        out[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

constexpr std::size_t PATH_SIZE = 48; // bytes of a member's path, "record.manuf_date"

// The record's member `name`: an object whose members are among `names`; its path goes to
// `path`. *obj is -1 when the document leaves it out. false after a refusal.
bool field_object(doc_reader &r, int record, const char *name, const char *const *names, char *path,
                  int *obj)
{
    snprintf(path, PATH_SIZE, "record.%s", name);
    return member(r, record, "record", name, JSON_OBJECT, obj) &&
           (*obj < 0 || only_members(r, *obj, path, names));
}

// The member `want` of the record's member `name` (see field_object) for the fields read from one
// member; *value is -1 when the document leaves either out. false after a refusal.
bool field_value(doc_reader &r, int record, const char *name, const char *const *names,
                 const char *want, json_kind kind, char *path, int *value)
{
    int obj = -1;
    *value = -1;
    return field_object(r, record, name, names, path, &obj) &&
           (obj < 0 || member(r, obj, path, want, kind, value));
}

// The members "text" and "bytes" (strings; the text null where `null_text` allows it) of the
// record's member `name` (see field_object); each is -1 when left out, `obj` when the whole member
// is. false after a refusal.
struct text_members {
    int obj = -1;
    int text = -1;
    int bytes = -1;
};

bool text_field(doc_reader &r, int record, const char *name, const char *const *names,
                bool null_text, char *path, text_members *m)
{
    return field_object(r, record, name, names, path, &m->obj) &&
           (m->obj < 0 || (member(r, m->obj, path, "text", JSON_STRING, &m->text, null_text) &&
                           member(r, m->obj, path, "bytes", JSON_STRING, &m->bytes)));
}

bool read_bootcntr(doc_reader &r, int record, okt_eep_data *rec)
{
    static const char *const names[] = {"value", "text", nullptr};
    char path[PATH_SIZE];
    int value = -1;
    if (!field_value(r, record, "bootcntr", names, "value", JSON_NUMBER, path, &value))
        return false;
    if (value >= 0) {
        const long long v = node(r, value).number;
        if (v < 0 || v > 0xFFFFFFFFLL)
            return refuse(r, "%s.value: %lld is not 0-4294967295", path, v);
        okt_eep_set_bootcntr(rec, static_cast<uint32_t>(v));
    }
    return true;
}

bool read_date(doc_reader &r, int record, const char *name, unsigned char *packed)
{
    static const char *const names[] = {"text",         "valid", "problem", "editor_text",
                                        "editor_valid", "bytes", nullptr};
    char path[PATH_SIZE];
    text_members m;
    if (!text_field(r, record, name, names, true, path, &m))
        return false;
    if (m.obj < 0)
        return true;
    const int text = m.text;
    const int bytes = m.bytes;
    date_numbers numbers;
    char why[DATE_MESSAGE_SIZE];
    if (text >= 0 && node(r, text).kind == JSON_STRING) {
        char t[DATE_TEXT_LEN + 2] = "";
        std::size_t len = 0;
        date_problem p = DATE_FORMAT;
        if (json_decode(r.doc, node(r, text).text_at, node(r, text).text_len, t, sizeof t, &len) &&
            strlen(t) == len)
            p = check_date_text(t, packed, &numbers);
        if (p == DATE_VALID)
            return true;
        describe_date_problem(p, numbers, t, nullptr, why, sizeof why);
        char shown[(DATE_TEXT_LEN + 1) * SHOWN_BYTE_MAX + 1] = "";
        append_shown(shown, sizeof shown, t, strlen(t));
        return refuse(r, "%s.text: \"%s\": %s", path, shown, why);
    }
    // Without a text, the bytes hold the date: unset, or a valid one.
    unsigned char b[OKT_EEP_DATE_SIZE] = {};
    char bytes_path[64];
    snprintf(bytes_path, sizeof bytes_path, "%s.bytes", path);
    if (bytes >= 0 && !hex_member(r, bytes, bytes_path, b, sizeof b))
        return false;
    const date_problem p = check_date_bytes(b, &numbers);
    if (p != DATE_VALID && p != DATE_UNSET) {
        describe_date_problem(p, numbers, nullptr, b, why, sizeof why);
        return refuse(r, "%s: %s", bytes_path, why);
    }
    memcpy(packed, b, OKT_EEP_DATE_SIZE);
    return true;
}

bool read_text(doc_reader &r, int record, const char *name, char *field)
{
    static const char *const names[] = {"text", "terminated", "printable", "bytes", nullptr};
    char path[PATH_SIZE];
    text_members m;
    if (!text_field(r, record, name, names, false, path, &m))
        return false;
    if (m.obj < 0)
        return true;
    const int text = m.text;
    const int bytes = m.bytes;

    unsigned char value[SHOWN_TEXT_MAX] = {};
    std::size_t len = 0;
    if (text >= 0) {
        char shown[SHOWN_TEXT_MAX];
        std::size_t shown_len = 0;
        std::size_t at = 0;
        if (!json_decode(r.doc, node(r, text).text_at, node(r, text).text_len, shown, sizeof shown,
                         &shown_len))
            return refuse(r, "%s.text: more than %d bytes; a text has at most %d", path,
                          OKT_EEP_TEXT_BYTES, OKT_EEP_TEXT_BYTES);
        // The shown form is never longer than the bytes it stands for.
        switch (shown_decode(shown, shown_len, value, sizeof value, &len, &at)) {
        case SHOWN_DECODED:
            break;
        case SHOWN_NOT_SHOWN_FORM:
        case SHOWN_TOO_LONG:
            return refuse(r, "%s.text: offset %zu: not in the shown form (printable ASCII, \\xNN)",
                          path, at);
        }
        std::size_t bad = 0;
        const text_problem p = check_text(value, len, &bad);
        if (p != TEXT_VALID) {
            char why[TEXT_MESSAGE_SIZE];
            describe_text_problem(p, value, len, bad, why, sizeof why);
            return refuse(r, "%s.text: %s", path, why);
        }
    }
    // The field's bytes, where their text is the one given, keep what follows the text.
    if (bytes >= 0) {
        unsigned char b[OKT_EEP_TEXT_FIELD_SIZE];
        char bytes_path[64];
        snprintf(bytes_path, sizeof bytes_path, "%s.bytes", path);
        if (!hex_member(r, bytes, bytes_path, b, sizeof b))
            return false;
        if (strnlen(reinterpret_cast<const char *>(b), OKT_EEP_TEXT_BYTES) == len &&
            memcmp(b, value, len) == 0) {
            memcpy(field, b, sizeof b);
            return true;
        }
    }
    memset(field, 0, OKT_EEP_TEXT_FIELD_SIZE);
    memcpy(field, value, len);
    return true;
}

bool read_reserved(doc_reader &r, int record, okt_eep_data *rec)
{
    static const char *const names[] = {"zero", "bytes", nullptr};
    char path[PATH_SIZE];
    int bytes = -1;
    if (!field_value(r, record, "reserved", names, "bytes", JSON_STRING, path, &bytes))
        return false;
    return bytes < 0 ||
           hex_member(r, bytes, "record.reserved.bytes", rec->reserved, sizeof rec->reserved);
}

bool read_document(doc_reader &r, okt_eep_data *rec)
{
    static const char *const top[] = {"schema_version", "tool_version", "file", "record", nullptr};
    static const char *const fields[] = {"state",    "bootcntr", "manuf_date", "maint_date",
                                         "desc",     "rev",      "serial",     "reserved",
                                         "warnings", "notes",    nullptr};
    if (node(r, 0).kind != JSON_OBJECT)
        return refuse(r, "not a document of show --json: no object");
    int version = -1;
    int record = -1;
    if (!only_members(r, 0, "document", top) ||
        !member(r, 0, "document", "schema_version", JSON_NUMBER, &version) ||
        !member(r, 0, "document", "record", JSON_OBJECT, &record))
        return false;
    if (version < 0)
        return refuse(r, "schema_version: missing; this okt-idrec reads version 1");
    if (node(r, version).number != 1)
        return refuse(r, "schema_version: %lld; this okt-idrec reads version 1",
                      node(r, version).number);
    if (record < 0)
        return refuse(r, "record: missing");
    *rec = okt_eep_data{};
    return only_members(r, record, "record", fields) && read_bootcntr(r, record, rec) &&
           read_date(r, record, "manuf_date", rec->manuf_date) &&
           read_date(r, record, "maint_date", rec->maint_date) &&
           read_text(r, record, "desc", rec->desc_string) &&
           read_text(r, record, "rev", rec->rev_string) &&
           read_text(r, record, "serial", rec->serial) && read_reserved(r, record, rec);
}

} // namespace

json_in_outcome parse_json_record(const char *text, std::size_t len, okt_eep_data *record)
{
    json_in_outcome out = {JSON_IN_OK, 0, ""};
    malloc_ptr<json_node> nodes(
        static_cast<json_node *>(malloc(JSON_IN_VALUES_MAX * sizeof(json_node))));
    if (!nodes) {
        out.result = JSON_IN_REFUSED;
        snprintf(out.message, sizeof out.message, "no memory to read the document");
        return out;
    }
    json_doc doc;
    switch (json_parse(text, len, nodes.get(), JSON_IN_VALUES_MAX, &doc)) {
    case JSON_PARSED:
        break;
    case JSON_TOO_LONG:
        out.result = JSON_IN_REFUSED;
        snprintf(out.message, sizeof out.message, "more than %zu bytes; a document has at most %zu",
                 JSON_TEXT_MAX, JSON_TEXT_MAX);
        return out;
    case JSON_TOO_MANY_VALUES:
        out.result = JSON_IN_REFUSED;
        snprintf(out.message, sizeof out.message,
                 "more than %d values; not a document of show --json", JSON_IN_VALUES_MAX);
        return out;
    case JSON_BAD:
        out.result = JSON_IN_REFUSED;
        snprintf(out.message, sizeof out.message, "not JSON: %s at offset %zu", doc.error,
                 doc.error_at);
        return out;
    }
    doc_reader r{doc, &out};
    okt_eep_data rec;
    if (read_document(r, &rec))
        *record = rec;
    return out;
}

json_in_outcome read_json_record(const char *path, okt_eep_data *record)
{
    json_in_outcome out = {JSON_IN_OK, 0, ""};
    unique_fd owned;
    int fd = STDIN_FILENO;
    if (strcmp(path, "-") != 0) {
        owned.reset(open(path, O_RDONLY | O_CLOEXEC));
        fd = owned.get();
    }
    // One byte beyond the limit tells a document that is too long.
    const std::size_t room = JSON_TEXT_MAX + 1;
    malloc_ptr<char> text(static_cast<char *>(malloc(room)));
    if (fd < 0 || !text) {
        out.result = JSON_IN_UNREADABLE;
        out.error = fd < 0 ? errno : ENOMEM;
        return out;
    }
    const std::size_t len =
        read_up_to(fd, reinterpret_cast<unsigned char *>(text.get()), room, &out.error);
    if (out.error != 0) {
        out.result = JSON_IN_UNREADABLE;
        return out;
    }
    return parse_json_record(text.get(), len, record);
}
