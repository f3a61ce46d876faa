// Reading a whole file, or a known number of bytes of one, into a buffer of its own: the HEX
// files, the PACK files and their payloads, the record files. Builds on read_up_to, so a pipe may
// deliver the bytes in parts. Prints nothing; each caller words its own messages.
#pragma once

#include "owners.h"

#include <cstddef>

// Bytes read from a file.
struct file_bytes {
    byte_buffer bytes;   // room for what was asked, one byte at least: an empty file has a buffer
    std::size_t len = 0; // bytes read
    long long size = -1; // the size the file was measured at; -1 when it was read as a stream
    int error = 0;       // the errno of a measurement or a read that failed, else 0
};

// Allocates room for `want` bytes and reads up to that many from fd into it. false, with nothing
// allocated or read, when there is no memory for them; out->len may be below `want` otherwise.
bool read_new_bytes(int fd, std::size_t want, file_bytes *out);

// How read_whole_file learns how many bytes a file holds.
enum file_measure {
    MEASURE_BY_STATUS,  // the size fstat gives: a pipe or a device reads as empty
    MEASURE_BY_SEEKING, // a seek to the end and back to the start: a pipe cannot be measured
    MEASURE_OR_STREAM,  // a regular file by its status; anything else (a pipe) is read until it
                        // ends, up to one byte more than `max`
};

enum whole_file_result {
    WHOLE_FILE_OK,
    WHOLE_FILE_NO_SIZE,   // the file cannot be measured (out->error tells why)
    WHOLE_FILE_TOO_LARGE, // more than `max` bytes; a measured file had nothing allocated or read
    WHOLE_FILE_NO_MEMORY, // no memory for the bytes
    WHOLE_FILE_SHORT,     // fewer bytes came than the file measured, or a read failed (out->error)
};

// Reads the file at fd, standing at its start, whole into out->bytes: measured as `how` says,
// refused above `max` bytes before anything is allocated for them, then read.
whole_file_result read_whole_file(int fd, file_measure how, std::size_t max, file_bytes *out);
