// Time on the simulated line. Received bytes are given modelled arrival times (10 bit times each
// at the configured rate) and handled only when they would have arrived; answer bytes are queued
// with the times they may leave. Without a rate every byte arrives and leaves at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bootsim
{

constexpr std::int64_t NS_PER_MS = 1000000;
constexpr std::int64_t NS_PER_US = 1000;
constexpr std::int64_t NS_PER_S = 1000000000;

// Nanoseconds on the monotonic clock.
std::int64_t now_ns();
// Sleeps the whole time on the monotonic clock, also across interrupting signals.
void sleep_ns(std::int64_t ns);

struct pending_byte {
    std::int64_t due_ns; // may leave from then on
    unsigned char byte;
};

struct arriving_byte {
    std::int64_t arrival_ns; // modelled end of its last bit
    unsigned char byte;
};

struct line_pacing {
    std::int64_t byte_time_ns = 0; // 0: no pacing
    std::int64_t rx_clock_ns = 0;  // modelled end of the last received byte
    std::int64_t tx_clock_ns = 0;  // modelled end of the last answer byte scheduled
    std::vector<arriving_byte> input;
    std::size_t input_pos = 0;        // first byte of `input` not handled yet
    std::vector<pending_byte> output; // by due time
};

// Sets the byte time for a line rate (0: no pacing).
void pace_at(line_pacing *line, unsigned baud);

// Gives bytes read at `now` their arrival times, one byte time after the one before.
void pace_input(line_pacing *line, std::int64_t now, const unsigned char *bytes, std::size_t n);

// Queues answer bytes: ready at `ready_ns`, each taking one byte time on a paced line. A late
// answer does not hold up the line for the answers after it.
void pace_answer(line_pacing *line, std::int64_t ready_ns, const std::vector<unsigned char> &bytes,
                 bool late);

// True while read bytes wait for their arrival time.
bool input_waiting(const line_pacing *line);

} // namespace bootsim
