// Pieces shared by the PACK reader and the packers: the bzip2 calls with the settings every PACK
// uses, and the output file that replaces an existing PACK only once it is complete.
#pragma once

#include "owners.h"

#include <climits>
#include <cstddef>

// bzip2 settings of version 3: the largest block (900 k) and the most patient sort for packing;
// low-memory decompression, since the board reads PACK files with little RAM to spare.
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
// produced on success. Returns 0 (BZ_OK) or bzip2's negative error code.
int pack_bz_compress(unsigned char *dest, unsigned int *dest_len, unsigned char *src,
                     unsigned int src_len);
int pack_bz_decompress(unsigned char *dest, unsigned int *dest_len, unsigned char *src,
                       unsigned int src_len);

// A PACK file under construction: a temporary file in the folder of the file it will replace.
// The destructor removes the temporary file unless pack_output_commit has renamed it.
struct pack_output {
    pack_output() = default;
    ~pack_output();
    pack_output(const pack_output &) = delete;
    pack_output &operator=(const pack_output &) = delete;

    unique_fd fd;
    char target_path[PATH_MAX] = {}; // the output path with its symbolic links followed
    char tmp_path[PATH_MAX] = {};
};

// Follows out_path through symbolic links (also to a target that does not exist yet) and creates
// the temporary file beside the target (permission bits 0644, less the umask), so the links stay
// and only the target is replaced. Refuses a target that is something other than a regular file,
// so a device or a folder is never replaced, and a chain of links that does not end.
// 0 on success, -1 otherwise (nothing printed).
int pack_output_open(const char *out_path, pack_output *out);

// Flushes the temporary file to the disk, closes it and renames it over the target.
// 0 on success, -1 otherwise (nothing printed; the temporary file is removed).
int pack_output_commit(pack_output *out);
