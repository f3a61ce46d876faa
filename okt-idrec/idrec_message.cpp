#include "idrec_message.h"

#include <cstdarg>
#include <cstdio>

namespace
{

constexpr char MESSAGE_PREFIX[] = "okt-idrec: ";

} // namespace

void idrec_message(const char *format, ...)
{
    fputs(MESSAGE_PREFIX, stderr);
    va_list va;
    va_start(va, format);
    vfprintf(stderr, format, va);
    va_end(va);
}
