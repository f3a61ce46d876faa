#include "man_page.h"

#include "run_program.h"

#include <sstream>

std::set<std::string> tagged_words(const std::string &page_path, const std::string &section)
{
    std::istringstream page(read_file(page_path));
    std::set<std::string> words;
    std::string line;
    bool in_section = false;
    bool tag_next = false;
    while (std::getline(page, line)) {
        if (line.rfind(".SH", 0) == 0)
            in_section = line == ".SH " + section;
        if (!in_section)
            continue;
        if (tag_next && (line.rfind(".B ", 0) == 0 || line.rfind(".BR ", 0) == 0)) {
            std::string kept;
            bool quoted = false;
            for (char c : line.substr(line.find(' '))) {
                if (c == '"')
                    quoted = !quoted;
                else if (!quoted)
                    kept += c;
            }
            std::istringstream in(kept);
            std::string word;
            while (in >> word)
                words.insert(word);
        }
        tag_next = line == ".TP";
    }
    return words;
}
