#include "byte_trace.h"

#include "hexdump.h"
#include "verbosity.h"

#include <cstdio>

namespace
{
const char DASH_LINE[] = "----------------------------";

void framed_dump(const unsigned char *buf, int count)
{
    hexdump(buf, count);
    puts(DASH_LINE);
}
} // namespace

void trace_prepare_send(const unsigned char *buf, int count)
{
    if (!tracing())
        return;
    printf("\n%s\n", DASH_LINE);
    puts("send to AVR:");
    hexdump(buf, count);
    printf("%s\n\n", DASH_LINE);
}

void trace_send(const unsigned char *buf, int count)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    puts("Send to AVR:");
    framed_dump(buf, count);
}

void trace_received(const unsigned char *buf, int count, int ret)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    printf("rcvd from AVR: ret = %d\n", ret);
    framed_dump(buf, count);
}

void trace_answer(const unsigned char *buf, int count, int ret)
{
    if (!tracing())
        return;
    puts(DASH_LINE);
    printf("Send to AVR (ret %d):\n", ret);
    framed_dump(buf, count);
}
