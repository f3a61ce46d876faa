#include "fwinfo_input.h"

#include "exit_status.h"
#include "ihex_file.h"
#include "pack_load.h"

int load_pack_input(const char *path, fw_input *in, FILE *msgs)
{
    in->kind = INPUT_PACK;
    in->pack_path = path;
    pack_file_info info;
    const pack_load_result rc = load_pack_file(path, &in->images, &info, msgs);
    in->head_read = info.head_read;
    in->head = info.head;
    in->eep_payload = payload_check{info.head.eep_size, info.head.eep_cksum, info.sums.eep};
    in->fw_payload = payload_check{info.head.fw_size, info.head.fw_cksum, info.sums.fw};
    return exit_status(rc, info.decoded);
}

int load_hex_input(const char *flash_path, const char *eep_path, fw_input *in, FILE *msgs)
{
    in->kind = INPUT_HEX_PAIR;
    in->flash_path = flash_path;
    in->eep_path = eep_path;
    return exit_status(load_firmware_bundle(flash_path, eep_path, &in->images, msgs));
}
