// What a manual page under docs/ lists, for the tests that hold a program's output to it.
#pragma once

#include <set>
#include <string>

// The words of the first line of every tagged paragraph (.TP, then .B or .BR) in the section
// `.SH <section>` of the page, its subsections included; quoted punctuation is left out
// (".BR a.b \", \" a.c" gives a.b and a.c).
std::set<std::string> tagged_words(const std::string &page_path, const std::string &section);
