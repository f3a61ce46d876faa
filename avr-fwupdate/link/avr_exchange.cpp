#include "avr_exchange.h"

#include "byte_trace.h"
#include "serial_link.h"

static_assert(std::tuple_size<exchange_buffer>::value >= AVR_VERSION_ANSWER_LEN,
              "the longest answer fits");

exchange_result avr_exchange_run(int fd, const avr_exchange &x, exchange_buffer &answer)
{
    answer.fill(0);
    memcpy(answer.data(), x.command, AVR_COMMAND_LEN);
    if (x.trace == TRACE_UPDATE_MODE)
        trace_prepare_send(answer.data(), answer.size(), static_cast<int>(AVR_COMMAND_LEN));
    else
        trace_send(answer.data(), answer.size(), static_cast<int>(AVR_COMMAND_LEN));
    if (avr_send(fd, answer.data(), AVR_COMMAND_LEN) != AVR_SENT)
        return EXCHANGE_SEND_FAILED;

    answer.fill(0);
    const int wanted = static_cast<int>(x.answer_len);
    const int got = avr_receive(fd, answer.data(), wanted, x.idle_limit);
    if (x.trace == TRACE_UPDATE_MODE)
        trace_received(answer.data(), answer.size(), wanted, got);
    else
        trace_answer(answer.data(), answer.size(), wanted, got);
    if (got < wanted)
        return EXCHANGE_SHORT_ANSWER;
    return answer_is(answer, x.answer) ? EXCHANGE_OK : EXCHANGE_OTHER_ANSWER;
}
