// One request and its answer: a command sent, the answer of fixed length received, both traced
// at verbosity 2, and the start of the answer compared. The prepare, version and end steps are
// one exchange each; the block upload has exchanges of its own shape.
#pragma once

#include <cstddef>

// How the byte trace titles the exchange: the update-mode command has titles of its own.
enum exchange_trace { TRACE_UPDATE_MODE, TRACE_REQUEST };

struct avr_exchange {
    const char *command;    // AVR_COMMAND_LEN bytes, no terminator sent
    const char *answer;     // what the answer's first AVR_ANSWER_MATCH_LEN bytes must be
    std::size_t answer_len; // bytes of the whole answer
    int idle_limit;         // 10 ms cycles, as avr_receive takes it
    exchange_trace trace;
};

// The outcome of one exchange. The values are the results of avr_prepare and avr_check_version.
enum exchange_result {
    EXCHANGE_OK = 0,           // a whole answer that starts as expected
    EXCHANGE_SEND_FAILED = 1,  // the command did not go out whole
    EXCHANGE_SHORT_ANSWER = 2, // fewer than answer_len bytes came back
    EXCHANGE_OTHER_ANSWER = 3, // a whole answer that starts otherwise
};

// Holds the command and then the answer; the trace dumps whole 16-byte lines of the longest
// answer, so it is longer than any frame.
constexpr std::size_t EXCHANGE_BUFFER_SIZE = 32;

// Runs one exchange. `answer` is cleared before the command and again before the receive, so it
// holds what came back followed by zero bytes, for the caller to read further.
exchange_result avr_exchange_run(int fd, const avr_exchange &x,
                                 unsigned char answer[EXCHANGE_BUFFER_SIZE]);

// Whether the answer's first AVR_ANSWER_MATCH_LEN bytes are those of `text`.
bool answer_is(const unsigned char *answer, const char *text);
