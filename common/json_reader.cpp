#include "json_reader.h"

#include "hex_digit.h"

#include <climits>
#include <cstring>
#include <initializer_list>

namespace
{

struct reader {
    const char *s;
    std::size_t len;
    std::size_t at;
    json_node *nodes;
    int capacity;
    int count;
    const char *error;
    std::size_t error_at;
    bool full;
};

bool fail(reader &r, const char *what)
{
    if (!r.error) {
        r.error = what;
        r.error_at = r.at;
    }
    return false;
}

void skip_space(reader &r)
{
    while (r.at < r.len &&
           (r.s[r.at] == ' ' || r.s[r.at] == '\t' || r.s[r.at] == '\r' || r.s[r.at] == '\n'))
        ++r.at;
}

bool take(reader &r, char c)
{
    skip_space(r);
    if (r.at < r.len && r.s[r.at] == c) {
        ++r.at;
        return true;
    }
    return false;
}

bool word(reader &r, const char *w)
{
    const std::size_t n = strlen(w);
    if (r.len - r.at < n || memcmp(r.s + r.at, w, n) != 0)
        return false;
    r.at += n;
    return true;
}

// The escape letters and what they stand for.
constexpr char ESCAPED[] = "\"\\/bfnrt";
constexpr char MEANT[] = "\"\\/\b\f\n\r\t";

// The next byte of a string's text at *i that checked as valid; advances *i past it.
char next_char(const char *s, std::size_t *i)
{
    const char c = s[(*i)++];
    if (c != '\\')
        return c;
    const char e = s[(*i)++];
    if (e != 'u')
        return MEANT[strchr(ESCAPED, e) - ESCAPED];
    int code = 0;
    for (int k = 0; k < 4; ++k)
        code = code * 16 + hex_digit_value(s[(*i)++]);
    return static_cast<char>(code);
}

// Checks a string from its opening quote; *at and *n get its text between the quotes.
bool read_string(reader &r, std::size_t *at, std::size_t *n)
{
    if (!take(r, '"'))
        return fail(r, "string expected");
    *at = r.at;
    while (r.at < r.len) {
        const char c = r.s[r.at];
        if (c == '"') {
            *n = r.at - *at;
            ++r.at;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return fail(r, "control character in a string");
        ++r.at;
        if (c != '\\')
            continue;
        if (r.at >= r.len)
            break;
        const char e = r.s[r.at];
        if (e == 'u') {
            int code = 0;
            for (int k = 1; k <= 4; ++k) {
                const int d = r.at + k < r.len ? hex_digit_value(r.s[r.at + k]) : -1;
                if (d < 0)
                    return fail(r, "bad \\u escape");
                code = code * 16 + d;
            }
            // Only ASCII is ever written, and the shown form needs no more.
            if (code >= 0x80)
                return fail(r, "\\u escape beyond ASCII");
            r.at += 5;
        } else if (e != '\0' && strchr(ESCAPED, e) != nullptr) {
            ++r.at;
        } else {
            return fail(r, "bad escape");
        }
    }
    return fail(r, "string not closed");
}

bool read_number(reader &r, json_node *v)
{
    bool negative = r.at < r.len && r.s[r.at] == '-';
    if (negative)
        ++r.at;
    const std::size_t digits = r.at;
    unsigned long long value = 0;
    // The magnitude of LLONG_MIN is one more than LLONG_MAX.
    const unsigned long long limit =
        static_cast<unsigned long long>(LLONG_MAX) + (negative ? 1 : 0);
    while (r.at < r.len && r.s[r.at] >= '0' && r.s[r.at] <= '9') {
        const unsigned d = static_cast<unsigned>(r.s[r.at] - '0');
        if (value > (limit - d) / 10)
            return fail(r, "number out of range");
        value = value * 10 + d;
        ++r.at;
    }
    if (r.at == digits || (r.s[digits] == '0' && r.at - digits > 1))
        return fail(r, "bad number");
    if (r.at < r.len && (r.s[r.at] == '.' || r.s[r.at] == 'e' || r.s[r.at] == 'E'))
        return fail(r, "fraction or exponent in a number");
    v->kind = JSON_NUMBER;
    v->number = negative ? static_cast<long long>(0ULL - value) : static_cast<long long>(value);
    return true;
}

bool same_text(const char *s, std::size_t a, std::size_t a_len, std::size_t b, std::size_t b_len)
{
    std::size_t i = a;
    std::size_t j = b;
    while (i < a + a_len && j < b + b_len) {
        if (next_char(s, &i) != next_char(s, &j))
            return false;
    }
    return i == a + a_len && j == b + b_len;
}

int new_node(reader &r)
{
    if (r.count == r.capacity) {
        r.full = true;
        fail(r, "too many values");
        return -1;
    }
    json_node &n = r.nodes[r.count];
    n = json_node{JSON_NULL, false, 0, -1, -1, 0, 0, 0, 0};
    return r.count++;
}

bool read_value(reader &r, int v, int depth);

// Reads the items or members after the opening bracket of the array or object at index v.
bool read_items(reader &r, int v, int depth, bool object)
{
    const char close = object ? '}' : ']';
    if (take(r, close))
        return true;
    int last = -1;
    do {
        std::size_t name_at = 0;
        std::size_t name_len = 0;
        if (object) {
            if (!read_string(r, &name_at, &name_len))
                return false;
            for (int m = r.nodes[v].first; m >= 0; m = r.nodes[m].next) {
                if (same_text(r.s, r.nodes[m].name_at, r.nodes[m].name_len, name_at, name_len)) {
                    r.at = name_at - 1; // the error names where the second one begins
                    return fail(r, "key given twice");
                }
            }
            if (!take(r, ':'))
                return fail(r, ": expected");
        }
        const int item = new_node(r);
        if (item < 0)
            return false;
        r.nodes[item].name_at = name_at;
        r.nodes[item].name_len = name_len;
        if (last < 0)
            r.nodes[v].first = item;
        else
            r.nodes[last].next = item;
        last = item;
        if (!read_value(r, item, depth + 1))
            return false;
    } while (take(r, ','));
    return take(r, close) || fail(r, object ? "} expected" : "] expected");
}

bool read_value(reader &r, int v, int depth)
{
    if (depth > JSON_DEPTH_MAX)
        return fail(r, "nested too deep");
    skip_space(r);
    if (r.at >= r.len)
        return fail(r, "value expected");
    json_node &n = r.nodes[v];
    const char c = r.s[r.at];
    if (c == '{' || c == '[') {
        ++r.at;
        n.kind = c == '{' ? JSON_OBJECT : JSON_ARRAY;
        return read_items(r, v, depth, c == '{');
    }
    if (c == '"') {
        n.kind = JSON_STRING;
        return read_string(r, &n.text_at, &n.text_len);
    }
    if (word(r, "null"))
        return true;
    for (bool b : {true, false}) {
        if (word(r, b ? "true" : "false")) {
            n.kind = JSON_BOOL;
            n.boolean = b;
            return true;
        }
    }
    return read_number(r, &n);
}

} // namespace

json_parse_result json_parse(const char *text, std::size_t len, json_node *nodes, int capacity,
                             json_doc *doc)
{
    *doc = json_doc{text, len, nodes, 0, nullptr, 0};
    if (len > JSON_TEXT_MAX) {
        doc->error = "document too long";
        return JSON_TOO_LONG;
    }
    reader r{text, len, 0, nodes, capacity, 0, nullptr, 0, false};
    const int root = new_node(r);
    bool ok = root == 0 && read_value(r, root, 0);
    skip_space(r);
    if (ok && r.at != len)
        ok = fail(r, "text after the value");
    doc->count = r.count;
    doc->error = r.error;
    doc->error_at = r.error_at;
    if (ok)
        return JSON_PARSED;
    return r.full ? JSON_TOO_MANY_VALUES : JSON_BAD;
}

int json_member(const json_doc &doc, int object, const char *name)
{
    if (object < 0 || object >= doc.count || doc.nodes[object].kind != JSON_OBJECT)
        return -1;
    const std::size_t name_len = strlen(name);
    for (int m = doc.nodes[object].first; m >= 0; m = doc.nodes[m].next) {
        const json_node &n = doc.nodes[m];
        std::size_t i = n.name_at;
        std::size_t k = 0;
        while (i < n.name_at + n.name_len && k < name_len && next_char(doc.text, &i) == name[k])
            ++k;
        if (i == n.name_at + n.name_len && k == name_len)
            return m;
    }
    return -1;
}

bool json_decode(const json_doc &doc, std::size_t at, std::size_t n, char *out, std::size_t size,
                 std::size_t *len)
{
    if (size == 0)
        return false;
    std::size_t k = 0;
    for (std::size_t i = at; i < at + n;) {
        if (k + 1 >= size) {
            out[k] = '\0';
            return false;
        }
        out[k++] = next_char(doc.text, &i);
    }
    out[k] = '\0';
    *len = k;
    return true;
}
