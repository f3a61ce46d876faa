// Record files: exactly the 128 bytes of one record, read whole, and replaced as a whole through
// the common atomic writer.
#pragma once

#include "oktideep.h"
#include "shown_bytes.h"

#include <climits>
#include <cstddef>

// Bytes of a path in its shown form, terminated.
constexpr std::size_t SHOWN_PATH_SIZE = PATH_MAX * SHOWN_BYTE_MAX + 1;

// The shown form of a path, cut at a whole byte's form when it does not fit.
void shown_path(const char *path, char *out, std::size_t size);

enum record_file_result {
    RECORD_FILE_OK,
    RECORD_FILE_UNREADABLE, // cannot be opened or read (errno tells why)
    RECORD_FILE_WRONG_SIZE, // another size than 128 bytes
};

struct record_file_read {
    record_file_result result;
    int error;      // RECORD_FILE_UNREADABLE: the errno
    long long size; // RECORD_FILE_WRONG_SIZE: the file's size, or -1 when only "more" is known
};

// Reads the record file at `path` into *record. A regular file is measured first; from anything
// else (a pipe) at most 129 bytes are read. Prints nothing.
record_file_read read_record_file(const char *path, okt_eep_data *record);

// "<path>: <why>" for a file that read_record_file refused, the path in its shown form.
void describe_record_file_error(const char *path, const record_file_read &r, char *out,
                                std::size_t size);
// The same on standard error, after "okt-idrec: ".
void print_record_file_error(const char *path, const record_file_read &r);

enum save_result {
    SAVE_OK,
    SAVE_NOT_A_FILE, // the path names a device, a FIFO or a folder
    SAVE_FAILED,     // the temporary file cannot be made, written, flushed or renamed
};

struct record_save {
    save_result result;
    int error; // SAVE_FAILED: the errno
};

// Replaces the file at `path` with the 128 record bytes, mode 0644 less the umask: a temporary
// file beside it, flushed and renamed over it, so a failure leaves an older file as it was and no
// temporary file behind. Prints nothing.
record_save save_record_file(const char *path, const okt_eep_data &record);

// "<what> <path>: <why>" for a save that failed.
void describe_save_error(const char *what, const char *path, const record_save &s, char *out,
                         std::size_t size);
