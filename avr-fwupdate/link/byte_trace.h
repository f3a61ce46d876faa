// The byte trace printed around every exchange with the AVR at verbosity 2 (-vv). Each function
// prints nothing at lower verbosity. Dumps show whole 16-byte lines, so the buffers passed must
// hold `count` rounded up to a multiple of 16 bytes.
#pragma once

// Before the update-mode command: a blank line, dash line, "send to AVR:", dump, dash line and
// a blank line.
void trace_prepare_send(const unsigned char *buf, int count);

// Before any other send: dash line, "Send to AVR:", dump, dash line.
void trace_send(const unsigned char *buf, int count);

// After a receive of the update-mode or a block answer: dash line, "rcvd from AVR: ret = <ret>",
// dump, dash line.
void trace_received(const unsigned char *buf, int count, int ret);

// After a receive of the version or the end answer. These answers are titled "Send to AVR (ret
// <ret>):", word for word: the title is part of the tool's known output.
void trace_answer(const unsigned char *buf, int count, int ret);
