#include "update_expect.h"

#include <cstdio>
#include <cstring>

namespace
{
const std::string DASH = "----------------------------\n";
const std::string STARS = "**********************************";
const std::string FRAME = "*********************************************";

std::string padded(const std::string &bytes, std::size_t size)
{
    std::string buf = bytes;
    buf.resize(size, '\0');
    return buf;
}

const unsigned char *bytes_of(const std::string &s)
{
    return reinterpret_cast<const unsigned char *>(s.data());
}

std::string format_int(const char *fmt, int value)
{
    char buf[128];
    snprintf(buf, sizeof buf, fmt, value);
    return buf;
}
} // namespace

std::string dump(const unsigned char *data, int count)
{
    std::string out = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n";
    for (int i = 0; i < count; i += 16) {
        char cell[16];
        snprintf(cell, sizeof cell, "%02x: ", i);
        out += cell;
        for (int j = 0; j < 16; ++j) {
            snprintf(cell, sizeof cell, "%02x ", data[i + j]);
            out += cell;
        }
        out += "   ";
        for (int j = 0; j < 16; ++j) {
            unsigned char b = data[i + j];
            out += b == 0 || b == 0xFF ? '.' : (b >= 0x20 && b <= 0x7E ? char(b) : '?');
        }
        out += '\n';
    }
    return out;
}

std::string trace_send(int verbosity, const unsigned char *data, int count)
{
    if (verbosity < 2)
        return "";
    return DASH + "Send to AVR:\n" + dump(data, count) + DASH;
}

std::string trace_rcvd(int verbosity, const std::string &answer, int ret)
{
    if (verbosity < 2)
        return "";
    return DASH + format_int("rcvd from AVR: ret = %d\n", ret) +
           dump(bytes_of(padded(answer, 16)), 8) + DASH;
}

std::string trace_answer(int verbosity, const std::string &answer, int count, int ret)
{
    if (verbosity < 2)
        return "";
    return DASH + format_int("Send to AVR (ret %d):\n", ret) +
           dump(bytes_of(padded(answer, 32)), count) + DASH;
}

std::string expect_prepare(int verbosity, const std::string &answer)
{
    std::string out = "Preparing AVR for firmware update... ";
    if (verbosity >= 2) {
        out += "\n" + DASH + "send to AVR:\n" + dump(bytes_of(padded("#FWUPLD\r", 16)), 8) + DASH +
               "\n";
    }
    out += trace_rcvd(verbosity, answer, static_cast<int>(answer.size()));
    return out;
}

std::string expect_version_trace(int verbosity, const std::string &answer)
{
    return trace_send(verbosity, bytes_of(padded("#PGMVER\r", 16)), 8) +
           trace_answer(verbosity, answer, 24, static_cast<int>(answer.size()));
}

std::string block_command(memory_kind memory, int block)
{
    return format_int(memory == MEM_FLASH ? "#BLK%03X\r" : "#EBK%03X\r", block);
}

std::string answer_for(memory_kind memory, attempt_end end)
{
    std::string prefix = memory == MEM_FLASH ? ">BLK" : ">EBK";
    switch (end) {
    case END_OK:
        return prefix + "_OK\n";
    case END_ERR:
        return prefix + "ERR\n";
    case END_DTO:
        return prefix + "DTO\n";
    case END_GARBAGE:
        return "?GARBLE?";
    case END_SHORT3:
        return prefix.substr(0, 3);
    }
    return "";
}

std::string expect_block(int verbosity, memory_kind memory, int block, const unsigned char *data,
                         const std::vector<attempt_end> &attempts)
{
    std::string out;
    for (std::size_t a = 0; a < attempts.size(); ++a) {
        if (verbosity >= 1) {
            out += "\n\n" + STARS + "\n";
            out += format_int(memory == MEM_FLASH ? "updating  FLASH block %d\n "
                                                  : "updating EEPROM block %d\n",
                              block);
            if (a > 0)
                out += format_int("RETRY %d\n", static_cast<int>(a));
            out += "\n" + STARS + "\n";
        }
        out += trace_send(verbosity, bytes_of(padded(block_command(memory, block), 16)), 8);
        out += trace_send(verbosity, data, 256);
        std::string answer = answer_for(memory, attempts[a]);
        out += trace_rcvd(verbosity, answer, static_cast<int>(answer.size()));
        switch (attempts[a]) {
        case END_OK:
            out += verbosity >= 1 ? "\nBLOCK OK!\n" : ".";
            break;
        case END_SHORT3:
            out += "A";
            if (verbosity >= 2)
                out += "\nRESPONSE TIMEOUT\n. RETRYING!\n";
            break;
        case END_ERR:
            out += "V";
            if (verbosity >= 2)
                out += format_int("\nBLOCK %d WRITE/VERIFY FAILED! RETRYING!\n", block);
            break;
        case END_DTO:
            out += "T";
            if (verbosity >= 2)
                out += "\nFW BLOCK DATA UPLOAD TIMEOUT. RETRYING!\n";
            break;
        case END_GARBAGE:
            if (verbosity >= 2)
                out += "\nUNEXPECTED RESPONSE! RETRYING!\n";
            break;
        }
    }
    return out;
}

std::string expect_upload_title(memory_kind memory)
{
    return memory == MEM_FLASH ? "DATA   " : "EEPROM ";
}

std::string expect_upload_end(int status)
{
    std::string out = " DONE\n";
    if (status == -1)
        out += "\n\n" + FRAME + "\nWARNING: one block repeatedly failed writing!\n" + FRAME + "\n";
    if (status == -2)
        out += "\n\n" + FRAME + "\nWARNING: unexpected error occured. Aborting!\n" + FRAME + "\n";
    return out;
}

std::string expect_finish(int verbosity, const std::string &answer, const char *message)
{
    return trace_send(verbosity, bytes_of(padded("#PGMEND\r", 16)), 8) +
           trace_answer(verbosity, answer, 8, static_cast<int>(answer.size())) + message + "\n";
}
