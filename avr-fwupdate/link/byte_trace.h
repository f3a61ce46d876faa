// The byte trace printed around every exchange with the AVR at verbosity 2 (-vv). Each function
// prints nothing at lower verbosity. Each takes the buffer with its size (`held` bytes at `buf`)
// and the count of bytes to show; the dump shows whole 16-byte lines and none beyond `held`.
#pragma once

#include <cstddef>

// Before the update-mode command: a blank line, dash line, "send to AVR:", dump, dash line and
// a blank line.
void trace_prepare_send(const unsigned char *buf, std::size_t held, int count);

// Before any other send: dash line, "Send to AVR:", dump, dash line.
void trace_send(const unsigned char *buf, std::size_t held, int count);

// After a receive of the update-mode or a block answer: dash line, "rcvd from AVR: ret = <ret>",
// dump, dash line.
void trace_received(const unsigned char *buf, std::size_t held, int count, int ret);

// After a receive of the version or the end answer. These answers are titled "Send to AVR (ret
// <ret>):", word for word: the title is part of the tool's known output.
void trace_answer(const unsigned char *buf, std::size_t held, int count, int ret);
