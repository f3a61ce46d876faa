#include "json_reader.h"

#include <cstdlib>
#include <cstring>

namespace
{

struct reader {
    const std::string &s;
    std::size_t at = 0;
    std::string error;

    bool fail(const char *what)
    {
        if (error.empty())
            error = std::string(what) + " at offset " + std::to_string(at);
        return false;
    }
    void skip_space()
    {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n'))
            ++at;
    }
    bool take(char c)
    {
        skip_space();
        if (at < s.size() && s[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool word(const char *w)
    {
        const std::size_t n = strlen(w);
        if (s.compare(at, n, w) != 0)
            return false;
        at += n;
        return true;
    }
};

bool read_value(reader &r, json_value *v, int depth);

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// \uXXXX: only the code points below 0x80 are ever written; others are refused.
bool read_unicode_escape(reader &r, std::string *out)
{
    int code = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = r.at < r.s.size() ? hex_digit(r.s[r.at]) : -1;
        if (d < 0)
            return r.fail("bad \\u escape");
        code = code * 16 + d;
        ++r.at;
    }
    if (code >= 0x80)
        return r.fail("\\u escape beyond ASCII");
    out->push_back(static_cast<char>(code));
    return true;
}

bool read_string(reader &r, std::string *out)
{
    if (!r.take('"'))
        return r.fail("string expected");
    while (r.at < r.s.size()) {
        const char c = r.s[r.at++];
        if (c == '"')
            return true;
        if (static_cast<unsigned char>(c) < 0x20)
            return r.fail("control character in a string");
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (r.at >= r.s.size())
            break;
        const char e = r.s[r.at++];
        const char *from = "\"\\/bfnrt";
        const char *to = "\"\\/\b\f\n\r\t";
        if (e == 'u') {
            if (!read_unicode_escape(r, out))
                return false;
        } else if (const char *p = strchr(from, e); p != nullptr && e != '\0') {
            out->push_back(to[p - from]);
        } else {
            return r.fail("bad escape");
        }
    }
    return r.fail("string not closed");
}

bool read_number(reader &r, json_value *v)
{
    const std::size_t start = r.at;
    if (r.at < r.s.size() && r.s[r.at] == '-')
        ++r.at;
    const std::size_t digits = r.at;
    while (r.at < r.s.size() && r.s[r.at] >= '0' && r.s[r.at] <= '9')
        ++r.at;
    if (r.at == digits || (r.s[digits] == '0' && r.at - digits > 1))
        return r.fail("bad number");
    if (r.at < r.s.size() && strchr(".eE", r.s[r.at]) != nullptr && r.s[r.at] != '\0')
        return r.fail("fraction or exponent in a number");
    v->kind = json_value::NUMBER;
    v->number = strtoll(r.s.c_str() + start, nullptr, 10);
    return true;
}

bool read_array(reader &r, json_value *v, int depth)
{
    v->kind = json_value::ARRAY;
    if (r.take(']'))
        return true;
    do {
        v->items.emplace_back();
        if (!read_value(r, &v->items.back(), depth + 1))
            return false;
    } while (r.take(','));
    return r.take(']') || r.fail("] expected");
}

bool read_object(reader &r, json_value *v, int depth)
{
    v->kind = json_value::OBJECT;
    if (r.take('}'))
        return true;
    do {
        std::string key;
        if (!read_string(r, &key))
            return false;
        if (v->find(key))
            return r.fail("key given twice");
        if (!r.take(':'))
            return r.fail(": expected");
        v->members.emplace_back(key, json_value{});
        if (!read_value(r, &v->members.back().second, depth + 1))
            return false;
    } while (r.take(','));
    return r.take('}') || r.fail("} expected");
}

bool read_value(reader &r, json_value *v, int depth)
{
    if (depth > 32)
        return r.fail("nested too deep");
    r.skip_space();
    if (r.at >= r.s.size())
        return r.fail("value expected");
    const char c = r.s[r.at];
    if (c == '{' || c == '[') {
        ++r.at;
        return c == '{' ? read_object(r, v, depth) : read_array(r, v, depth);
    }
    if (c == '"') {
        v->kind = json_value::STRING;
        return read_string(r, &v->text);
    }
    if (r.word("null")) {
        v->kind = json_value::NUL;
        return true;
    }
    for (bool b : {true, false}) {
        if (r.word(b ? "true" : "false")) {
            v->kind = json_value::BOOL;
            v->boolean = b;
            return true;
        }
    }
    return read_number(r, v);
}

void collect_members(const json_value &v, const std::string &prefix,
                     std::vector<std::pair<std::string, const json_value *>> *out)
{
    if (v.kind == json_value::OBJECT) {
        for (const auto &m : v.members) {
            const std::string path = prefix.empty() ? m.first : prefix + "." + m.first;
            out->emplace_back(path, &m.second);
            collect_members(m.second, path, out);
        }
    } else if (v.kind == json_value::ARRAY) {
        for (const json_value &item : v.items)
            collect_members(item, prefix + "[]", out);
    }
}

} // namespace

const json_value *json_value::find(const std::string &key) const
{
    for (const auto &m : members)
        if (m.first == key)
            return &m.second;
    return nullptr;
}

const json_value *json_value::at(const std::string &path) const
{
    const json_value *v = this;
    std::size_t start = 0;
    while (v != nullptr) {
        const std::size_t dot = path.find('.', start);
        v = v->find(path.substr(start, dot - start));
        if (dot == std::string::npos)
            return v;
        start = dot + 1;
    }
    return nullptr;
}

bool parse_json(const std::string &text, json_value *out, std::string *error)
{
    reader r{text, 0, std::string()};
    *out = json_value{};
    bool ok = read_value(r, out, 0);
    r.skip_space();
    if (ok && r.at != text.size())
        ok = r.fail("text after the value");
    if (!ok)
        *error = r.error;
    return ok;
}

std::vector<std::pair<std::string, const json_value *>> json_members(const json_value &root)
{
    std::vector<std::pair<std::string, const json_value *>> members;
    collect_members(root, "", &members);
    return members;
}
