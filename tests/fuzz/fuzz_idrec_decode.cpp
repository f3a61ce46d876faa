// Any 128 bytes as a record: decoded, shown as text and as JSON. The JSON must be one line that
// the strict reader takes, the text printable ASCII in lines, and a record whose JSON make takes
// back must come back byte for byte.
//
// Input: the record's bytes; shorter inputs are padded with 0xff, longer ones cut to 128.
#include "idrec_facts.h"
#include "idrec_json.h"
#include "idrec_json_in.h"
#include "idrec_text.h"
#include "json_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// Runs print with standard output going to memory; returns what it printed (malloc'ed).
template <class F>
char *captured(F print, std::size_t *len)
{
    char *text = nullptr;
    FILE *mem = open_memstream(&text, len);
    if (!mem)
        abort();
    FILE *saved = stdout;
    stdout = mem;
    print();
    fflush(stdout);
    stdout = saved;
    fclose(mem);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    okt_eep_data record;
    memset(&record, 0xFF, sizeof record);
    memcpy(&record, data, size < sizeof record ? size : sizeof record);
    record_facts facts;
    decode_record(record, &facts);

    std::size_t text_len = 0;
    char *text = captured([&] { print_file_report("fuzz.rec", facts); }, &text_len);
    for (std::size_t i = 0; i < text_len; i++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '\n' && (c < 0x20 || c > 0x7E))
            abort(); // a byte of the record reached the terminal as it is
    }
    if (text_len == 0 || text[text_len - 1] != '\n')
        abort();
    free(text);

    std::size_t json_len = 0;
    char *json = captured([&] { print_show_json("fuzz.rec", facts); }, &json_len);
    if (json_len == 0 || memchr(json, '\n', json_len) != json + json_len - 1)
        abort(); // not exactly one line
    static json_node nodes[4096];
    json_doc doc;
    if (json_parse(json, json_len, nodes, 4096, &doc) != JSON_PARSED)
        abort();

    // make clears bytes 31, 47 and 63 of what it reads, as every read does.
    okt_eep_modinfo expected = {};
    expected.data = record;
    okt_eep_sanitize_entry(&expected);
    okt_eep_modinfo back = {};
    const json_in_outcome in = parse_json_record(json, json_len, &back.data);
    okt_eep_sanitize_entry(&back);
    if (in.result == JSON_IN_OK && memcmp(&back.data, &expected.data, sizeof back.data) != 0)
        abort();
    // A programmed record without warnings always comes back.
    record_finding found[RECORD_FINDINGS_MAX];
    const int n = record_findings(facts, found);
    bool warned = false;
    for (int i = 0; i < n; i++)
        warned = warned || finding_is_warning(found[i].kind);
    if (facts.state == RECORD_PROGRAMMED && !warned &&
        memcmp(&record, &expected.data, sizeof record) == 0 && in.result != JSON_IN_OK)
        abort();
    free(json);
    return 0;
}
