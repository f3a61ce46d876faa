#include "man_page.h"

#include "run_program.h"

#include <sstream>

namespace
{

bool starts_with(const std::string &line, const char *prefix)
{
    return line.rfind(prefix, 0) == 0;
}

// The words after a macro's name, with the quoted parts left out.
std::vector<std::string> unquoted_words(const std::string &line)
{
    std::string kept;
    bool quoted = false;
    for (char c : line.substr(line.find(' '))) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted)
            kept += c;
    }
    std::istringstream in(kept);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

// A line of paragraph text: a font macro's words (quotes taken away), or the line as it is.
std::string text_of(const std::string &line)
{
    if (line.empty() || line[0] != '.')
        return line;
    const std::size_t space = line.find(' ');
    std::string text;
    if (space == std::string::npos)
        return text;
    for (char c : line.substr(space + 1))
        if (c != '"')
            text += c;
    return text;
}

// Lines that end a paragraph's text: any request but the font macros.
bool ends_paragraph(const std::string &line)
{
    if (line.empty() || line[0] != '.')
        return false;
    for (const char *font : {".B ", ".BR ", ".I ", ".IR ", ".RB ", ".RI ", ".BI ", ".IB "})
        if (starts_with(line, font))
            return false;
    return true;
}

} // namespace

std::vector<tagged_paragraph> tagged_paragraphs(const std::string &page_path,
                                                const std::string &section)
{
    std::istringstream page(read_file(page_path));
    std::vector<tagged_paragraph> found;
    std::string line;
    std::string subsection;
    bool in_section = false;
    bool tag_next = false;
    bool in_text = false;
    while (std::getline(page, line)) {
        if (starts_with(line, ".SH")) {
            in_section = line == ".SH " + section;
            subsection.clear();
        }
        if (!in_section)
            continue;
        if (starts_with(line, ".SS "))
            subsection = line.substr(4);
        if (tag_next && (starts_with(line, ".B ") || starts_with(line, ".BR "))) {
            found.push_back(tagged_paragraph{subsection, unquoted_words(line), ""});
            in_text = true;
        } else if (in_text && ends_paragraph(line)) {
            in_text = false;
        } else if (in_text) {
            std::string &text = found.back().text;
            text += (text.empty() ? "" : " ") + text_of(line);
        }
        tag_next = line == ".TP";
    }
    return found;
}

std::set<std::string> tagged_words(const std::string &page_path, const std::string &section)
{
    std::set<std::string> words;
    for (const tagged_paragraph &p : tagged_paragraphs(page_path, section))
        words.insert(p.tags.begin(), p.tags.end());
    return words;
}
