// Console input for the interactive editor: single keys, a line editor with its own echo, word
// input with scanf("%s") rules, and hex-or-decimal numbers.
#pragma once

#include <cstdint>

constexpr int EDIT_BUFFER_SIZE = 256; // bytes of every dialog's edit buffer

// One key without Enter: 0..255, or -1 at end of input or on a read error.
int getch();

// Line editor over `buf` (holding the current text); at most size - 1 characters can be typed.
// Returns 0.
int ask_s(const char *prompt, char *buf, int size);

// Reads one white-space delimited word into buf (at most EDIT_BUFFER_SIZE - 1 characters kept).
// Returns 1 when a word was read, 0 at end of input (buf untouched).
int read_word(char *buf);

uint32_t read_number(const char *text);
int ishex(const char *text, unsigned len);
int ishexdigit(int c);
