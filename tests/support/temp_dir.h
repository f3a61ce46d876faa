// A fresh temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string path;
    std::string file(const std::string &name) const { return path + "/" + name; }
};
