// Console input for the interactive editor: single keys, a line editor with its own echo, and
// word input with scanf("%s") rules. Everything reads standard input (byte by byte, with read)
// and writes the standard output stream; pending output is flushed before every wait.
#pragma once

constexpr int EDIT_BUFFER_SIZE = 256; // bytes of every dialog's edit buffer

// Codes of the keys that getch returns and the menus and the line editor treat apart.
constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_LINE_FEED = 10;
constexpr int KEY_CARRIAGE_RETURN = 13;
constexpr int KEY_ESCAPE = 0x1B;
constexpr int KEY_DELETE = 127;

// Result of ask_s when standard input ended before Enter.
constexpr int ASK_INPUT_ENDED = -1;

// One key without Enter: 0..255, or -1 at end of input or on a read error. Keys already there
// (the rest of a line left by read_word, keys typed ahead) are returned at once; otherwise
// pending output is flushed and the key awaited with the terminal in non-canonical, no-echo
// mode, restored afterwards; SIGINT, SIGTERM, SIGHUP or SIGQUIT meanwhile restore it too before
// they end the program as they would have. Terminal attribute failures are ignored, so a pipe
// works too.
// Once input has ended, every later call returns -1 at once.
int getch();

// True once standard input has ended or failed and no key is left; no key will come any more.
bool input_ended();

// Forgets the key left by read_word and the end-of-input mark; for a caller that has put
// another file on standard input.
void reset_console_input();

// Line editor over `buf` (holding the current text, zero-terminated); at most size - 1
// characters can be typed, and never more than the buffer holds with its zero; a longer current
// text is kept whole. Echoes itself; Enter (line feed or carriage return) finishes, backspace or
// delete erases the last character, the bell answers an erase on an empty line and a character
// beyond the limit. Other control codes (below 0x20) are ignored, and so is an escape sequence as
// a whole: ESC, "[" or "O", bytes 0x20-0x3F, and one final byte 0x40-0x7E. `prompt` may be null.
// Returns 0 after Enter, ASK_INPUT_ENDED when input ended first (buf then holds the partial
// edit and must not be used).
int ask_s(const char *prompt, char (&buf)[EDIT_BUFFER_SIZE], int size);

// Reads one white-space delimited word into buf like scanf("%s"), in the terminal's line mode:
// leading white space, empty lines included, is skipped; whatever follows the word on the line
// stays pending for later getch calls. Pending output is flushed first.
// At most EDIT_BUFFER_SIZE - 1 characters are kept; the rest of a longer word is read and
// dropped. True when a word was read, false at end of input (buf untouched).
bool read_word(char (&buf)[EDIT_BUFFER_SIZE]);
