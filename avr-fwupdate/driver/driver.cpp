#include "driver.h"

#include "avr_protocol.h"
#include "cmdline.h"
#include "exit_status.h"
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

void print_banner()
{
    puts("OKT32 Baseboard AVR Firmware update tool 0.43");
    puts("For service use on OKT32 baseboards only; interrupting an update leaves the AVR in its "
         "boot loader.");
    puts("");
}

// Prepare, version check, flash blocks, EEPROM blocks, end: nothing more is sent after a failure.
int talk_to_avr(int port, const firmware_bundle &fw)
{
    const prepare_result prepared = avr_prepare(port);
    if (prepared != PREPARE_OK) {
        puts("cannot prepare AVR for update!");
        return exit_status(prepared);
    }
    const version_result version = avr_check_version(port, fw.eep_image.get());
    if (version != VERSION_OK)
        return exit_status(version);

    upload_result sent = avr_upload_blocks(port, fw.fw_image.get(), fw.fw_map.get(),
                                           static_cast<int>(FW_BLOCK_COUNT), AVR_FLASH);
    if (sent != UPLOAD_OK) {
        puts("\n\nWARNING: CODE UPDATE FAILED! ABORTING!");
        return exit_status(sent);
    }
    sent = avr_upload_blocks(port, fw.eep_image.get(), fw.eep_map.get(),
                             static_cast<int>(EEP_BLOCK_COUNT), AVR_EEPROM);
    if (sent != UPLOAD_OK) {
        puts("\n\nWARNING: EEPROM UPDATE FAILED! ABORTING!");
        return exit_status(sent);
    }
    const char *message = "";
    const finish_result finished = avr_finish(port, &message);
    puts(message);
    return exit_status(finished);
}

int run_port_stage(const command_line &args, const firmware_bundle &fw)
{
    int fd = -1;
    const comm_open_result opened = open_comm_port(args.devnode, args.speed, &fd);
    switch (opened) {
    case COMM_OPEN_OK:
        break;
    case COMM_OPEN_FAILED:
        printf("cannot open comm port '%s'\n", args.devnode);
        return exit_status(opened);
    case COMM_PORT_BUSY:
        printf("comm port '%s' is in use by another process\n", args.devnode);
        return exit_status(opened);
    case COMM_CONFIG_FAILED:
        puts("cannot set baud rate!");
        return exit_status(opened);
    }
    unique_fd port(fd);
    return talk_to_avr(port.get(), fw);
}

// Loads the firmware the command line names, then runs the port stage with it.
int run_update(const command_line &args)
{
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
    if (args.mode == MODE_UPDATE_PACK) {
        pack_file_info pack;
        const pack_load_result loaded = load_pack_file(args.pack_file, &fw, &pack);
        if (loaded != PACK_LOAD_OK)
            return exit_status(loaded, pack.decoded);
    } else {
        const ihex_load_result loaded = load_firmware_bundle(args.data_file, args.eep_file, &fw);
        if (loaded != IHEX_LOAD_OK)
            return exit_status(loaded);
    }
    return run_port_stage(args, fw);
}

} // namespace

int avr_fwupdate_main(int argc, char **argv)
{
    print_banner();

    command_line args;
    const cmdline_result decoded = decode_command_line(argc, argv, &args);
    switch (decoded) {
    case CMDLINE_OK:
        break;
    case CMDLINE_USAGE:
        printf("usage: %s <devnode> <baud> [-v[v]] <packfile>\n", argv[0]);
        return exit_status(decoded);
    case CMDLINE_BAD_BAUD:
        printf("unsupported baudrate %d\n", static_cast<int>(args.baud));
        return exit_status(decoded);
    }

    switch (args.mode) {
    case MODE_PACK_V1:
        return exit_status(pack_write_v1(args.pack_file, args.data_file, args.eep_file));
    case MODE_PACK_V2:
        return exit_status(pack_write_v2(args.pack_file, args.data_file, args.eep_file));
    case MODE_PACK_V3:
        return exit_status(pack_write_v3(args.pack_file, args.data_file, args.eep_file));
    case MODE_UPDATE_PACK:
    case MODE_UPDATE_HEX:
        break;
    }
    return run_update(args);
}
