#include "baud_table.h"

speed_t baud_to_speed(long baud)
{
    for (const baud_entry &e : BAUD_TABLE)
        if (e.baud == baud)
            return e.speed;
    return 0;
}
