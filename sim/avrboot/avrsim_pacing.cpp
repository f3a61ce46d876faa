#include "avrsim_pacing.h"

#include <algorithm>
#include <cerrno>
#include <time.h>

namespace bootsim
{

namespace
{

constexpr int BITS_PER_BYTE = 10; // start bit, 8 data bits, stop bit

} // namespace

std::int64_t now_ns()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * NS_PER_S + ts.tv_nsec;
}

void sleep_ns(std::int64_t ns)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / NS_PER_S);
    ts.tv_nsec = static_cast<long>(ns % NS_PER_S);
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

void pace_at(line_pacing *line, unsigned baud)
{
    line->byte_time_ns = baud == 0 ? 0 : (std::int64_t)BITS_PER_BYTE * NS_PER_S / baud;
}

void pace_input(line_pacing *line, std::int64_t now, const unsigned char *bytes, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t t = std::max(line->rx_clock_ns, now) + line->byte_time_ns;
        line->rx_clock_ns = t;
        line->input.push_back({t, bytes[i]});
    }
}

void pace_answer(line_pacing *line, std::int64_t ready_ns, const std::vector<unsigned char> &bytes,
                 bool late)
{
    std::int64_t t = ready_ns;
    if (!late)
        t = std::max(t, line->tx_clock_ns);
    for (unsigned char b : bytes) {
        t += line->byte_time_ns;
        pending_byte p{t, b};
        auto pos = std::upper_bound(
            line->output.begin(), line->output.end(), p,
            [](const pending_byte &x, const pending_byte &y) { return x.due_ns < y.due_ns; });
        line->output.insert(pos, p);
    }
    if (!late)
        line->tx_clock_ns = t;
}

bool input_waiting(const line_pacing *line)
{
    return line->input_pos < line->input.size();
}

} // namespace bootsim
