// Intel HEX texts for the tests and benchmarks: records with their checksums, and images (or
// chosen ranges of them) as data records, extended linear address records and the end-of-file
// record, as avr-objcopy writes them (which ends its lines with CR LF).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum hex_record_type {
    HEX_DATA = 0,
    HEX_END_OF_FILE = 1,
    HEX_SEGMENT_ADDRESS = 2,
    HEX_LINEAR_ADDRESS = 4,
};

// One record: ':', the byte count, the low 16 bits of `address`, the type, `data`, the checksum
// (upper case hexadecimal) and `line_end`.
std::string hex_record(hex_record_type type, unsigned address, const std::string &data,
                       const char *line_end = "\n");

struct hex_layout {
    std::size_t record_bytes = 16; // data bytes a record holds at most
    const char *line_end = "\n";
    // Whether the first data record gets an extended linear address record even when the upper
    // 16 address bits are 0.
    bool linear_at_start = false;
};

// A range of an image: `length` bytes from `start`.
struct hex_range {
    std::size_t start;
    std::size_t length;
};

// The HEX text of the ranges of `image` (ascending, within the image): data records, an extended
// linear address record before a record whose upper 16 address bits differ from the last ones
// (0 to begin with), no record across a 64 KiB boundary, then the end-of-file record.
std::string hex_text(const std::vector<unsigned char> &image, const std::vector<hex_range> &ranges,
                     const hex_layout &layout = {});

// The HEX text of the whole image.
std::string hex_text(const std::vector<unsigned char> &image, const hex_layout &layout = {});
