#include "whole_file.h"

#include "read_up_to.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// What a measurement found: the file's size, or that it is to be read as a stream.
struct measured {
    bool ok;
    bool stream;
    long long size;
};

measured measure(int fd, file_measure how, int *error)
{
    if (how == MEASURE_BY_SEEKING) {
        const off_t end = lseek(fd, 0, SEEK_END);
        if (end < 0 || lseek(fd, 0, SEEK_SET) != 0) {
            *error = errno;
            return {false, false, -1};
        }
        return {true, false, static_cast<long long>(end)};
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        *error = errno;
        return {false, false, -1};
    }
    if (how == MEASURE_OR_STREAM && !S_ISREG(st.st_mode))
        return {true, true, -1};
    return {true, false, static_cast<long long>(st.st_size)};
}

} // namespace

bool read_new_bytes(int fd, std::size_t want, file_bytes *out)
{
    out->len = 0;
    out->error = 0;
    out->bytes.reset(static_cast<unsigned char *>(malloc(want > 0 ? want : 1)));
    if (!out->bytes)
        return false;
    out->len = read_up_to(fd, out->bytes.get(), want, &out->error);
    return true;
}

whole_file_result read_whole_file(int fd, file_measure how, std::size_t max, file_bytes *out)
{
    *out = file_bytes{};
    const measured m = measure(fd, how, &out->error);
    if (!m.ok)
        return WHOLE_FILE_NO_SIZE;

    if (m.stream) {
        // One byte beyond the limit tells a longer stream from one that is just long enough.
        const std::size_t room = max < SIZE_MAX ? max + 1 : max;
        if (!read_new_bytes(fd, room, out))
            return WHOLE_FILE_NO_MEMORY;
        if (out->error != 0)
            return WHOLE_FILE_SHORT;
        return out->len > max ? WHOLE_FILE_TOO_LARGE : WHOLE_FILE_OK;
    }

    out->size = m.size;
    if (m.size < 0 || static_cast<unsigned long long>(m.size) > max)
        return WHOLE_FILE_TOO_LARGE;
    const std::size_t size = static_cast<std::size_t>(m.size);
    if (!read_new_bytes(fd, size, out))
        return WHOLE_FILE_NO_MEMORY;
    return out->len == size ? WHOLE_FILE_OK : WHOLE_FILE_SHORT;
}
