#include "pack_load.h"

#include "owners.h"
#include "pack_read.h"

#include <fcntl.h>
#include <unistd.h>

pack_load_result load_pack_file(const char *path, firmware_bundle *fw, pack_file_info *info,
                                FILE *msgs)
{
    *info = pack_file_info{};
    unique_fd file(open(path, O_RDONLY));
    if (file.get() < 0) {
        fprintf(msgs, "file open/stat/read error %s\n", path);
        return PACK_LOAD_OPEN_FAILED;
    }
    unsigned char bytes[PACK_HEAD_SIZE];
    if (read(file.get(), bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) {
        fputs("cannot read pack head\n", msgs);
        return PACK_LOAD_SHORT_HEAD;
    }
    pack_head_decode(bytes, &info->head);
    info->head_read = true;
    info->decoded = pack_read_bundle(file.get(), info->head, fw, &info->sums, msgs);
    return info->decoded == PACK_DECODE_OK ? PACK_LOAD_OK : PACK_LOAD_NOT_DECODED;
}
