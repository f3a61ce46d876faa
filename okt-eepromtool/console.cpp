#include "console.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_DELETE = 127;
constexpr char BELL = '\a';

// Puts the terminal on `fd` into single-key mode for its lifetime and restores the saved
// settings afterwards. Does nothing when `fd` is no terminal.
struct single_key_mode {
    explicit single_key_mode(int fd) : fd_(fd)
    {
        saved_ok_ = tcgetattr(fd_, &saved_) == 0;
        if (!saved_ok_)
            return;
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        tcsetattr(fd_, TCSANOW, &raw);
    }
    ~single_key_mode()
    {
        if (saved_ok_)
            tcsetattr(fd_, TCSANOW, &saved_);
    }
    single_key_mode(const single_key_mode &) = delete;
    single_key_mode &operator=(const single_key_mode &) = delete;

  private:
    int fd_;
    bool saved_ok_ = false;
    termios saved_{};
};

} // namespace

bool input_ended()
{
    return feof(stdin) || ferror(stdin);
}

int getch()
{
    if (input_ended())
        return -1;
    single_key_mode mode(fileno(stdin));
    // Flushing after the mode switch means that once a prompt is visible, a key typed at it is
    // neither echoed by the terminal nor held back for a whole line.
    fflush(stdout);
    int c = getchar();
    return c == EOF ? -1 : c;
}

int ask_s(const char *prompt, char *buf, int size)
{
    int len = static_cast<int>(strlen(buf));
    if (prompt)
        fputs(prompt, stdout);
    if (len > 0)
        fputs(buf, stdout);
    for (;;) {
        int c = getch();
        if (c < 0)
            return ASK_INPUT_ENDED;
        if (c == '\n' || c == '\r') {
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
        if (len < size - 1) {
            putchar(c);
            buf[len++] = static_cast<char>(c);
        } else {
            putchar(BELL);
        }
    }
}

int read_word(char *buf)
{
    fflush(stdout);
    if (input_ended())
        return 0;
    int c;
    do {
        c = getchar();
    } while (c != EOF && isspace(c));
    if (c == EOF)
        return 0;
    int len = 0;
    while (c != EOF && !isspace(c)) {
        // Characters beyond the buffer belong to the same word: they are consumed, not left
        // behind to act as menu keys.
        if (len < EDIT_BUFFER_SIZE - 1)
            buf[len++] = static_cast<char>(c);
        c = getchar();
    }
    buf[len] = '\0';
    if (c != EOF)
        ungetc(c, stdin);
    return 1;
}
