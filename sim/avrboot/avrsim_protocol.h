// The boot loader's side of the update protocol in numbers: the two memories, the lengths of
// commands and answers, and the kinds of command it tells apart.
#pragma once

#include <cstddef>

constexpr std::size_t AVRSIM_FLASH_SIZE = 0x20000; // bytes
constexpr std::size_t AVRSIM_EEPROM_SIZE = 4096;   // bytes
constexpr std::size_t AVRSIM_BLOCK_SIZE = 256;     // bytes of data after a block command
constexpr int AVRSIM_FLASH_BLOCKS = 512;           // "#BLK000\r" .. "#BLK1FF\r"
constexpr int AVRSIM_EEPROM_BLOCKS = 16;           // "#EBK000\r" .. "#EBK00F\r"
constexpr std::size_t AVRSIM_COMMAND_SIZE = 8;     // '#', six characters, '\r'
constexpr std::size_t AVRSIM_ANSWER_SIZE = 8;      // every answer but the version answer
constexpr std::size_t AVRSIM_VERSION_ANSWER_SIZE = 24;
constexpr std::size_t AVRSIM_IDENT_SIZE = 16;   // fw_ident in the version answer
constexpr std::size_t AVRSIM_STAMP_OFFSET = 16; // flash stamp: EEPROM bytes 16-23

// What an arriving command asks for; the valid kinds index avrsim::counts.
enum avrsim_command_kind {
    AVRSIM_CMD_PREPARE = 0,  // "#FWUPLD\r"
    AVRSIM_CMD_VERSION,      // "#PGMVER\r"
    AVRSIM_CMD_FLASH_BLOCK,  // "#BLKnnn\r"
    AVRSIM_CMD_EEPROM_BLOCK, // "#EBKnnn\r"
    AVRSIM_CMD_END,          // "#PGMEND\r"
    AVRSIM_CMD_INVALID,      // anything else
};
constexpr int AVRSIM_COMMAND_KINDS = AVRSIM_CMD_INVALID; // the valid kinds
