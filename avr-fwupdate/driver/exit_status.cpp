#include "exit_status.h"

// The numbers are those the updater has always ended with. Steps of a run share some of them, and
// the last message printed tells them apart:
//   1    a wrong command line, the AVR's checksum verdict, a HEX file that cannot be opened, a
//        PACK payload that is short or finds no memory
//   2    a port that cannot be opened or is in use, an end command that cannot be sent, a HEX
//        file whose size cannot be read, a PACK's EEPROM checksum
//   3    an unsupported baud rate, a PACK file that cannot be opened, a short end answer, a HEX
//        file that cannot be read whole, damaged PACK data (or no memory for its EEPROM map)
//   4    port settings that cannot be applied, no memory for a HEX text, a PACK payload too large
//   5, 6 the prepare and the version step, and no memory for a HEX image or its block map
//   7    a HEX text that does not parse
//   255, 254  a failed flash or EEPROM upload, and the packers' first two failures
// The texts of a version-1 PACK fail with the numbers of a HEX file. The packers' failures count
// down from 255: earlier packers returned them as -1, -2, ..., which a process shows as 256 plus
// the code.

int exit_status(cmdline_result result)
{
    switch (result) {
    case CMDLINE_OK:
        return 0;
    case CMDLINE_USAGE:
        return 1;
    case CMDLINE_BAD_BAUD:
        break;
    }
    return 3;
}

int exit_status(ihex_load_result result)
{
    switch (result) {
    case IHEX_LOAD_OK:
        return 0;
    case IHEX_LOAD_OPEN_FAILED:
        return 1;
    case IHEX_LOAD_STAT_FAILED:
        return 2;
    case IHEX_LOAD_SHORT_READ:
        return 3;
    case IHEX_LOAD_NO_MEM_TEXT:
        return 4;
    case IHEX_LOAD_NO_MEM_IMAGE:
        return 5;
    case IHEX_LOAD_NO_MEM_MAP:
        return 6;
    case IHEX_LOAD_PARSE_ERROR:
        break;
    }
    return 7;
}

int exit_status(pack_decode_result result)
{
    switch (result) {
    case PACK_DECODE_OK:
        return 0;
    case PACK_DECODE_IO:
        return 1;
    case PACK_DECODE_EEP_CKSUM:
        return 2;
    case PACK_DECODE_BAD_DATA:
        return 3;
    case PACK_DECODE_TOO_LARGE:
        return 4;
    case PACK_DECODE_V1_NO_MEM_IMAGE:
        return exit_status(IHEX_LOAD_NO_MEM_IMAGE);
    case PACK_DECODE_V1_NO_MEM_MAP:
        return exit_status(IHEX_LOAD_NO_MEM_MAP);
    case PACK_DECODE_V1_PARSE_ERROR:
        return exit_status(IHEX_LOAD_PARSE_ERROR);
    case PACK_DECODE_BAD_MAGIC:
        return 11;
    case PACK_DECODE_BAD_VERSION:
        return 12;
    case PACK_DECODE_VERSION0:
        break;
    }
    return 13;
}

int exit_status(pack_load_result result, pack_decode_result decoded)
{
    switch (result) {
    case PACK_LOAD_OK:
        return 0;
    case PACK_LOAD_OPEN_FAILED:
        return 3;
    case PACK_LOAD_SHORT_HEAD:
        return 10;
    case PACK_LOAD_NOT_DECODED:
        break;
    }
    return exit_status(decoded);
}

int exit_status(comm_open_result result)
{
    switch (result) {
    case COMM_OPEN_OK:
        return 0;
    case COMM_OPEN_FAILED:
    case COMM_PORT_BUSY:
        return 2;
    case COMM_CONFIG_FAILED:
        break;
    }
    return 4;
}

int exit_status(prepare_result result)
{
    switch (result) {
    case PREPARE_OK:
        return 0;
    case PREPARE_SEND_FAILED:
    case PREPARE_SHORT_ANSWER:
    case PREPARE_WRONG_ANSWER:
        break;
    }
    return 5;
}

int exit_status(version_result result)
{
    switch (result) {
    case VERSION_OK:
        return 0;
    case VERSION_SEND_FAILED:
    case VERSION_SHORT_ANSWER:
    case VERSION_NO_VERSION:
        break;
    }
    return 6;
}

int exit_status(upload_result result)
{
    switch (result) {
    case UPLOAD_OK:
        return 0;
    case UPLOAD_BLOCK_FAILED:
        return 255;
    case UPLOAD_DATA_SEND_FAILED:
        break;
    }
    return 254;
}

int exit_status(finish_result result)
{
    switch (result) {
    case FINISH_OK:
        // With the success line, what makes a board count as updated in a rollout
        // (deploy/ansible/filter_plugins/avr_update.py).
        return 0;
    case FINISH_CHECKSUM_FAILED:
        return 1;
    case FINISH_SEND_FAILED:
        return 2;
    case FINISH_SHORT_ANSWER:
        return 3;
    case FINISH_OTHER_ANSWER:
        break;
    }
    return 8;
}

int exit_status(pack_write_result result)
{
    switch (result) {
    case PACK_WRITE_OK:
        return 0;
    case PACK_WRITE_NO_OUTPUT:
        return 255;
    case PACK_WRITE_INPUT:
        return 254;
    case PACK_WRITE_NO_DATA_FILE:
        return 253;
    case PACK_WRITE_V1_READ:
        return 252;
    case PACK_WRITE_COMPRESS:
        return 251;
    case PACK_WRITE_NO_CBUF:
        return 250;
    case PACK_WRITE_SHORT:
        break;
    }
    return 249;
}
