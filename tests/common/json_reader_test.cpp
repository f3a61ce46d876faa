// The strict JSON reader that okt-idrec reads its input with and the tests check the programs'
// output with: it must refuse what a script's JSON parser refuses, or a broken document would
// pass the tests, and it must stay within its bounds on any input.
#include "json_reader.h"
#include "json_value.h"

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
        "{\"a\": 1.5}",
        "{\"a\": 1e3}",
        "{\"a\": -}",
        "{\"a\": 9223372036854775808}",
        "{\"a\": -9223372036854775809}",
        "{\"a\": \"\\u00e4\"}",
        "{\"a\": \"\\u12\"}",
        "\"open",
        "{\"a\" 1}",
        "{\"a\\u0062\": 1, \"ab\": 2}", // the same name, once escaped
    };
    for (const char *text : texts) {
        json_value doc;
        std::string error;
        EXPECT_FALSE(parse_json(text, &doc, &error)) << text;
    }
}

TEST(JsonReader, IntegersReachTheEndsOfLongLong)
{
    json_value doc;
    std::string error;
    ASSERT_TRUE(parse_json("[9223372036854775807, -9223372036854775808, -0]", &doc, &error))
        << error;
    EXPECT_EQ(doc.items[0].number, 9223372036854775807LL);
    EXPECT_EQ(doc.items[1].number, -9223372036854775807LL - 1);
    EXPECT_EQ(doc.items[2].number, 0);
}

TEST(JsonReader, StaysWithinItsBounds)
{
    const std::string deep_ok = std::string(32, '[') + std::string(32, ']');
    const std::string too_deep = std::string(34, '[') + std::string(34, ']');
    json_node nodes[40];
    json_doc doc;
    EXPECT_EQ(json_parse(deep_ok.data(), deep_ok.size(), nodes, 40, &doc), JSON_PARSED);
    EXPECT_EQ(json_parse(too_deep.data(), too_deep.size(), nodes, 40, &doc), JSON_BAD);
    EXPECT_STREQ(doc.error, "nested too deep");

    const std::string four = "[1, 2, 3]";
    EXPECT_EQ(json_parse(four.data(), four.size(), nodes, 4, &doc), JSON_PARSED);
    EXPECT_EQ(doc.count, 4);
    EXPECT_EQ(json_parse(four.data(), four.size(), nodes, 3, &doc), JSON_TOO_MANY_VALUES);

    std::string big = "\"" + std::string(JSON_TEXT_MAX - 2, 'x') + "\"";
    EXPECT_EQ(json_parse(big.data(), big.size(), nodes, 1, &doc), JSON_PARSED);
    big += ' ';
    EXPECT_EQ(json_parse(big.data(), big.size(), nodes, 1, &doc), JSON_TOO_LONG);
}

TEST(JsonReader, FindsMembersByTheirDecodedNamesAndDecodesStrings)
{
    const std::string text = "{\"se\\u0072ial\": \"A\\\\x41\", \"n\": {}}";
    json_node nodes[8];
    json_doc doc;
    ASSERT_EQ(json_parse(text.data(), text.size(), nodes, 8, &doc), JSON_PARSED);
    const int serial = json_member(doc, 0, "serial");
    ASSERT_GE(serial, 0);
    EXPECT_EQ(json_member(doc, 0, "seria"), -1);
    EXPECT_EQ(json_member(doc, 0, "serials"), -1);
    EXPECT_EQ(json_member(doc, serial, "x"), -1); // a string has no members
    EXPECT_EQ(json_member(doc, json_member(doc, 0, "n"), "x"), -1);

    char out[8];
    std::size_t len = 0;
    ASSERT_TRUE(
        json_decode(doc, nodes[serial].text_at, nodes[serial].text_len, out, sizeof out, &len));
    EXPECT_EQ(std::string(out, len), "A\\x41");
    EXPECT_FALSE(json_decode(doc, nodes[serial].text_at, nodes[serial].text_len, out, 5, &len));
}

} // namespace
