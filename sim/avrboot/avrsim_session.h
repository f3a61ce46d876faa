// What one avrsim_serve call keeps between the turns of its loop: the line's timing, the command
// or block data being received, and the arrival count of every command.
#pragma once

#include "avrsim_pacing.h"
#include "avrsim_protocol.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace bootsim
{

struct serve_state {
    line_pacing line;

    unsigned char cmd[AVRSIM_COMMAND_SIZE];
    std::size_t cmd_len = 0;
    std::int64_t last_arrival_ns = 0; // modelled arrival of the last byte handled

    bool in_data = false; // reading the data of a block command
    avrsim_command_kind data_kind = AVRSIM_CMD_INVALID;
    int data_block = -1;           // -1: an invalid block number (data are read and dropped)
    std::size_t data_exchange = 0; // index into avrsim::exchanges
    unsigned char data[AVRSIM_BLOCK_SIZE];
    std::size_t data_len = 0;

    bool finish_pending = false; // "#PGMEND\r" answered; return once the output is out
    std::int64_t last_activity_ns = 0;
    bool heard = false;         // a byte arrived: the session has begun
    std::int64_t closed_ns = 0; // when the updater was seen closing the line; 0: it was not
    bool fenced = false;        // the device was opened again after that: what arrives from now on
                                // belongs to the next session and stays unread
    std::map<std::string, int> arrivals; // per exact command text
};

// True while a command or block data are only partly received.
inline bool mid_command(const serve_state *st)
{
    return st->in_data || st->cmd_len > 0;
}

} // namespace bootsim
