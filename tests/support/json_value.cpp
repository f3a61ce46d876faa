#include "json_value.h"

#include "json_reader.h"

namespace
{

std::string decoded(const json_doc &doc, std::size_t at, std::size_t n)
{
    std::string out(n + 1, '\0');
    std::size_t len = 0;
    json_decode(doc, at, n, &out[0], out.size(), &len);
    out.resize(len);
    return out;
}

void build(const json_doc &doc, int i, json_value *v)
{
    const json_node &n = doc.nodes[i];
    switch (n.kind) {
    case JSON_NULL:
        v->kind = json_value::NUL;
        return;
    case JSON_BOOL:
        v->kind = json_value::BOOL;
        v->boolean = n.boolean;
        return;
    case JSON_NUMBER:
        v->kind = json_value::NUMBER;
        v->number = n.number;
        return;
    case JSON_STRING:
        v->kind = json_value::STRING;
        v->text = decoded(doc, n.text_at, n.text_len);
        return;
    case JSON_ARRAY:
        v->kind = json_value::ARRAY;
        for (int m = n.first; m >= 0; m = doc.nodes[m].next) {
            v->items.emplace_back();
            build(doc, m, &v->items.back());
        }
        return;
    case JSON_OBJECT:
        v->kind = json_value::OBJECT;
        for (int m = n.first; m >= 0; m = doc.nodes[m].next) {
            v->members.emplace_back(decoded(doc, doc.nodes[m].name_at, doc.nodes[m].name_len),
                                    json_value{});
            build(doc, m, &v->members.back().second);
        }
        return;
    }
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
    *out = json_value{};
    // Every value takes at least one byte of the text.
    std::vector<json_node> nodes(text.size() + 1);
    json_doc doc;
    if (json_parse(text.data(), text.size(), nodes.data(), static_cast<int>(nodes.size()), &doc) !=
        JSON_PARSED) {
        *error = std::string(doc.error) + " at offset " + std::to_string(doc.error_at);
        return false;
    }
    build(doc, 0, out);
    return true;
}

char json_kind_letter(const json_value &v)
{
    switch (v.kind) {
    case json_value::NUL:
        return 'z';
    case json_value::BOOL:
        return 'b';
    case json_value::NUMBER:
        return 'n';
    case json_value::STRING:
        return 's';
    case json_value::ARRAY:
        return 'a';
    case json_value::OBJECT:
        return 'o';
    }
    return '?';
}

std::vector<std::pair<std::string, const json_value *>> json_members(const json_value &root)
{
    std::vector<std::pair<std::string, const json_value *>> members;
    collect_members(root, "", &members);
    return members;
}
