// The JSON reports' schema: every member has its documented type, every member of the schema
// shows up for some run, and the manual page lists exactly these members.
#include "idrec_test_support.h"
#include "man_page.h"

#include <map>
#include <set>

namespace
{

// The type each member may have: n number, s string, b true or false, o object, a array,
// z null. The members of read's records are those of the record object.
const std::map<std::string, std::string> SCHEMA = {
    {"schema_version", "n"},
    {"tool_version", "s"},
    {"file", "s"},
    {"record", "o"},
    {"record.state", "s"},
    {"record.bootcntr", "o"},
    {"record.bootcntr.value", "n"},
    {"record.bootcntr.text", "s"},
    {"record.manuf_date", "o"},
    {"record.manuf_date.text", "sz"},
    {"record.manuf_date.valid", "b"},
    {"record.manuf_date.problem", "sz"},
    {"record.manuf_date.editor_text", "sz"},
    {"record.manuf_date.editor_valid", "b"},
    {"record.manuf_date.bytes", "s"},
    {"record.maint_date", "o"},
    {"record.maint_date.text", "sz"},
    {"record.maint_date.valid", "b"},
    {"record.maint_date.problem", "sz"},
    {"record.maint_date.editor_text", "sz"},
    {"record.maint_date.editor_valid", "b"},
    {"record.maint_date.bytes", "s"},
    {"record.desc", "o"},
    {"record.desc.text", "s"},
    {"record.desc.terminated", "b"},
    {"record.desc.printable", "b"},
    {"record.desc.bytes", "s"},
    {"record.rev", "o"},
    {"record.rev.text", "s"},
    {"record.rev.terminated", "b"},
    {"record.rev.printable", "b"},
    {"record.rev.bytes", "s"},
    {"record.serial", "o"},
    {"record.serial.text", "s"},
    {"record.serial.terminated", "b"},
    {"record.serial.printable", "b"},
    {"record.serial.bytes", "s"},
    {"record.reserved", "o"},
    {"record.reserved.zero", "b"},
    {"record.reserved.bytes", "s"},
    {"record.warnings", "a"},
    {"record.notes", "a"},
    {"modules", "a"},
    {"modules[].module", "s"},
    {"modules[].role", "s"},
    {"modules[].bus", "n"},
    {"modules[].address", "n"},
    {"modules[].status", "s"},
    {"modules[].bytes_read", "nz"},
    {"modules[].record", "oz"},
    {"module", "s"},
    {"record_file", "s"},
    {"old_status", "sz"},
    {"old_serial", "sz"},
    {"new_serial", "sz"},
    {"backup", "sz"},
    {"result", "s"},
    {"verified", "b"},
    {"failed_at", "nz"},
    {"first_difference", "nz"},
    {"message", "s"},
    {"time", "s"},
    {"exit_status", "n"},
};

TEST_F(idrec, EveryJsonMemberHasItsTypeAndIsDocumented)
{
    record_fields odd;
    odd.manuf_date = std::string("\x31\x04\x24\x20\x10\x00", 6);
    odd.maint_date = std::string("\xFF\x01\x01\x20\x00\x00", 6);
    odd.desc = "ABCDEFGHIJKLMNOP";
    odd.serial = "S\x01";
    odd.reserved[3] = 'r';
    put("odd.rec", build_record(odd));
    put("sample.rec", sample_record());
    put("blank.rec", std::string(RECORD_SIZE, '\xFF'));
    put_eeprom(CPU, sample_record());
    put_eeprom(BB, std::string(RECORD_SIZE, '\xFF'));
    remove_eeprom(EXT1);

    struct json_run {
        const char *label;
        std::vector<std::string> args;
        std::vector<std::string> env;
    };
    const json_run runs[] = {
        {"show", {"show", "--json", path("odd.rec")}, {}},
        {"show blank", {"show", "--json", path("blank.rec")}, {}},
        {"make", {"make", path("made.rec"), "--serial", "M", "--json"}, {}},
        {"read", {"read", "all", "--json"}, {"I2CSIM_FAULTS=read-fail:0:52:9"}},
        {"read, no bus 1", {"read", "bb", "--json"}, {"I2CSIM_MISSING_BUSES=1"}},
        {"write", {"write", "bb", path("sample.rec"), "--backup", path("b.rec"), "--json"}, {}},
        {"write refused", {"write", "cpu", path("sample.rec"), "--json"}, {}},
        {"write failed", {"write", "ext1", path("sample.rec"), "--force", "--json"}, {}},
        {"write protected",
         {"write", "cpu", path("sample.rec"), "--force", "--json"},
         {"I2CSIM_FAULTS=write-protect:0:50"}},
        {"write, no file", {"write", "cpu", path("none.rec"), "--json"}, {}},
    };
    std::set<std::string> seen;
    for (const json_run &run_case : runs) {
        SCOPED_TRACE(run_case.label);
        env = run_case.env;
        run_result r = run(run_case.args);
        json_value doc = parse_line(r.out);
        EXPECT_EQ(doc.at("schema_version")->number, 1);
        for (const auto &[path, value] : json_members(doc)) {
            std::string member = path;
            if (member.rfind("modules[].record.", 0) == 0)
                member = member.substr(std::string("modules[].").size());
            seen.insert(member);
            auto field = SCHEMA.find(member);
            if (field == SCHEMA.end()) {
                ADD_FAILURE() << path << " is no member of the schema";
                continue;
            }
            EXPECT_NE(field->second.find(json_kind_letter(*value)), std::string::npos) << path;
        }
        for (const auto &[path, value] : json_members(doc)) {
            if (value->kind != json_value::ARRAY || path.find("record.") == std::string::npos)
                continue;
            for (const json_value &item : value->items) {
                EXPECT_EQ(item.kind, json_value::STRING) << path;
            }
        }
    }
    std::set<std::string> schema;
    for (const auto &member : SCHEMA)
        schema.insert(member.first);
    EXPECT_EQ(seen, schema) << "a member of the schema never appeared";
    EXPECT_EQ(tagged_words(source_path("docs/okt-idrec.1"), "JSON OUTPUT"), schema)
        << "the manual's JSON OUTPUT lists other members";
}

} // namespace
