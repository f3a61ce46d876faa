// The strict checks of dates, texts and boot counters, and the record's state and findings, on
// values in memory.
#include "idrec_checks.h"
#include "idrec_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

std::string hex(const unsigned char *p, int n)
{
    std::string s;
    char b[3];
    for (int i = 0; i < n; i++) {
        snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

std::string describe_text(const char *text)
{
    unsigned char packed[6];
    date_numbers n;
    date_problem p = check_date_text(text, packed, &n);
    char why[DATE_MESSAGE_SIZE];
    describe_date_problem(p, n, text, nullptr, why, sizeof why);
    return why;
}

TEST(DateText, AcceptsCalendarDatesOfTheYears2000To2059Only)
{
    struct date_case {
        const char *text;
        date_problem problem;
        const char *packed_or_why; // the packed bytes in hex, or the reason
    };
    const date_case cases[] = {
        {"14.06.25-09:30", DATE_VALID, "140625200930"},
        {"01.01.00-00:00", DATE_VALID, "010100200000"},
        {"31.12.59-23:59", DATE_VALID, "311259202359"},
        {"29.02.24-12:00", DATE_VALID, "290224201200"},
        {"29.02.00-12:00", DATE_VALID, "290200201200"}, // 2000 is a leap year
        {"29.02.25-12:00", DATE_CALENDAR, "29.02.2025 does not exist"},
        {"30.02.24-12:00", DATE_CALENDAR, "30.02.2024 does not exist"},
        {"31.04.24-12:00", DATE_CALENDAR, "31.04.2024 does not exist"},
        {"31.06.24-12:00", DATE_CALENDAR, "31.06.2024 does not exist"},
        {"31.07.24-12:00", DATE_VALID, "310724201200"},
        {"01.01.60-00:00", DATE_YEAR,
         "year 60 is not 00-59 (the tools read years 60-99 back as invalid)"},
        {"01.01.99-00:00", DATE_YEAR,
         "year 99 is not 00-59 (the tools read years 60-99 back as invalid)"},
        {"00.01.24-00:00", DATE_DAY, "day 00 is not 01-31"},
        {"32.01.24-00:00", DATE_DAY, "day 32 is not 01-31"},
        {"01.00.24-00:00", DATE_MONTH, "month 00 is not 01-12"},
        {"01.13.24-00:00", DATE_MONTH, "month 13 is not 01-12"},
        {"01.01.24-24:00", DATE_HOUR, "hour 24 is not 00-23"},
        {"01.01.24-23:60", DATE_MINUTE, "minute 60 is not 00-59"},
        {"", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"1.1.24-10:00", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"01.02.2012-10:30", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"01.01.24 10:00", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"01/01/24-10:00", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"01.01.24-10:0a", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"+1.01.24-10:00", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"01.01.24-10:00 ", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
        {"now", DATE_FORMAT, "not DD.MM.YY-HH:MM"},
    };
    for (const date_case &c : cases) {
        SCOPED_TRACE(c.text);
        unsigned char packed[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        date_numbers n;
        EXPECT_EQ(check_date_text(c.text, packed, &n), c.problem);
        if (c.problem == DATE_VALID) {
            EXPECT_EQ(hex(packed, 6), c.packed_or_why);
        } else {
            EXPECT_EQ(hex(packed, 6), "aaaaaaaaaaaa"); // untouched
            EXPECT_EQ(describe_text(c.text), c.packed_or_why);
        }
    }
}

TEST(DateBytes, TellValidUnsetAndWhyNot)
{
    struct bytes_case {
        const char *label;
        unsigned char b[6];
        date_problem problem;
        const char *why;
    };
    const bytes_case cases[] = {
        {"valid", {0x14, 0x06, 0x25, 0x20, 0x09, 0x30}, DATE_VALID, "valid"},
        {"zeros", {0, 0, 0, 0, 0, 0}, DATE_UNSET, "unset"},
        {"erased", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, DATE_UNSET, "unset"},
        {"the editor's empty date", {0, 0, 0, 0x20, 0, 0}, DATE_UNSET, "unset"},
        {"partly erased",
         {0x14, 0x06, 0x25, 0x20, 0xFF, 0xFF},
         DATE_UNREADABLE,
         "bytes 14 06 25 20 ff ff: the tools read a byte of 0x5a or above as an invalid date"},
        {"year 60",
         {0x01, 0x01, 0x60, 0x20, 0x00, 0x00},
         DATE_UNREADABLE,
         "bytes 01 01 60 20 00 00: the tools read a byte of 0x5a or above as an invalid date"},
        {"no BCD",
         {0x1A, 0x06, 0x25, 0x20, 0x09, 0x30},
         DATE_FORMAT,
         "bytes 1a 06 25 20 09 30: no BCD date DD MM YY 20 HH MM"},
        {"no separator",
         {0x14, 0x06, 0x25, 0x2D, 0x09, 0x30},
         DATE_FORMAT,
         "bytes 14 06 25 2d 09 30: no BCD date DD MM YY 20 HH MM"},
        {"month 0", {0x14, 0x00, 0x25, 0x20, 0x09, 0x30}, DATE_MONTH, "month 00 is not 01-12"},
        {"day 45", {0x45, 0x01, 0x25, 0x20, 0x09, 0x30}, DATE_DAY, "day 45 is not 01-31"},
        {"hour 24", {0x01, 0x01, 0x25, 0x20, 0x24, 0x00}, DATE_HOUR, "hour 24 is not 00-23"},
        {"31.04", {0x31, 0x04, 0x24, 0x20, 0x10, 0x00}, DATE_CALENDAR, "31.04.2024 does not exist"},
    };
    for (const bytes_case &c : cases) {
        SCOPED_TRACE(c.label);
        date_numbers n;
        const date_problem p = check_date_bytes(c.b, &n);
        EXPECT_EQ(p, c.problem);
        char why[DATE_MESSAGE_SIZE];
        describe_date_problem(p, n, nullptr, c.b, why, sizeof why);
        EXPECT_STREQ(why, c.why);
    }
}

TEST(Text, ZeroToFifteenPrintableAsciiBytes)
{
    struct text_case {
        std::string text;
        text_problem problem;
        const char *why;
    };
    const text_case cases[] = {
        {"", TEXT_VALID, "valid"},
        {" ~", TEXT_VALID, "valid"},
        {"A\\B", TEXT_VALID, "valid"},
        {std::string(15, 'x'), TEXT_VALID, "valid"},
        {std::string(16, 'x'), TEXT_TOO_LONG, "16 bytes; a text has at most 15"},
        {"ab\tc", TEXT_NOT_PRINTABLE, "byte 0x09 at offset 2 is not printable ASCII"},
        {"\x7f", TEXT_NOT_PRINTABLE, "byte 0x7f at offset 0 is not printable ASCII"},
        {"caf\xc3\xa9", TEXT_NOT_PRINTABLE, "byte 0xc3 at offset 3 is not printable ASCII"},
        {std::string(20, 'x') + "\x01", TEXT_NOT_PRINTABLE,
         "byte 0x01 at offset 20 is not printable ASCII"},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto *b = reinterpret_cast<const unsigned char *>(c.text.data());
        std::size_t at = 99;
        const text_problem p = check_text(b, c.text.size(), &at);
        EXPECT_EQ(p, c.problem);
        char why[TEXT_MESSAGE_SIZE];
        describe_text_problem(p, b, c.text.size(), at, why, sizeof why);
        EXPECT_STREQ(why, c.why);
    }
}

TEST(BootCounter, DecimalOrHexUpToTheLargest32BitValue)
{
    struct number_case {
        const char *text;
        bool ok;
        uint32_t value;
    };
    const number_case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"007", true, 7},
        {"4294967295", true, 4294967295u},
        {"0xffffffff", true, 4294967295u},
        {"0XFFFFFFFF", true, 4294967295u},
        {"0x00000000ff", true, 255},
        {"0x2A", true, 42},
        {"4294967296", false, 0},
        {"0x100000000", false, 0},
        {"99999999999999999999", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"-1", false, 0},
        {"+1", false, 0},
        {" 1", false, 0},
        {"1 ", false, 0},
        {"12a", false, 0},
        {"ff", false, 0},
        {"0x1g", false, 0},
    };
    for (const number_case &c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t v = 12345;
        EXPECT_EQ(parse_bootcntr(c.text, &v), c.ok);
        EXPECT_EQ(v, c.ok ? c.value : 12345u);
    }
}

okt_eep_data filled(unsigned char b)
{
    okt_eep_data d;
    memset(&d, b, sizeof d);
    return d;
}

TEST(RecordState, BlankEmptyOrProgrammed)
{
    struct state_case {
        const char *label;
        okt_eep_data record;
        record_state state;
    };
    okt_eep_data erased_read_back = filled(0xFF); // what a read of an erased EEPROM holds
    erased_read_back.desc_string[15] = erased_read_back.rev_string[15] =
        erased_read_back.serial[15] = 0;
    okt_eep_data one_bit = filled(0);
    one_bit.reserved[63] = 1;
    okt_eep_data almost_blank = filled(0xFF);
    almost_blank.bootcntr[0] = 0; // a 0 outside the bytes reads clear
    const state_case cases[] = {
        {"all 0xff", filled(0xFF), RECORD_BLANK},
        {"erased, read back", erased_read_back, RECORD_BLANK},
        {"all 0", filled(0), RECORD_EMPTY},
        {"one reserved bit", one_bit, RECORD_PROGRAMMED},
        {"one other zero", almost_blank, RECORD_PROGRAMMED},
    };
    for (const state_case &c : cases) {
        SCOPED_TRACE(c.label);
        record_facts f;
        decode_record(c.record, &f);
        EXPECT_EQ(f.state, c.state);
        record_finding found[RECORD_FINDINGS_MAX];
        if (c.state != RECORD_PROGRAMMED) {
            EXPECT_EQ(record_findings(f, found), 0); // nothing to warn about before programming
        }
    }
}

TEST(RecordFindings, EveryKindInFieldOrder)
{
    okt_eep_data d = {};
    const unsigned char bad_date[6] = {0x31, 0x04, 0x24, 0x20, 0x10, 0x00};
    memcpy(d.maint_date, bad_date, 6);
    memcpy(d.desc_string, "ABCDEFGHIJKLMNOP", 16); // no zero in the field
    memcpy(d.serial, "S\x1b", 2);
    d.reserved[10] = 7;
    d.reserved[11] = 8;
    record_facts f;
    decode_record(d, &f);
    record_finding found[RECORD_FINDINGS_MAX];
    const int n = record_findings(f, found);
    const char *expected[] = {
        "maint_date: 31.04.2024 does not exist",
        "desc: not terminated inside its field; read back, it is cut to its first 15 bytes",
        "serial: byte 0x1b at offset 1 is not printable ASCII",
        "reserved: 2 of the bytes 64-127 are not 0 (information only)",
    };
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; i++) {
        char message[FINDING_MESSAGE_SIZE];
        describe_finding(f, found[i], message, sizeof message);
        EXPECT_STREQ(message, expected[i]);
        EXPECT_EQ(finding_is_warning(found[i].kind), i < 3);
    }
    EXPECT_EQ(f.desc.length, 16u);
    EXPECT_FALSE(f.desc.terminated);
}

} // namespace
