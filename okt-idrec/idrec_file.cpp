#include "idrec_file.h"

#include "atomic_file.h"
#include "idrec_message.h"
#include "owners.h"
#include "whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr mode_t RECORD_FILE_MODE = 0644;

bool write_fully(int fd, const unsigned char *buf, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        ssize_t k = write(fd, buf + done, n - done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return false;
        done += static_cast<std::size_t>(k);
    }
    return true;
}

} // namespace

record_file_read read_record_file(const char *path, okt_eep_data *record)
{
    record_file_read r = {RECORD_FILE_OK, 0, OKT_EEP_RECORD_SIZE};
    unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        r.result = RECORD_FILE_UNREADABLE;
        r.error = errno;
        return r;
    }
    file_bytes f;
    const whole_file_result got =
        read_whole_file(fd.get(), MEASURE_OR_STREAM, OKT_EEP_RECORD_SIZE, &f);
    switch (got) {
    case WHOLE_FILE_OK:
        if (f.len == OKT_EEP_RECORD_SIZE) {
            memcpy(record, f.bytes.get(), OKT_EEP_RECORD_SIZE);
            return r;
        }
        r.result = RECORD_FILE_WRONG_SIZE;
        r.size = static_cast<long long>(f.len);
        return r;
    case WHOLE_FILE_NO_SIZE:
    case WHOLE_FILE_NO_MEMORY:
        r.result = RECORD_FILE_UNREADABLE;
        r.error = got == WHOLE_FILE_NO_MEMORY ? ENOMEM : f.error;
        return r;
    case WHOLE_FILE_TOO_LARGE:
        // A stream's size stays unknown (-1): only "more" is known of it.
        r.result = RECORD_FILE_WRONG_SIZE;
        r.size = f.size;
        return r;
    case WHOLE_FILE_SHORT:
        break;
    }
    // A measured file of another size is that size whatever its reading gave.
    if (f.size >= 0 && f.size != OKT_EEP_RECORD_SIZE) {
        r.result = RECORD_FILE_WRONG_SIZE;
        r.size = f.size;
    } else if (f.error != 0) {
        r.result = RECORD_FILE_UNREADABLE;
        r.error = f.error;
    } else {
        r.result = RECORD_FILE_WRONG_SIZE;
        r.size = static_cast<long long>(f.len);
    }
    return r;
}

void shown_path(const char *path, char *out, std::size_t size)
{
    out[0] = '\0';
    append_shown(out, size, path, strlen(path));
}

void describe_record_file_error(const char *path, const record_file_read &r, char *out,
                                std::size_t size)
{
    char shown[SHOWN_PATH_SIZE];
    shown_path(path, shown, sizeof shown);
    switch (r.result) {
    case RECORD_FILE_OK:
        snprintf(out, size, "%s: read", shown);
        return;
    case RECORD_FILE_UNREADABLE:
        snprintf(out, size, "%s: cannot read: %s", shown, strerror(r.error));
        return;
    case RECORD_FILE_WRONG_SIZE:
        if (r.size < 0)
            snprintf(out, size, "%s: more than %d bytes; a record file holds exactly %d", shown,
                     OKT_EEP_RECORD_SIZE, OKT_EEP_RECORD_SIZE);
        else
            snprintf(out, size, "%s: %lld bytes; a record file holds exactly %d", shown, r.size,
                     OKT_EEP_RECORD_SIZE);
        return;
    }
}

void print_record_file_error(const char *path, const record_file_read &r)
{
    char message[SHOWN_PATH_SIZE + 128];
    describe_record_file_error(path, r, message, sizeof message);
    idrec_message("%s\n", message);
}

record_save save_record_file(const char *path, const okt_eep_data &record)
{
    atomic_file out;
    switch (atomic_file_open(path, RECORD_FILE_MODE, &out)) {
    case ATOMIC_FILE_OPEN:
        break;
    case ATOMIC_FILE_NOT_REPLACEABLE:
        return {SAVE_NOT_A_FILE, 0};
    case ATOMIC_FILE_FAILED:
        return {SAVE_FAILED, errno};
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    if (!write_fully(out.fd.get(), bytes, OKT_EEP_RECORD_SIZE) ||
        atomic_file_commit(&out) != ATOMIC_FILE_COMMITTED)
        return {SAVE_FAILED, errno};
    return {SAVE_OK, 0};
}

void describe_save_error(const char *what, const char *path, const record_save &s, char *out,
                         std::size_t size)
{
    char shown[SHOWN_PATH_SIZE];
    shown_path(path, shown, sizeof shown);
    switch (s.result) {
    case SAVE_OK:
        snprintf(out, size, "%s %s: saved", what, shown);
        return;
    case SAVE_NOT_A_FILE:
        snprintf(out, size, "%s %s: not a regular file; records are saved to files only", what,
                 shown);
        return;
    case SAVE_FAILED:
        snprintf(out, size, "%s %s: cannot be saved: %s", what, shown, strerror(s.error));
        return;
    }
}
