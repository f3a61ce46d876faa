// What a manual page under docs/ lists, for the tests that hold a program's output to it.
#pragma once

#include <set>
#include <string>
#include <vector>

// One tagged paragraph (.TP, then a .B or .BR tag line) of a section.
struct tagged_paragraph {
    std::string subsection;        // the .SS it stands under; empty before the first
    std::vector<std::string> tags; // the words of the tag line, quoted punctuation left out
    std::string text;              // the lines after the tag up to the next paragraph, joined by
                                   // blanks, font macros left out (".B x" reads as "x")
};

// The tagged paragraphs of the section `.SH <section>` of the page, its subsections included, in
// their order.
std::vector<tagged_paragraph> tagged_paragraphs(const std::string &page_path,
                                                const std::string &section);

// The words of the first line of every tagged paragraph in the section `.SH <section>` of the
// page, its subsections included; quoted punctuation is left out (".BR a.b \", \" a.c" gives a.b
// and a.c).
std::set<std::string> tagged_words(const std::string &page_path, const std::string &section);
