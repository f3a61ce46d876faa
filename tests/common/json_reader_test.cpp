// The JSON reader the avr-fwinfo tests check the program's output with: it must refuse what a
// script's JSON parser refuses, or a broken document would pass the tests.
#include "json_reader.h"

#include <gtest/gtest.h>

namespace
{

TEST(JsonReader, ReadsTheValuesTheOutputUses)
{
    json_value doc;
    std::string error;
    ASSERT_TRUE(parse_json(" {\"a\": [1, -2, {\"b\": null}], \"c\": \"x\\\\x1b\\\"\\u0041\", "
                           "\"d\": true, \"e\": false}\n",
                           &doc, &error))
        << error;
    EXPECT_EQ(doc.at("a")->items[1].number, -2);
    EXPECT_EQ(doc.at("a")->items[2].at("b")->kind, json_value::NUL);
    EXPECT_EQ(doc.at("c")->text, "x\\x1b\"A");
    EXPECT_TRUE(doc.at("d")->boolean);
    EXPECT_FALSE(doc.at("e")->boolean);
    EXPECT_EQ(doc.at("a.b"), nullptr);
}

TEST(JsonReader, RefusesWhatIsNotJson)
{
    const char *const texts[] = {
        "",
        "{",
        "{\"a\": 1,}",
        "[1 2]",
        "{\"a\": 1, \"a\": 2}",
        "{\"a\": \"line\nend\"}",
        "{\"a\": \"\\x1b\"}",
        "{\"a\": 01}",
        "{\"a\": tru}",
        "{} {}",
        "{'a': 1}",
    };
    for (const char *text : texts) {
        json_value doc;
        std::string error;
        EXPECT_FALSE(parse_json(text, &doc, &error)) << text;
    }
}

} // namespace
