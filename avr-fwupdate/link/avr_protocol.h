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

// The titles of the version check's two identification lines. The rollout reads each with the
// ": " that follows (deploy/ansible/filter_plugins/avr_update.py, CURRENT_PREFIX and NEW_PREFIX),
// and the new firmware's line also as avr-fwinfo reports it (roles/avr_pack_check): change them
// together.
constexpr char CURRENT_FIRMWARE_TITLE[] = "Current Firmware on AVR";
constexpr char NEW_FIRMWARE_TITLE[] = "New Firmware Data      ";

// Prints a 16-byte firmware identification as "<title>: B103 Built on (DD.MM.YYYY) ..." with the
// hardware id's 8 bytes as they are and a line end.
void print_fw_ident(const char *title, const unsigned char *ident);

enum prepare_result {
    PREPARE_OK,           // the AVR is in update mode
    PREPARE_SEND_FAILED,  // the command did not go out whole
    PREPARE_SHORT_ANSWER, // fewer than 8 answer bytes
    PREPARE_WRONG_ANSWER, // a whole answer that is not ">FWUPLD"
};

// Puts the AVR into update mode.
prepare_result avr_prepare(int fd);

enum version_result {
    VERSION_OK,           // go on, also after a hardware mismatch and its countdown
    VERSION_SEND_FAILED,  // the inquiry did not go out whole
    VERSION_SHORT_ANSWER, // fewer than 24 answer bytes
    VERSION_NO_VERSION,   // a whole answer that is not a version answer
};

// Shows the installed and the new firmware identification (new = eep_image bytes 0-15) and warns
// with a ten-second countdown when the hardware ids differ.
version_result avr_check_version(int fd, const unsigned char *eep_image);

enum upload_result {
    UPLOAD_OK,               // every flagged block was accepted
    UPLOAD_BLOCK_FAILED,     // a block failed five attempts, or its command could not be sent
    UPLOAD_DATA_SEND_FAILED, // a block's data could not be sent
};

// Sends every flagged block of `image` (block_count blocks of 256 bytes) with five attempts each.
upload_result avr_upload_blocks(int fd, const unsigned char *image, const unsigned char *block_map,
                                int block_count, avr_memory memory);

enum finish_result {
    FINISH_OK,              // ">PGM_OK": the AVR accepted the new firmware
    FINISH_CHECKSUM_FAILED, // ">PGMERR": the AVR's check of the firmware failed
    FINISH_SEND_FAILED,     // the end command did not go out whole
    FINISH_SHORT_ANSWER,    // fewer than 8 answer bytes
    FINISH_OTHER_ANSWER,    // 8 answer bytes that are neither verdict
};

// Ends the update; *message receives the final message text (printed by the caller with puts).
finish_result avr_finish(int fd, const char **message);
