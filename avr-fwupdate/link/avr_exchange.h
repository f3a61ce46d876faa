// One request and its answer: a command sent, the answer of fixed length received, both traced
// at verbosity 2, and the start of the answer compared. The prepare, version and end steps are
// one exchange each; the block upload has exchanges of its own shape.
#pragma once

#include "avr_protocol.h"

#include <array>
#include <cstddef>
#include <cstring>

// How the byte trace titles the exchange: the update-mode command has titles of its own.
enum exchange_trace { TRACE_UPDATE_MODE, TRACE_REQUEST };

struct avr_exchange {
    const char *command;    // AVR_COMMAND_LEN bytes, no terminator sent
    const char *answer;     // what the answer's first AVR_ANSWER_MATCH_LEN bytes must be
    std::size_t answer_len; // bytes of the whole answer
    int idle_limit;         // 10 ms cycles, as avr_receive takes it
    exchange_trace trace;
};

// The outcome of one exchange.
enum exchange_result {
    EXCHANGE_OK,           // a whole answer that starts as expected
    EXCHANGE_SEND_FAILED,  // the command did not go out whole
    EXCHANGE_SHORT_ANSWER, // fewer than answer_len bytes came back
    EXCHANGE_OTHER_ANSWER, // a whole answer that starts otherwise
};

// Holds the command and then the answer; the trace dumps whole 16-byte lines of the longest
// answer, so it is longer than any frame.
using exchange_buffer = std::array<unsigned char, 32>;

// Runs one exchange. `answer` is cleared before the command and again before the receive, so it
// holds what came back followed by zero bytes, for the caller to read further.
exchange_result avr_exchange_run(int fd, const avr_exchange &x, exchange_buffer &answer);

// Whether the answer's first AVR_ANSWER_MATCH_LEN bytes are those of `text`.
template <std::size_t N>
bool answer_is(const std::array<unsigned char, N> &answer, const char *text)
{
    static_assert(N > AVR_ANSWER_MATCH_LEN, "an answer buffer holds the compared bytes");
    return strncmp(reinterpret_cast<const char *>(answer.data()), text, AVR_ANSWER_MATCH_LEN) == 0;
}
