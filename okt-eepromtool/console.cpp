#include "console.h"

#include "terminal_signals.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr int FIRST_PRINTABLE = 0x20; // codes below are control codes
constexpr char BELL = '\a';

// Bytes of an escape sequence after ESC and its introducer "[" or "O": parameter (0x30-0x3F) and
// intermediate (0x20-0x2F) bytes, then one final byte.
constexpr int SEQUENCE_BYTE_FIRST = 0x20;
constexpr int SEQUENCE_BYTE_LAST = 0x3F;
constexpr int FINAL_BYTE_FIRST = 0x40;
constexpr int FINAL_BYTE_LAST = 0x7E;

// Puts the terminal on `fd` into single-key mode for its lifetime and restores the saved
// settings afterwards, also when a signal ends the program meanwhile (terminal_signals). Does
// nothing when `fd` is no terminal.
struct single_key_mode {
    explicit single_key_mode(int fd) : fd_(fd)
    {
        saved_ok_ = tcgetattr(fd_, &saved_) == 0;
        if (!saved_ok_)
            return;
        terminal_signals_catch(fd_, saved_, &signals_);
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        tcsetattr(fd_, TCSANOW, &raw);
    }
    ~single_key_mode()
    {
        if (!saved_ok_)
            return;
        tcsetattr(fd_, TCSANOW, &saved_);
        terminal_signals_release(signals_);
    }
    single_key_mode(const single_key_mode &) = delete;
    single_key_mode &operator=(const single_key_mode &) = delete;

  private:
    int fd_;
    bool saved_ok_ = false;
    termios saved_{};
    terminal_signals_saved signals_{};
};

// Standard input is read with read(2), byte by byte, so that nothing typed ahead hides in a
// stream buffer: getch can tell whether a key is already there before it makes the prompt
// visible and waits.
struct console_input {
    int pending = -1;   // the character that ended the last word, not yet taken as a key
    bool ended = false; // end of input or a read error seen; never cleared by a read
};
console_input input;

int read_byte()
{
    if (input.ended)
        return -1;
    for (;;) {
        unsigned char c;
        ssize_t n = read(fileno(stdin), &c, 1);
        if (n == 1)
            return c;
        if (n < 0 && errno == EINTR)
            continue;
        input.ended = true;
        return -1;
    }
}

int next_byte()
{
    if (input.pending >= 0) {
        int c = input.pending;
        input.pending = -1;
        return c;
    }
    return read_byte();
}

bool byte_waiting()
{
    struct pollfd p = {fileno(stdin), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

} // namespace

bool input_ended()
{
    return input.ended && input.pending < 0;
}

void reset_console_input()
{
    input = console_input{};
}

int getch()
{
    if (input.pending >= 0 || input.ended || byte_waiting())
        return next_byte();
    // Only now, when the key is really awaited, is the prompt made visible, and only after the
    // mode switch: a key typed at a visible prompt is neither echoed by the terminal nor held
    // back for a whole line.
    single_key_mode mode(fileno(stdin));
    fflush(stdout);
    return read_byte();
}

namespace
{

// The next key for the line editor, with escape sequences dropped whole: an arrow or function
// key sends ESC [ A or ESC O P and the like, and none of it belongs in a text. A byte that cannot
// continue a sequence ends it and is returned as a key of its own; so is the byte after a lone ESC.
int next_line_key()
{
    int c = getch();
    while (c == KEY_ESCAPE) {
        c = getch();
        if (c != '[' && c != 'O')
            continue;
        do {
            c = getch();
        } while (c >= SEQUENCE_BYTE_FIRST && c <= SEQUENCE_BYTE_LAST);
        if (c >= FINAL_BYTE_FIRST && c <= FINAL_BYTE_LAST)
            c = getch();
    }
    return c;
}

} // namespace

int ask_s(const char *prompt, char (&buf)[EDIT_BUFFER_SIZE], int size)
{
    const int room = EDIT_BUFFER_SIZE - 1; // characters the buffer holds before its zero
    const int limit = std::min(size - 1, room);
    int len = static_cast<int>(strnlen(buf, room));
    if (prompt)
        fputs(prompt, stdout);
    fwrite(buf, 1, static_cast<size_t>(len), stdout);
    for (;;) {
        int c = next_line_key();
        if (c < 0)
            return ASK_INPUT_ENDED;
        if (c == KEY_LINE_FEED || c == KEY_CARRIAGE_RETURN) {
            putchar('\n');
            buf[len] = '\0';
            return 0;
        }
        if (c == KEY_BACKSPACE || c == KEY_DELETE) {
            if (len == 0) {
                putchar(BELL);
                continue;
            }
            fputs("\b \b", stdout);
            // The erased byte itself stays until a later character or the final zero covers
            // it: callers copy whole fields, so these are the bytes they get.
            buf[len] = '\0';
            --len;
            continue;
        }
        // Other control codes would be stored unseen and move the cursor on the screen.
        if (c < FIRST_PRINTABLE)
            continue;
        if (len < limit) {
            putchar(c);
            buf[len++] = static_cast<char>(c);
        } else {
            putchar(BELL);
        }
    }
}

bool read_word(char (&buf)[EDIT_BUFFER_SIZE])
{
    fflush(stdout);
    int c;
    do {
        c = next_byte();
    } while (c >= 0 && isspace(c));
    if (c < 0)
        return false;
    int len = 0;
    while (c >= 0 && !isspace(c)) {
        // Characters beyond the buffer belong to the same word: they are consumed, not left
        // behind to act as menu keys.
        if (len < EDIT_BUFFER_SIZE - 1)
            buf[len++] = static_cast<char>(c);
        c = next_byte();
    }
    buf[len] = '\0';
    input.pending = c; // the white space after the word stays for the next key read
    return true;
}
