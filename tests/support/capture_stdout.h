// Captures what the code under test prints on standard output, in-process: fd 1 goes to a
// temporary file from construction until text() is called.
#pragma once

#include <string>

struct capture_stdout {
    capture_stdout();
    ~capture_stdout();
    capture_stdout(const capture_stdout &) = delete;
    capture_stdout &operator=(const capture_stdout &) = delete;
    // Flushes stdout, restores fd 1 and returns everything printed since construction.
    std::string text();

  private:
    int saved_fd_ = -1;
    int file_fd_ = -1;
};

// What fn() prints on standard output.
template <class F>
std::string stdout_of(F &&fn)
{
    capture_stdout cap;
    fn();
    return cap.text();
}
