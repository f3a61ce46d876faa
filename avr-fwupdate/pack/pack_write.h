// Packers: build a PACK file from a flash data HEX file and an EEPROM HEX file.
// 0 success; -1 output cannot be opened, or it names the same file as an input (through links of
// either kind; refused before anything is read, with "output file <path> is one of the input
// files"); -2 input/loading failure; -3 V1 data file cannot be opened; -4 V1 no memory or short
// read; -5 V3 compression failed; -6 V3 no memory for the compression buffer; -7 a write of the
// head or a payload fell short or failed. An output path that is a symbolic link stays one: the
// file it leads to is replaced.
#pragma once

int pack_write_v1(const char *out_path, const char *data_path, const char *eep_path);
int pack_write_v2(const char *out_path, const char *data_path, const char *eep_path);
int pack_write_v3(const char *out_path, const char *data_path, const char *eep_path);
