// Packers: build a PACK file from a flash data HEX file and an EEPROM HEX file. An output that
// names the same file as an input (through links of either kind) is refused before anything is
// read, with "output file <path> is one of the input files". An output path that is a symbolic
// link stays one: the file it leads to is replaced.
#pragma once

enum pack_write_result {
    PACK_WRITE_OK,
    PACK_WRITE_NO_OUTPUT, // the output cannot be created or replaced, or it is one of the inputs
    PACK_WRITE_INPUT, // version 1: the EEPROM file cannot be opened; 2, 3: the pair does not load
    PACK_WRITE_NO_DATA_FILE, // version 1: the flash data file cannot be opened
    PACK_WRITE_V1_READ,      // version 1: no memory for a text, or a file cannot be read whole
    PACK_WRITE_COMPRESS,     // version 3: compression failed
    PACK_WRITE_NO_CBUF,      // version 3: no memory for the compressed data
    PACK_WRITE_SHORT,        // a write of the head or a payload fell short or failed
};

pack_write_result pack_write_v1(const char *out_path, const char *data_path, const char *eep_path);
pack_write_result pack_write_v2(const char *out_path, const char *data_path, const char *eep_path);
pack_write_result pack_write_v3(const char *out_path, const char *data_path, const char *eep_path);
