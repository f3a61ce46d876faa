// The tests' view of one JSON document, read with the product's strict reader
// (common/json_reader.h): a tree of values that a test walks by member names.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct json_value {
    enum kind_t { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT } kind = NUL;
    bool boolean = false;
    long long number = 0;
    std::string text;
    std::vector<json_value> items;                           // ARRAY
    std::vector<std::pair<std::string, json_value>> members; // OBJECT

    // The member `key` of an object, or null when there is none (or this is no object).
    const json_value *find(const std::string &key) const;
    // The value at a dotted path of member names ("stamp.matches"); null when any step is
    // missing.
    const json_value *at(const std::string &path) const;
};

// Parses `text` as exactly one JSON value with nothing but white space around it. On failure
// returns false and tells where in *error.
bool parse_json(const std::string &text, json_value *out, std::string *error);

// The kind as one letter: z null, b true or false, n number, s string, a array, o object.
char json_kind_letter(const json_value &v);

// Every member of the document with its path: object members joined with ".", members of the
// objects inside an array under "name[]" ("blocks.flash.ranges[].first").
std::vector<std::pair<std::string, const json_value *>> json_members(const json_value &root);
