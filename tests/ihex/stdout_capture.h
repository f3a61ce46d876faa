// Runs a function with standard output (the loader's only output) sent to a temporary file and
// returns what it printed.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

template <class F>
std::string capture_stdout(F &&fn)
{
    fflush(stdout);
    FILE *sink = tmpfile();
    int saved = dup(STDOUT_FILENO);
    if (!sink || saved < 0) {
        if (sink)
            fclose(sink);
        return "<stdout capture failed>";
    }
    dup2(fileno(sink), STDOUT_FILENO);
    fn();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string out;
    rewind(sink);
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, sink)) > 0)
        out.append(buf, n);
    fclose(sink);
    return out;
}
