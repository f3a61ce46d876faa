// The transaction log. Each line is appended with one write to a file opened for appending, so
// lines from a program and its children stay whole and in order.
#include "sim_internal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace i2csim
{
namespace
{
constexpr size_t LOG_LINE_MAX = 80 * 1024; // characters; holds a full 8 KiB message in hex
char g_line[LOG_LINE_MAX];
} // namespace

void log_line(const char *fmt, ...)
{
    const sim_config &c = config();
    if (!c.log[0])
        return;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(g_line, sizeof g_line - 1, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    size_t len =
        static_cast<size_t>(n) < sizeof g_line - 2 ? static_cast<size_t>(n) : sizeof g_line - 2;
    g_line[len++] = '\n';
    int fd = real_open(c.log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (real_write(fd, g_line, len) < 0) {
        // Nothing to tell anyone: the program under test must not see the emulation's troubles.
    }
    real_close(fd);
}

void log_message(int bus, int addr, bool read, const unsigned char *buf, size_t len,
                 const msg_result &r)
{
    static char text[LOG_LINE_MAX];
    // A failed read has no data to show; a write shows what was offered.
    const bool show_data = len && (!read || !r.err);
    snprintf(text, sizeof text, "%s bus=%d addr=%02x len=%zu%s", read ? "read" : "write", bus, addr,
             len, show_data ? " data=" : "");
    if (show_data)
        append_hex(text, sizeof text - 8, buf, len);
    log_line("%s %s", text, status_word(r));
}

void append_hex(char *text, size_t cap, const unsigned char *bytes, size_t len)
{
    size_t used = strlen(text);
    for (size_t i = 0; i < len && used + 4 < cap; ++i) {
        snprintf(text + used, cap - used, i ? " %02x" : "%02x", bytes[i]);
        used += i ? 3 : 2;
    }
}

} // namespace i2csim
