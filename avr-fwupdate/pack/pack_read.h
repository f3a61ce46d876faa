// Reading a PACK file's payloads from a descriptor and decoding them (pack_decode.h): the reader
// of the update, which reads each payload once.
#pragma once

#include "firmware_image.h"
#include "pack_decode.h"
#include "pack_format.h"

#include <cstdio>

// Reads the payloads that follow `head` from fd (standing right after the head), each with no
// more bytes than pack_payload_limits allows and, from a regular file, no more than it holds, and
// hands them to pack_decode. Results, messages and *fw, *sums as pack_decode gives them.
pack_decode_result pack_read_bundle(int fd, const pack_head &head, firmware_bundle *fw,
                                    pack_sums *sums, FILE *msgs = stdout);

// pack_read_bundle with the images (0x20000 / 4096 bytes) and block maps (512 / 16 entries)
// handed to the caller: on PACK_DECODE_OK the caller owns all four (release with free); on failure
// nothing stays allocated. Results as pack_decode gives them.
pack_decode_result pack_read(int fd, const pack_head *head, unsigned char **fw_image,
                             unsigned char **eep_image, unsigned char **fw_map,
                             unsigned char **eep_map);
