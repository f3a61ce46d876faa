// A fresh temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string path;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> entries_of(const std::string &path);
