// The bzip2 calls of the PACK code and the library's internal-error hook. They share one file so
// that linking either call also links the hook.
#include "pack_bzip2.h"

#include <bzlib.h>
#include <cstdio>
#include <unistd.h>

namespace
{
// The library takes its source without const, but only reads it.
char *library_source(const unsigned char *src)
{
    return const_cast<char *>(reinterpret_cast<const char *>(src));
}
} // namespace

int pack_bz_compress(unsigned char *dest, unsigned int *dest_len, const unsigned char *src,
                     unsigned int src_len)
{
    return BZ2_bzBuffToBuffCompress(reinterpret_cast<char *>(dest), dest_len, library_source(src),
                                    src_len, PACK_BZ_BLOCK_SIZE_100K, PACK_BZ_VERBOSITY,
                                    PACK_BZ_WORK_FACTOR);
}

int pack_bz_decompress(unsigned char *dest, unsigned int *dest_len, const unsigned char *src,
                       unsigned int src_len)
{
    return BZ2_bzBuffToBuffDecompress(reinterpret_cast<char *>(dest), dest_len, library_source(src),
                                      src_len, PACK_BZ_SMALL, PACK_BZ_VERBOSITY);
}

extern "C" void bz_internal_error(int errcode)
{
    printf("\n\n BZIP2 LIBRARY ERROR %d. ABORTING\n", errcode);
    // _exit skips stdio's buffers: without this the message is lost whenever stdout is a pipe.
    fflush(stdout);
    _exit(errcode);
}

// A libbz2 built with its stdio layer (Debian's, for one) never calls bz_internal_error: it calls
// BZ2_bz__AssertH__fail, which prints to stderr and exits with 3. The program's definition takes
// that call over when libbz2 is a shared library (its calls go through the PLT). It is weak so that
// a static link against such a libbz2 keeps the library's own definition instead of clashing.
extern "C" __attribute__((weak)) void BZ2_bz__AssertH__fail(int errcode)
{
    bz_internal_error(errcode);
}
