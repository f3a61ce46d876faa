// show and make on record files: the text and JSON reports, the strict checks of every field
// option, the atomic output, and show --json | make --json-in - round-tripping records.
#include "idrec_test_support.h"

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

namespace
{

const std::string &SAMPLE_SHOWN = SAMPLE_TEXT;

TEST_F(idrec, ShowGivesEachFieldAsTheEditorShowsIt)
{
    const std::string file = put("x1.rec", sample_record());
    run_result r = run({"show", file});
    EXPECT_EQ(r.out, "File               : " + file + "\n" + SAMPLE_SHOWN);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

// Warnings are information for show: it still shows the record and exits 0.
TEST_F(idrec, ShowWarnsOnStandardErrorAndStillSucceeds)
{
    record_fields f;
    f.bootcntr = 0xFFFFFFFF;
    f.manuf_date = std::string("\x31\x04\x24\x20\x10\x00", 6);
    f.maint_date = std::string(6, '\xFF');
    f.desc = "ABCDEFGHIJKLMNOP"; // no zero in the field
    f.rev = "R\x1b[2J";
    f.serial = "A\\B";
    f.reserved[5] = '\x01';
    const std::string file = put("odd.rec", build_record(f));
    run_result r = run({"show", file});
    EXPECT_EQ(r.out, "File               : " + file +
                         "\n"
                         "State              : programmed\n"
                         "BootCounter        : 4294967295 (0xffffffff)\n"
                         "Manufacture Date   :  31.04.24-10:00 [not valid: 31.04.2024 does not "
                         "exist]\n"
                         "Maintainance Date  :  (invalid) [unset]\n"
                         "Module Description : [ABCDEFGHIJKLMNOP] [not terminated]\n"
                         "Revision String    : [R\\x1b[2J       ]\n"
                         "Serial Number      : [A\\x5cB         ]\n"
                         "Reserved           : 1 of 64 bytes not zero\n");
    const std::string who = "okt-idrec: " + file + ": ";
    EXPECT_EQ(r.err, who + "warning: manuf_date: 31.04.2024 does not exist\n" + who +
                         "warning: desc: not terminated inside its field; read back, it is cut "
                         "to its first 15 bytes\n" +
                         who + "warning: rev: byte 0x1b at offset 1 is not printable ASCII\n" +
                         who +
                         "note: reserved: 1 of the bytes 64-127 are not 0 (information only)\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(idrec, ShowTellsBlankAndEmptyRecordsWithoutWarnings)
{
    std::string erased(RECORD_SIZE, '\xFF');
    struct state_case {
        const char *name;
        std::string bytes;
        std::string state;
    };
    const state_case cases[] = {
        {"blank.rec", erased, "blank (every byte 0xff)"},
        {"blank-read.rec", sanitized(erased), "blank (every byte 0xff)"},
        {"empty.rec", std::string(RECORD_SIZE, '\0'), "empty (every byte 0)"},
    };
    for (const state_case &c : cases) {
        SCOPED_TRACE(c.name);
        run_result r = run({"show", put(c.name, c.bytes)});
        EXPECT_NE(r.out.find("State              : " + c.state + "\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST_F(idrec, ShowRefusesFilesOfAnotherSizeAndGoesOnWithTheRest)
{
    const std::string good = put("good.rec", sample_record());
    const std::string small = put("small.rec", std::string(127, 'x'));
    const std::string big = put("big.rec", std::string(4096, 'x'));
    const std::string missing = path("missing.rec");
    run_result r = run({"show", small, good, big, missing, "/dev/null"});
    EXPECT_EQ(r.out, "File               : " + good + "\n" + SAMPLE_SHOWN);
    EXPECT_EQ(r.err, "okt-idrec: " + small + ": 127 bytes; a record file holds exactly 128\n" +
                         "okt-idrec: " + big + ": 4096 bytes; a record file holds exactly 128\n" +
                         "okt-idrec: " + missing + ": cannot read: No such file or directory\n" +
                         "okt-idrec: /dev/null: 0 bytes; a record file holds exactly 128\n");
    EXPECT_EQ(r.status, 3);
}

TEST_F(idrec, ShowOfSeveralFilesGivesOneReportOrJsonLineEach)
{
    const std::string a = put("a.rec", sample_record());
    const std::string b = put("b.rec", std::string(RECORD_SIZE, '\0'));
    run_result text = run({"show", a, b});
    EXPECT_EQ(text.out.find("File               : " + a + "\n"), 0u);
    EXPECT_NE(text.out.find("\n\nFile               : " + b + "\n"), std::string::npos);
    run_result json = run({"show", "--json", a, b});
    std::vector<std::string> lines = split_lines(json.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(parse_line(lines[0] + "\n").at("file")->text, a);
    EXPECT_EQ(parse_line(lines[1] + "\n").at("record.state")->text, "empty");
    EXPECT_EQ(json.status, 0);
}

// make's checks, each at its limit: what passes is stored whole, what does not is refused with
// a message naming the option and nothing is written.
TEST_F(idrec, MakeStoresWhatPassesTheChecksAndRefusesTheRest)
{
    struct make_case {
        std::vector<std::string> options;
        std::string refusal; // empty: accepted
        record_fields stored;
    };
    auto with = [](auto change) {
        record_fields f;
        change(f);
        return f;
    };
    const std::string fifteen = "0123456789abcde";
    const make_case cases[] = {
        {{"--serial", fifteen}, "", with([&](record_fields &f) { f.serial = fifteen; })},
        {{"--serial", fifteen + "f"},
         "okt-idrec: --serial \"0123456789abcdef\": 16 bytes; a text has at most 15\n",
         {}},
        {{"--desc", fifteen}, "", with([&](record_fields &f) { f.desc = fifteen; })},
        {{"--desc", fifteen + "f"},
         "okt-idrec: --desc \"0123456789abcdef\": 16 bytes; a text has at most 15\n",
         {}},
        {{"--rev", ""}, "", {}},
        {{"--rev", fifteen + "f"},
         "okt-idrec: --rev \"0123456789abcdef\": 16 bytes; a text has at most 15\n",
         {}},
        {{"--serial", "A\\B \"q\" ~"}, "", with([](record_fields &f) {
             f.serial = "A\\B \"q\" ~";
         })},
        {{"--serial", "A\tB"},
         "okt-idrec: --serial \"A\\x09B\": byte 0x09 at offset 1 is not printable ASCII\n",
         {}},
        {{"--serial", "caf\xc3\xa9"},
         "okt-idrec: --serial \"caf\\xc3\\xa9\": byte 0xc3 at offset 3 is not printable ASCII\n",
         {}},
        {{"--manuf-date", "29.02.24-23:59"}, "", with([](record_fields &f) {
             f.manuf_date = std::string("\x29\x02\x24\x20\x23\x59", 6);
         })},
        {{"--manuf-date", "29.02.25-10:00"},
         "okt-idrec: --manuf-date \"29.02.25-10:00\": 29.02.2025 does not exist\n",
         {}},
        {{"--maint-date", "31.04.24-10:00"},
         "okt-idrec: --maint-date \"31.04.24-10:00\": 31.04.2024 does not exist\n",
         {}},
        {{"--maint-date", "31.12.59-00:00"}, "", with([](record_fields &f) {
             f.maint_date = std::string("\x31\x12\x59\x20\x00\x00", 6);
         })},
        {{"--maint-date", "01.01.60-00:00"},
         "okt-idrec: --maint-date \"01.01.60-00:00\": year 60 is not 00-59 (the tools read years "
         "60-99 back as invalid)\n",
         {}},
        {{"--manuf-date", "01.01.24-24:00"},
         "okt-idrec: --manuf-date \"01.01.24-24:00\": hour 24 is not 00-23\n",
         {}},
        {{"--manuf-date", "1.1.24"},
         "okt-idrec: --manuf-date \"1.1.24\": not DD.MM.YY-HH:MM\n",
         {}},
        {{"--bootcntr", "4294967295"}, "", with([](record_fields &f) {
             f.bootcntr = 4294967295u;
         })},
        {{"--bootcntr", "0xFFFFFFFF"}, "", with([](record_fields &f) {
             f.bootcntr = 4294967295u;
         })},
        {{"--bootcntr", "0x2a"}, "", with([](record_fields &f) { f.bootcntr = 42; })},
        {{"--bootcntr", "4294967296"},
         "okt-idrec: --bootcntr \"4294967296\": not a number 0-4294967295 (decimal, or hex after "
         "0x)\n",
         {}},
        {{"--bootcntr", "-1"},
         "okt-idrec: --bootcntr \"-1\": not a number 0-4294967295 (decimal, or hex after 0x)\n",
         {}},
        {{"--serial=X", "--rev=B2"}, "", with([](record_fields &f) {
             f.serial = "X";
             f.rev = "B2";
         })},
        // Every refusal is told, not only the first.
        {{"--serial", fifteen + "f", "--bootcntr", "x"},
         "okt-idrec: --bootcntr \"x\": not a number 0-4294967295 (decimal, or hex after 0x)\n"
         "okt-idrec: --serial \"0123456789abcdef\": 16 bytes; a text has at most 15\n",
         {}},
    };
    for (const make_case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        const std::string out = path("out.rec");
        put("out.rec", "older");
        std::vector<std::string> args = {"make", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        run_result r = run(args);
        if (!c.refusal.empty()) {
            EXPECT_EQ(r.err, c.refusal);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(read_file(out), "older");
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(hex(read_file(out)), hex(build_record(c.stored)));
        // make shows what it wrote as show shows the file.
        run_result shown = run({"show", out});
        EXPECT_EQ(r.out, shown.out);
        EXPECT_EQ(r.err, shown.err);
        // And show --json is enough to make the same record again.
        run_result again =
            run({"make", path("again.rec"), "--json-in", "-"}, run({"show", "--json", out}).out);
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(hex(read_file(path("again.rec"))), hex(read_file(out)));
    }
    EXPECT_EQ(entries_of(dir.path), (std::vector<std::string>{"again.rec", "out.rec"}));
}

TEST_F(idrec, MakeFromARecordKeepsWhatNoOptionReplaces)
{
    record_fields f;
    f.bootcntr = 7;
    f.manuf_date = std::string("\x14\x06\x25\x20\x09\x30", 6);
    f.desc = "WLD OKT-MOD-X1";
    f.serial = "OLD";
    for (int i = 0; i < 64; i++)
        f.reserved[i] = static_cast<char>(i + 1);
    std::string source = build_record(f);
    source[31] = 'x'; // a read clears it; make does too
    const std::string from = put("from.rec", source);
    run_result r = run({"make", path("new.rec"), "--from", from, "--serial", "NEW-1"});
    EXPECT_EQ(r.status, 0) << r.err;
    f.serial = "NEW-1";
    EXPECT_EQ(hex(read_file(path("new.rec"))), hex(build_record(f)));
    EXPECT_EQ(r.err, "okt-idrec: " + path("new.rec") +
                         ": note: reserved: 64 of the bytes 64-127 are not 0 (information only)\n");

    // A record made in place: the source is read before the output replaces it.
    r = run({"make", from, "--from", from, "--rev", "B"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(from).substr(32, 2), std::string("B\0", 2));
}

TEST_F(idrec, MakeFromARecordRefusesWhatShowWouldWarnAbout)
{
    record_fields f;
    f.manuf_date = std::string("\x31\x04\x24\x20\x10\x00", 6);
    f.serial = "S\x01";
    const std::string from = put("from.rec", build_record(f));
    run_result r = run({"make", path("new.rec"), "--from", from});
    EXPECT_EQ(r.err, "okt-idrec: " + from +
                         ": manuf_date: 31.04.2024 does not exist (--manuf-date replaces it)\n" +
                         "okt-idrec: " + from +
                         ": serial: byte 0x01 at offset 1 is not printable ASCII (--serial "
                         "replaces it)\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(entries_of(dir.path), (std::vector<std::string>{"from.rec"}));

    r = run({"make", path("new.rec"), "--from", from, "--manuf-date", "30.04.24-10:00", "--serial",
             "S1"});
    EXPECT_EQ(r.status, 0) << r.err;

    // A source of another size is a file error.
    r = run({"make", path("x.rec"), "--from", put("short.rec", "abc")});
    EXPECT_EQ(r.err,
              "okt-idrec: " + path("short.rec") + ": 3 bytes; a record file holds exactly 128\n");
    EXPECT_EQ(r.status, 3);
}

TEST_F(idrec, NowIsTheClocksLocalTime)
{
    const time_t before = time(nullptr);
    run_result r = run({"make", path("now.rec"), "--manuf-date", "now", "--maint-date", "now"});
    const time_t after = time(nullptr);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string rec = read_file(path("now.rec"));
    auto packed = [](time_t t) {
        struct tm u;
        gmtime_r(&t, &u); // the program runs with TZ=UTC
        auto bcd = [](int v) { return static_cast<char>((v / 10) << 4 | (v % 10)); };
        return std::string{bcd(u.tm_mday), bcd(u.tm_mon + 1), bcd(u.tm_year % 100), ' ',
                           bcd(u.tm_hour), bcd(u.tm_min)};
    };
    EXPECT_TRUE(rec.substr(4, 6) == packed(before) || rec.substr(4, 6) == packed(after))
        << hex(rec.substr(4, 6));
    EXPECT_EQ(rec.substr(4, 6), rec.substr(10, 6));
}

TEST_F(idrec, MakeReplacesItsOutputAtomicallyWithMode0644)
{
    const std::string out = put("out.rec", "older");
    ASSERT_EQ(chmod(out.c_str(), 0600), 0);
    const mode_t mask = umask(022);
    run_result r = run({"make", out, "--serial", "A"});
    umask(mask);
    ASSERT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    struct fail_case {
        std::string out;
        std::string err;
    };
    const fail_case cases[] = {
        {path("no/such/dir/x.rec"), "okt-idrec: output " + path("no/such/dir/x.rec") +
                                        ": cannot be saved: No such file or directory\n"},
        {"/dev/null",
         "okt-idrec: output /dev/null: not a regular file; records are saved to files only\n"},
        {dir.path, "okt-idrec: output " + dir.path +
                       ": not a regular file; records are saved to files only\n"},
    };
    for (const fail_case &c : cases) {
        SCOPED_TRACE(c.out);
        r = run({"make", c.out, "--serial", "A"});
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 3);
    }
    EXPECT_EQ(entries_of(dir.path), std::vector<std::string>{"out.rec"});
}

// Every record that passes the checks comes back byte for byte through its JSON: the reserved
// area, the unset forms of a date, and the bytes after a text's end included.
TEST_F(idrec, ShowJsonThenMakeJsonInRoundTripsValidRecords)
{
    srand(20);
    auto pick = [](int n) { return rand() % n; };
    const std::string unset[] = {std::string(6, '\0'), std::string(6, '\xFF'),
                                 std::string("\0\0\0\x20\0\0", 6)};
    for (int round = 0; round < 12; round++) {
        SCOPED_TRACE(round);
        record_fields f;
        f.bootcntr = static_cast<uint32_t>(rand()) * 2654435761u;
        auto bcd = [](int v) { return static_cast<char>((v / 10) << 4 | (v % 10)); };
        auto date = [&]() {
            if (pick(3) == 0)
                return unset[pick(3)];
            return std::string{bcd(1 + pick(28)), bcd(1 + pick(12)), bcd(pick(60)), ' ',
                               bcd(pick(24)),     bcd(pick(60))};
        };
        f.manuf_date = date();
        f.maint_date = date();
        for (std::string *t : {&f.desc, &f.rev, &f.serial}) {
            const int len = pick(16);
            for (int i = 0; i < len; i++)
                *t += static_cast<char>(0x20 + pick(0x5F)); // backslashes and quotes too
            // What follows the text's zero carries no meaning but is kept.
            std::string field(16, '\0');
            field.replace(0, t->size(), *t);
            for (int i = len + 1; i < 15; i++)
                field[i] = pick(2) ? static_cast<char>(pick(256)) : '\0';
            *t = field;
        }
        for (char &b : f.reserved)
            b = static_cast<char>(pick(256));
        const std::string record = sanitized(build_record(f));
        const std::string file = put("r.rec", record);
        run_result shown = run({"show", "--json", file});
        ASSERT_EQ(shown.status, 0);
        run_result made = run({"make", path("back.rec"), "--json-in", "-"}, shown.out);
        ASSERT_EQ(made.status, 0) << made.err << "\n" << shown.out;
        EXPECT_EQ(hex(read_file(path("back.rec"))), hex(record));
    }
}

TEST_F(idrec, JsonInRefusesWhatIsNotAValidDocument)
{
    const std::string doc = run({"show", "--json", put("x.rec", sample_record())}).out;
    auto edited = [&](const std::string &from, const std::string &to) {
        std::string d = doc;
        const std::size_t at = d.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? d : d.replace(at, from.size(), to);
    };
    struct doc_case {
        std::string text;
        int status;
        std::string err; // after "okt-idrec: standard input: "
    };
    const doc_case cases[] = {
        {edited("\"serial\":{\"text\":\"X1-2025-01234\"",
                "\"serial\":{\"text\":\"X1-2025-012345678\""),
         2, "record.serial.text: 17 bytes; a text has at most 15"},
        {edited("\"serial\":{\"text\":\"X1-2025-01234\"", "\"serial\":{\"text\":\"X1\\\\x0a\""), 2,
         "record.serial.text: byte 0x0a at offset 2 is not printable ASCII"},
        {edited("\"serial\":{\"text\":\"X1-2025-01234\"", "\"serial\":{\"text\":\"X1\\\\n\""), 2,
         "record.serial.text: offset 2: not in the shown form (printable ASCII, \\xNN)"},
        {edited("\"text\":\"14.06.25-09:30\"", "\"text\":\"29.02.25-09:30\""), 2,
         "record.manuf_date.text: \"29.02.25-09:30\": 29.02.2025 does not exist"},
        // Without a text the bytes hold the date, which must be valid or unset.
        {edited("\"text\":\"14.06.25-09:30\"", "\"text\":null"), 0, ""},
        {edited("\"text\":\"14.06.25-09:30\",\"valid\":true,\"problem\":null,\"editor_text\":"
                "\"14.06.25-09:30\",\"editor_valid\":true,\"bytes\":\"140625200930\"",
                "\"text\":null,\"bytes\":\"310424201000\""),
         2, "record.manuf_date.bytes: 31.04.2024 does not exist"},
        {edited("\"bytes\":\"140625200930\"", "\"bytes\":\"1406252009\""), 0, ""},
        {edited("\"value\":42", "\"value\":4294967296"), 2,
         "record.bootcntr.value: 4294967296 is not 0-4294967295"},
        {edited("\"value\":42", "\"value\":\"42\""), 2, "record.bootcntr.value: a number expected"},
        {edited("\"rev\":{", "\"revision\":{"), 2, "record.revision: no such member"},
        {edited("\"schema_version\":1", "\"schema_version\":2"), 2,
         "schema_version: 2; this okt-idrec reads version 1"},
        {edited("\"reserved\":{\"zero\":true,\"bytes\":\"00",
                "\"reserved\":{\"zero\":true,\"bytes\":\"0"),
         2, "record.reserved.bytes: 128 hex digits expected"},
        {"{\"schema_version\":1}", 2, "record: missing"},
        {"{\"record\":{}}", 2, "schema_version: missing; this okt-idrec reads version 1"},
        {"[]", 2, "not a document of show --json: no object"},
        {doc + doc, 2, "not JSON: text after the value at offset " + std::to_string(doc.size())},
        {"{\"schema_version\":1,\"record\":{},\"record\":{}}", 2,
         "not JSON: key given twice at offset 32"},
        {"{\"schema_version\":1,\"record\":{\"serial\":{\"text\":\"" + std::string(70000, 'x') +
             "\"}}}",
         2, "more than 65536 bytes; a document has at most 65536"},
    };
    for (const doc_case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 300));
        run_result r = run({"make", path("out.rec"), "--json-in", "-"}, c.text);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.err, "okt-idrec: standard input: " + c.err + "\n");
            EXPECT_EQ(r.out, "");
        }
        unlink(path("out.rec").c_str());
    }
}

TEST_F(idrec, JsonInTakesMissingMembersAsZerosAndOptionsOverIt)
{
    const std::string doc = put("min.json", "{\"schema_version\": 1, \"record\": "
                                            "{\"serial\": {\"text\": \"S-1\"}}}");
    run_result r = run({"make", path("out.rec"), "--json-in", doc, "--rev", "C"});
    EXPECT_EQ(r.status, 0) << r.err;
    record_fields f;
    f.serial = "S-1";
    f.rev = "C";
    EXPECT_EQ(hex(read_file(path("out.rec"))), hex(build_record(f)));

    r = run({"make", path("out.rec"), "--json-in", path("missing.json")});
    EXPECT_EQ(r.err,
              "okt-idrec: " + path("missing.json") + ": cannot read: No such file or directory\n");
    EXPECT_EQ(r.status, 3);
}

} // namespace
