#include "driver.h"

#include "avr_protocol.h"
#include "cmdline.h"
#include "firmware_image.h"
#include "ihex_file.h"
#include "owners.h"
#include "pack_load.h"
#include "pack_write.h"
#include "serial_link.h"
#include "verbosity.h"

#include <cstdio>

namespace
{

enum driver_exit {
    EXIT_UPDATED = 0,
    EXIT_USAGE = 1,
    EXIT_PORT_OPEN = 2,
    EXIT_BAD_BAUD = 3,
    EXIT_PORT_CONFIG = 4,
    EXIT_PREPARE = 5,
    EXIT_VERSION = 6,
};

void print_banner()
{
    puts("OKT32 Baseboard AVR Firmware update tool 0.43");
    puts("For service use on OKT32 baseboards only; interrupting an update leaves the AVR in its "
         "boot loader.");
    puts("");
}

int run_packer(const command_line &args)
{
    switch (args.mode) {
    case MODE_PACK_V1:
        return pack_write_v1(args.pack_file, args.data_file, args.eep_file);
    case MODE_PACK_V2:
        return pack_write_v2(args.pack_file, args.data_file, args.eep_file);
    case MODE_PACK_V3:
        return pack_write_v3(args.pack_file, args.data_file, args.eep_file);
    case MODE_UPDATE_PACK:
    case MODE_UPDATE_HEX:
        break;
    }
    return EXIT_USAGE;
}

// Prepare, version check, flash blocks, EEPROM blocks, end: nothing more is sent after a failure.
int talk_to_avr(int port, const firmware_bundle &fw)
{
    if (avr_prepare(port) != 0) {
        puts("cannot prepare AVR for update!");
        return EXIT_PREPARE;
    }
    if (avr_check_version(port, fw.eep_image.get()) != 0)
        return EXIT_VERSION;

    int status = avr_upload_blocks(port, fw.fw_image.get(), fw.fw_map.get(),
                                   static_cast<int>(FW_BLOCK_COUNT), AVR_FLASH);
    if (status != 0) {
        puts("\n\nWARNING: CODE UPDATE FAILED! ABORTING!");
        return status;
    }
    status = avr_upload_blocks(port, fw.eep_image.get(), fw.eep_map.get(),
                               static_cast<int>(EEP_BLOCK_COUNT), AVR_EEPROM);
    if (status != 0) {
        puts("\n\nWARNING: EEPROM UPDATE FAILED! ABORTING!");
        return status;
    }
    const char *message = "";
    int code = avr_finish(port, &message);
    puts(message);
    return code;
}

int run_port_stage(const command_line &args, const firmware_bundle &fw)
{
    int fd = -1;
    switch (open_comm_port(args.devnode, args.speed, &fd)) {
    case COMM_OPEN_OK:
        break;
    case COMM_OPEN_FAILED:
        printf("cannot open comm port '%s'\n", args.devnode);
        return EXIT_PORT_OPEN;
    case COMM_PORT_BUSY:
        printf("comm port '%s' is in use by another process\n", args.devnode);
        return EXIT_PORT_OPEN;
    case COMM_CONFIG_FAILED:
        puts("cannot set baud rate!");
        return EXIT_PORT_CONFIG;
    }
    unique_fd port(fd);
    return talk_to_avr(port.get(), fw);
}

} // namespace

int avr_fwupdate_main(int argc, char **argv)
{
    print_banner();

    command_line args;
    switch (decode_command_line(argc, argv, &args)) {
    case CMDLINE_OK:
        break;
    case CMDLINE_USAGE:
        printf("usage: %s <devnode> <baud> [-v[v]] <packfile>\n", argv[0]);
        return EXIT_USAGE;
    case CMDLINE_BAD_BAUD:
        printf("unsupported baudrate %d\n", static_cast<int>(args.baud));
        return EXIT_BAD_BAUD;
    }
    if (args.mode != MODE_UPDATE_PACK && args.mode != MODE_UPDATE_HEX)
        return run_packer(args);

    verbosity = args.verbosity;
    if (verbose()) {
        printf("port '%s' baud %lu verbose %d ", args.devnode,
               static_cast<unsigned long>(args.baud), verbosity);
        if (args.mode == MODE_UPDATE_PACK)
            printf("packfile %s\n", args.pack_file);
        else
            printf("datafile %s eepromfile %s\n", args.data_file, args.eep_file);
    }

    firmware_bundle fw;
    pack_file_info pack;
    int rc = args.mode == MODE_UPDATE_PACK
                 ? load_pack_file(args.pack_file, &fw, &pack)
                 : load_firmware_bundle(args.data_file, args.eep_file, &fw);
    if (rc != 0)
        return rc;
    return run_port_stage(args, fw);
}
