// Expected standard output and line bytes of an update, built from small pieces: what the
// updater prints for each exchange at a verbosity, and what the boot loader must receive.
#pragma once

#include <string>
#include <vector>

// How one attempt at a block ends, as the boot loader answers it.
enum attempt_end {
    END_OK,      // accepted
    END_ERR,     // write or verify failed
    END_DTO,     // data time-out
    END_GARBAGE, // eight bytes of something else ("?GARBLE?")
    END_SHORT3,  // only the first three answer bytes, then nothing
};

enum memory_kind { MEM_FLASH, MEM_EEPROM };

// The shared hex dump layout of `count` bytes (whole 16-byte lines).
std::string dump(const unsigned char *data, int count);

// The -vv frames around a send and after a receive.
std::string trace_send(int verbosity, const unsigned char *data, int count);
std::string trace_rcvd(int verbosity, const std::string &answer, int ret);
std::string trace_answer(int verbosity, const std::string &answer, int count, int ret);

// "Preparing AVR ..." and the update-mode exchange with `answer` (what arrived, up to 8 bytes).
std::string expect_prepare(int verbosity, const std::string &answer);
// The version exchange's trace with `answer` (what arrived); the printed lines are the caller's.
std::string expect_version_trace(int verbosity, const std::string &answer);

// One block: every attempt's header, command, data, answer receive and verdict.
std::string expect_block(int verbosity, memory_kind memory, int block, const unsigned char *data,
                         const std::vector<attempt_end> &attempts);
// The memory's title; the caller appends the blocks and then expect_upload_end.
std::string expect_upload_title(memory_kind memory);
// " DONE" and, for a failed upload (-1 / -2), the warning frame.
std::string expect_upload_end(int status);

// The end exchange with `answer` and the final message printed by the program.
std::string expect_finish(int verbosity, const std::string &answer, const char *message);

// The answer the simulated boot loader sends for an attempt end (8th byte '\n').
std::string answer_for(memory_kind memory, attempt_end end);

// Command text of a block, e.g. "#BLK1FF\r".
std::string block_command(memory_kind memory, int block);
