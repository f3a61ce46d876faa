#include "capture_stdout.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

capture_stdout::capture_stdout()
{
    fflush(stdout);
    char name[] = "/tmp/okt-stdout-XXXXXX";
    file_fd_ = mkstemp(name);
    if (file_fd_ >= 0)
        unlink(name);
    saved_fd_ = dup(1);
    dup2(file_fd_, 1);
}

capture_stdout::~capture_stdout()
{
    text();
}

std::string capture_stdout::text()
{
    std::string out;
    if (saved_fd_ < 0)
        return out;
    fflush(stdout);
    dup2(saved_fd_, 1);
    close(saved_fd_);
    saved_fd_ = -1;
    lseek(file_fd_, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(file_fd_, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(file_fd_);
    file_fd_ = -1;
    return out;
}
