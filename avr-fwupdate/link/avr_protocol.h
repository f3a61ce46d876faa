// The conversation with the AVR's boot loader: prepare, version check, block upload, finish.
// Each step prints its own progress and, at verbosity 2, the byte trace of every exchange.
#pragma once

#include "firmware_image.h"

#include <cstddef>

// Frames on the line, in bytes. A command is '#', six characters and '\r'; a block command is
// followed by the AVR_BLOCK_SIZE bytes of the block. Answers have a fixed length, and only their
// first AVR_ANSWER_MATCH_LEN bytes are compared.
constexpr std::size_t AVR_COMMAND_LEN = 8;
constexpr std::size_t AVR_ANSWER_LEN = 8;          // every answer but the version answer
constexpr std::size_t AVR_VERSION_ANSWER_LEN = 24; // ">PGMVER", one byte, the identification
constexpr std::size_t AVR_VERSION_IDENT_OFFSET = 8;
constexpr std::size_t AVR_ANSWER_MATCH_LEN = 7;

// Prints a 16-byte firmware identification as "<title>: B103 Built on (DD.MM.YYYY) ..." with the
// hardware id's 8 bytes as they are and a line end.
void print_fw_ident(const char *title, const unsigned char *ident);

// Results of the prepare and version steps are those of their exchange (avr_exchange.h):
// 0 EXCHANGE_OK, 1 send failed, 2 short answer, 3 other answer.

// 0 in update mode; 1 send failed; 2 short answer; 3 wrong answer.
int avr_prepare(int fd);

// Shows the installed and the new firmware identification (new = eep_image bytes 0-15) and warns
// with a ten-second countdown when the hardware ids differ.
// 0 go on; 1 send failed; 2 short answer; 3 not a version answer.
int avr_check_version(int fd, const unsigned char *eep_image);

// Sends every flagged block of `image` (block_count blocks of 256 bytes) with five attempts each.
// 0 all accepted; -1 a block failed five attempts or a command could not be sent;
// -2 block data could not be sent.
int avr_upload_blocks(int fd, const unsigned char *image, const unsigned char *block_map,
                      int block_count, avr_memory memory);

// Ends the update; *message receives the final message text (printed by the caller with puts).
// Returns the exit code: 0 PGM_OK, 1 PGMERR, 2 send failed, 3 short answer, 8 other answer.
int avr_finish(int fd, const char **message);
