#include "byte_trace.h"

#include "hexdump.h"
#include "verbosity.h"

#include <cstdio>

namespace
{
const char DASH_LINE[] = "----------------------------";

// The dump of `count` bytes, cut to the whole lines that `held` bytes fill.
void dump(const unsigned char *buf, std::size_t held, int count)
{
    const std::size_t whole = held / HEXDUMP_LINE_BYTES * HEXDUMP_LINE_BYTES;
    const bool fits = count < 0 || static_cast<std::size_t>(count) <= whole;
    hexdump(buf, fits ? count : static_cast<int>(whole));
}

void framed_dump(const unsigned char *buf, std::size_t held, int count)
{
    dump(buf, held, count);
    puts(DASH_LINE);
}
} // namespace

void trace_prepare_send(const unsigned char *buf, std::size_t held, int count)
{
    if (!tracing())
        return;
    printf("\n%s\n", DASH_LINE);
    puts("send to AVR:");
    dump(buf, held, count);
    printf("%s\n\n", DASH_LINE);
}

void trace_send(const unsigned char *buf, std::size_t held, int count)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    puts("Send to AVR:");
    framed_dump(buf, held, count);
}

void trace_received(const unsigned char *buf, std::size_t held, int count, int ret)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    printf("rcvd from AVR: ret = %d\n", ret);
    framed_dump(buf, held, count);
}

void trace_answer(const unsigned char *buf, std::size_t held, int count, int ret)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    printf("Send to AVR (ret %d):\n", ret);
    framed_dump(buf, held, count);
}
