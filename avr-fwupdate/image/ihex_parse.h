// Intel HEX parser: turns the text of a flash or EEPROM HEX file, held in memory, into a memory
// image erased (ERASED_BYTE) where no record writes, plus a block map of the 256-byte blocks that
// records touch. Reading the text from a file is ihex_file.h's.
//
// On success the caller owns *image and *block_map (malloc'ed; release with free). On failure
// nothing is left allocated and the outputs are untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum ihex_result {
    IHEX_OK,
    IHEX_NO_MEM_IMAGE, // no memory for the image
    IHEX_NO_MEM_MAP,   // no memory for the block map
    IHEX_PARSE_ERROR,  // the text does not parse
};

// The parser's state while it walks one text.
struct parse_cursor {
    const char *pos;     // current text position
    uint32_t chars_left; // characters not yet consumed
    uint32_t datalen;    // fields of the current record
    uint32_t addr;
    uint32_t rectype;
    uint32_t databyte;
    uint32_t cksum;
    uint32_t segment_base; // extended segment or linear base address
    uint32_t end_addr;     // highest end address over all data records so far
};

// Reads exactly `digits` hex digits at `pos` into *value (most significant first, modulo 2^32).
// Returns the position after them and consumes them from cur->chars_left, or nullptr (nothing
// consumed, *value undefined) when too few characters are left or one is not a hex digit.
const char *ihex_get_field(const char *pos, int digits, parse_cursor *cur, uint32_t *value);

// Parses `len` bytes of HEX text into a new image of image_size bytes with block_count map
// entries. end_addr, when given, receives the highest end address on success; it never exceeds
// image_size.
// Records: 0 data, 1 end of file, 2 extended segment base (value << 4), 4 extended linear base
// (value << 16); either base replaces the other. Other types print "UNSUPPORTED RECTYPE %lu" and
// are skipped. Records of types 0, 1, 2 and 4 must carry a correct checksum. The text parses only
// if it holds an end-of-file record after data; a record reaching beyond the image (or its block
// map) fails the parse instead of being dropped. A text fails with 7: silently when its
// end-of-file record comes before any data, with one line of its own otherwise.
// Messages go to `msgs`.
ihex_result ihex_parse(const char *text, std::size_t len, unsigned char **image,
                       unsigned char **block_map, std::size_t image_size, std::size_t block_count,
                       uint32_t *end_addr, FILE *msgs = stdout);
