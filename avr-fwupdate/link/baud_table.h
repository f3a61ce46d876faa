// The only line rates the updater accepts, ascending, with their termios speed constants.
#pragma once

#include <termios.h>

struct baud_entry {
    long baud;
    speed_t speed;
};
constexpr baud_entry BAUD_TABLE[] = {
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

// The B* constant for a baud number, or 0 when the number is not in the table.
speed_t baud_to_speed(long baud);
