// The PACK decoder: a pure function from a head and the payload bytes, held in memory, to the
// firmware bundle an update sends. It reads no file; pack_read.h reads one and hands it here.
#pragma once

#include "firmware_image.h"
#include "pack_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum pack_decode_result {
    PACK_DECODE_OK,
    PACK_DECODE_IO,        // no memory, or a payload the file holds only in part
    PACK_DECODE_EEP_CKSUM, // the EEPROM payload does not match the head's checksum
    // Versions 2 and 3: no memory for the EEPROM block map; version 3: a flash payload that does
    // not decompress, or not to fw_raw_size bytes.
    PACK_DECODE_BAD_DATA,
    PACK_DECODE_TOO_LARGE, // a payload larger than a valid one can be
    // Version 1: an embedded HEX text fails as ihex_parse says.
    PACK_DECODE_V1_NO_MEM_IMAGE,
    PACK_DECODE_V1_NO_MEM_MAP,
    PACK_DECODE_V1_PARSE_ERROR,
    PACK_DECODE_BAD_MAGIC,   // not a PACK file
    PACK_DECODE_BAD_VERSION, // a version this program does not know
    PACK_DECODE_VERSION0,    // version 0, which is refused
};

// One payload as far as the file holds it: len bytes at `bytes`, fewer than the head's size when
// the file ends early. no_memory: the reader had no memory to hold it (len is 0 then).
struct pack_payload {
    const unsigned char *bytes;
    std::size_t len;
    bool no_memory;
};

struct pack_payloads {
    pack_payload eep;
    pack_payload fw;
};

// The largest payloads a PACK with this head can need; both 0 for a head the decoder refuses
// before it looks at a payload. Readers read no more than these.
struct pack_limits {
    std::size_t eep_max;
    std::size_t fw_max;
};
pack_limits pack_payload_limits(const pack_head &head);

// The payloads of a file held whole in memory: `bytes` are the len bytes after its head.
pack_payloads pack_payloads_in(const pack_head &head, const unsigned char *bytes, std::size_t len);

// pack_checksum over each stored payload, for comparing with the head's.
struct pack_sums {
    uint32_t eep;
    uint32_t fw;
};

// Checks the head and decodes the payloads into *fw: full-size images (0x20000 / 4096 bytes),
// erased where nothing is stored, and block maps (512 / 16 entries); version 1 stamps the EEPROM
// image, versions 2 and 3 store it stamped. Sizes from the head are checked against the limits
// before anything is allocated for them. On failure *fw is left as it was. *sums, when given,
// receives the checksums of the payloads decoded so far. Messages go to `msgs`.
pack_decode_result pack_decode(const pack_head &head, const pack_payloads &in, firmware_bundle *fw,
                               pack_sums *sums, FILE *msgs = stdout);
