#include "avr_exchange.h"

#include "avr_protocol.h"
#include "byte_trace.h"
#include "serial_link.h"

#include <cstring>

static_assert(EXCHANGE_BUFFER_SIZE >= AVR_VERSION_ANSWER_LEN, "the longest answer fits");

bool answer_is(const unsigned char *answer, const char *text)
{
    return strncmp(reinterpret_cast<const char *>(answer), text, AVR_ANSWER_MATCH_LEN) == 0;
}

exchange_result avr_exchange_run(int fd, const avr_exchange &x,
                                 unsigned char answer[EXCHANGE_BUFFER_SIZE])
{
    memset(answer, 0, EXCHANGE_BUFFER_SIZE);
    memcpy(answer, x.command, AVR_COMMAND_LEN);
    if (x.trace == TRACE_UPDATE_MODE)
        trace_prepare_send(answer, static_cast<int>(AVR_COMMAND_LEN));
    else
        trace_send(answer, static_cast<int>(AVR_COMMAND_LEN));
    if (avr_send(fd, answer, AVR_COMMAND_LEN) != 0)
        return EXCHANGE_SEND_FAILED;

    memset(answer, 0, EXCHANGE_BUFFER_SIZE);
    const int wanted = static_cast<int>(x.answer_len);
    const int got = avr_receive(fd, answer, wanted, x.idle_limit);
    if (x.trace == TRACE_UPDATE_MODE)
        trace_received(answer, wanted, got);
    else
        trace_answer(answer, wanted, got);
    if (got < wanted)
        return EXCHANGE_SHORT_ANSWER;
    return answer_is(answer, x.answer) ? EXCHANGE_OK : EXCHANGE_OTHER_ANSWER;
}
