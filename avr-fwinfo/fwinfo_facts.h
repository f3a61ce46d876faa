// What avr-fwinfo tells about a loaded firmware: the stamp check, the blocks that would be sent
// and the line time of an update. Pure functions over the images the loaders deliver.
#pragma once

#include "avr_protocol.h"
#include "firmware_image.h"

#include <cstddef>
#include <cstdint>

// The stamp in EEPROM bytes 16-23 and the flash word sum recomputed over the image to send.
struct stamp_facts {
    uint32_t sum;    // as stored, most significant byte first in bytes 16-19
    uint32_t length; // as stored in bytes 22-23, low byte first: only 16 bits travel
    // Whether the stored sum matches the flash image to send, and over which length: `length`
    // itself or, for an image too long for the stamp's 16 bits, the first length above it in
    // steps of 64 KiB (within the flash image) over which it matches. covered_length is 0 when
    // the sum matches over no such length.
    bool matches;
    uint32_t covered_length;
    bool wrapped; // matches over a covered_length above `length`
    // Over covered_length when the stamp matches (then equal to sum), else over `length`.
    uint32_t computed_sum;
    bool sent; // EEPROM block 0, which holds the stamp, is flagged to be sent
};

// One run of consecutive flagged blocks, as byte addresses of the image.
struct block_range {
    uint32_t first; // address of the first byte of the first block
    uint32_t last;  // address of the last byte of the last block
};

// At most every other block can start a run.
constexpr std::size_t MAX_BLOCK_RANGES = (FW_BLOCK_COUNT + 1) / 2;

struct block_facts {
    std::size_t count;       // flagged blocks
    std::size_t range_count; // entries used in ranges
    block_range ranges[MAX_BLOCK_RANGES];
};

// Reads the stamp from eep_image (EEPROM_IMAGE_SIZE bytes) and checks it against fw_image
// (FW_IMAGE_SIZE bytes); eep_map tells whether block 0 is sent.
void check_stamp(const unsigned char *eep_image, const unsigned char *eep_map,
                 const unsigned char *fw_image, stamp_facts *facts);

// Counts the flagged entries of a block map and merges consecutive ones into address ranges.
// block_count must not exceed FW_BLOCK_COUNT.
void collect_blocks(const unsigned char *block_map, std::size_t block_count, block_facts *facts);

// Bytes on the line for one update that sends `blocks` blocks: the prepare exchange (command
// and answer), the version exchange, each block's command, data and answer, the end exchange.
constexpr uint32_t PREPARE_LINE_BYTES = AVR_COMMAND_LEN + AVR_ANSWER_LEN;
constexpr uint32_t VERSION_LINE_BYTES = AVR_COMMAND_LEN + AVR_VERSION_ANSWER_LEN;
constexpr uint32_t BLOCK_LINE_BYTES = AVR_COMMAND_LEN + AVR_BLOCK_SIZE + AVR_ANSWER_LEN;
constexpr uint32_t END_LINE_BYTES = AVR_COMMAND_LEN + AVR_ANSWER_LEN;
constexpr uint32_t BIT_TIMES_PER_BYTE = 10; // start bit, 8 data bits, stop bit

uint32_t update_line_bytes(std::size_t blocks);

// Line time of `bytes` at `baud`, in milliseconds, rounded to the nearest. baud must be > 0.
uint32_t line_time_ms(uint32_t bytes, long baud);

// Whether the firmware's 8-byte hardware id is `expected` (a text of at most 8 characters),
// compared as the updater compares two ids: as strings of at most 8 characters, so a zero byte at
// the same place in both ends them as equal.
bool hardware_id_matches(const unsigned char *hardware_id, const char *expected);

// The rates the updater accepts, ascending; returns how many were stored (at most `max`).
std::size_t updater_baud_rates(long *rates, std::size_t max);
constexpr std::size_t MAX_BAUD_RATES = 32;
