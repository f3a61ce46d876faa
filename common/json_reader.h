// A strict reader of one JSON document held in memory: exactly one value with nothing but white
// space around it; objects keep their members in order and refuse a name given twice; numbers
// are integers (no fraction, no exponent, within long long); strings refuse raw control
// characters, and \u escapes beyond ASCII. Documents over JSON_TEXT_MAX bytes or nested deeper
// than JSON_DEPTH_MAX are refused. It allocates nothing: the values go into the caller's array,
// and strings stay in the text until json_decode asks for them.
#pragma once

#include <cstddef>

constexpr std::size_t JSON_TEXT_MAX = 64 * 1024; // bytes a document may have
constexpr int JSON_DEPTH_MAX = 32;               // arrays and objects inside each other

enum json_kind { JSON_NULL, JSON_BOOL, JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT };

// One value. Values refer to each other by their index in the array; -1 is none.
struct json_node {
    json_kind kind;
    bool boolean;
    long long number;
    int first; // JSON_ARRAY, JSON_OBJECT: the first item or member, or -1
    int next;  // the following item or member of the same array or object, or -1
    // A member of an object: its name as it stands in the text, between the quotes.
    std::size_t name_at;
    std::size_t name_len;
    // JSON_STRING: the string as it stands in the text, between the quotes.
    std::size_t text_at;
    std::size_t text_len;
};

struct json_doc {
    const char *text;
    std::size_t len;
    const json_node *nodes; // nodes[0] is the document's value
    int count;
    // After a failure: what was wrong, and the offset in the text where it was found.
    const char *error;
    std::size_t error_at;
};

enum json_parse_result {
    JSON_PARSED,
    JSON_TOO_LONG,        // more than JSON_TEXT_MAX bytes; nothing was read
    JSON_TOO_MANY_VALUES, // more values than the array holds
    JSON_BAD,             // not one strict JSON value (doc->error says why)
};

// Parses `len` bytes of `text` into nodes[0..capacity-1]. The document refers to text and nodes,
// which must outlive it.
json_parse_result json_parse(const char *text, std::size_t len, json_node *nodes, int capacity,
                             json_doc *doc);

// The member `name` of the object at index `object`, or -1 when there is none or the value is no
// object.
int json_member(const json_doc &doc, int object, const char *name);

// Decodes the JSON escapes of a string's text (text_at/text_len, or a member's name_at/name_len)
// into out, which holds `size` bytes, and terminates it. *len gets the number of bytes, which may
// include zero bytes (\u0000). false when they do not fit with the terminator; out then holds as
// many as fit, terminated.
bool json_decode(const json_doc &doc, std::size_t at, std::size_t n, char *out, std::size_t size,
                 std::size_t *len);
