// The bzip2 calls of version 3 with the settings every PACK uses, and the library's
// internal-error hook.
#pragma once

#include <cstddef>

// The largest block (900 k) and the most patient sort for packing; low-memory decompression,
// since the board reads PACK files with little RAM to spare.
constexpr int PACK_BZ_BLOCK_SIZE_100K = 9;
constexpr int PACK_BZ_WORK_FACTOR = 250;
constexpr int PACK_BZ_SMALL = 1;
constexpr int PACK_BZ_VERBOSITY = 0;

// Room for a compressed stream of raw_len bytes: bzip2's own bound (1 % plus 600 bytes). The
// reader gives decompression the same room over the announced length.
constexpr std::size_t pack_bz_capacity(std::size_t raw_len)
{
    return raw_len + raw_len / 64 + 600;
}

// One-shot compression and decompression. *dest_len holds the capacity on entry and the length
// produced on success. Returns 0 (BZ_OK) or bzip2's negative error code. src is only read.
int pack_bz_compress(unsigned char *dest, unsigned int *dest_len, const unsigned char *src,
                     unsigned int src_len);
int pack_bz_decompress(unsigned char *dest, unsigned int *dest_len, const unsigned char *src,
                       unsigned int src_len);

// bzip2's internal-error hook: prints the error and ends the process with _exit(errcode).
extern "C" void bz_internal_error(int errcode);
