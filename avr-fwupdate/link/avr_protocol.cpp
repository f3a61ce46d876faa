#include "avr_protocol.h"

#include "avr_exchange.h"
#include "byte_trace.h"
#include "serial_link.h"
#include "verbosity.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{
// A block command or answer, cleared, with room for the trace's whole-line dump.
using frame_buffer = std::array<unsigned char, 16>;
static_assert(std::tuple_size<frame_buffer>::value > AVR_COMMAND_LEN &&
                  std::tuple_size<frame_buffer>::value >= AVR_ANSWER_LEN,
              "a frame buffer holds a command with its terminator and an answer");

// Idle limits of the receives, in 10 ms cycles.
constexpr int PREPARE_IDLE_LIMIT = 10;  // about 110 ms
constexpr int VERSION_IDLE_LIMIT = 100; // about 1 s
constexpr int BLOCK_IDLE_LIMIT = 800;   // about 8 s per receive
constexpr int FINISH_IDLE_LIMIT = 100;  // about 1 s

constexpr int BLOCK_RETRIES = 4;         // five attempts per block in all
constexpr int BLOCK_ANSWER_RECEIVES = 4; // empty receives of one answer before it counts as lost
constexpr int HARDWARE_COUNTDOWN_S = 10; // seconds to interrupt after a hardware mismatch

constexpr avr_exchange UPDATE_MODE = {"#FWUPLD\r", ">FWUPLD", AVR_ANSWER_LEN, PREPARE_IDLE_LIMIT,
                                      TRACE_UPDATE_MODE};
constexpr avr_exchange VERSION_INQUIRY = {"#PGMVER\r", ">PGMVER", AVR_VERSION_ANSWER_LEN,
                                          VERSION_IDLE_LIMIT, TRACE_REQUEST};
constexpr avr_exchange UPDATE_END = {"#PGMEND\r", ">PGM_OK", AVR_ANSWER_LEN, FINISH_IDLE_LIMIT,
                                     TRACE_REQUEST};

// Lines the rollout reads on the boards (deploy/ansible/): change each together with its reader.
// The prepare step's title and its "OK" make the line that tells the AVR entered update mode:
// filter_plugins/avr_update.py, PREPARED_LINE.
const char PREPARE_TITLE[] = "Preparing AVR for firmware update... ";
const char PREPARE_DONE[] = "OK";
// filter_plugins/avr_update.py, MISMATCH_LINE; roles/avr_board_update/files/avr-update-watch.sh
// ends the updater when it sees "Firmware is for different Hardware".
const char HARDWARE_WARNING[] = "\n\nWARNING: Firmware is for different Hardware!!";
// The updater's last line after an update the AVR approved: filter_plugins/avr_update.py,
// UPDATED_LINE, counts a board updated only with this line and exit status 0.
const char UPDATE_COMPLETED[] = "\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY";

const char FRAME_LINE[] = "*********************************************";
const char HEADER_LINE[] = "**********************************";
const char SERIAL_ERROR[] = "\nSERIAL INTERFACE ERROR. ABORTING!";
const char COMM_ERROR[] = "\n\nAVR COMM ERROR OCCURED";

void progress(char c)
{
    putchar(c);
    fflush(stdout);
}

// Identification fields are signed bytes: an erased record shows -1 throughout.
int ident_number(const unsigned char *ident, std::size_t offset)
{
    return static_cast<signed char>(ident[offset]);
}

void hardware_countdown()
{
    puts(HARDWARE_WARNING);
    puts("Press CTRL-C NOW to abort or wait 10 seconds to continue!\n");
    for (int n = HARDWARE_COUNTDOWN_S; n >= 1; --n) {
        // "10 9 8 ...": filter_plugins/avr_update.py (COUNTDOWN_LINE) passes over a line of
        // numbers when it takes the updater's last line.
        printf("%d ", n);
        fflush(stdout);
        sleep(1);
    }
    printf("\n continuing firmware upload\n");
}

struct memory_texts {
    const char *title;
    const char *command;
    const char *header;
    const char *ok;
    const char *failed;
    const char *timeout;
};

const memory_texts FLASH_TEXTS = {"DATA   ", "#BLK%03X\r", "updating  FLASH block %d\n ",
                                  ">BLK_OK", ">BLKERR",    ">BLKDTO"};
const memory_texts EEPROM_TEXTS = {"EEPROM ", "#EBK%03X\r", "updating EEPROM block %d\n",
                                   ">EBK_OK", ">EBKERR",    ">EBKDTO"};

void print_block_header(const memory_texts &texts, int block, int retry)
{
    if (!verbose())
        return;
    printf("\n\n%s\n", HEADER_LINE);
    printf(texts.header, block);
    if (retry > 0)
        printf("RETRY %d\n", retry);
    printf("\n%s\n", HEADER_LINE);
}

// Receives one block answer: a receive that got nothing is repeated, any byte ends the series.
int receive_block_answer(int fd, frame_buffer &answer)
{
    int got = 0;
    for (int i = 0; i < BLOCK_ANSWER_RECEIVES; ++i) {
        answer.fill(0);
        got = avr_receive(fd, answer.data(), static_cast<int>(AVR_ANSWER_LEN), BLOCK_IDLE_LIMIT);
        trace_received(answer.data(), answer.size(), static_cast<int>(AVR_ANSWER_LEN), got);
        if (got > 0)
            break;
    }
    return got;
}

// Prints the verdict on one answer; true when the block was accepted.
bool judge_block_answer(const memory_texts &texts, const frame_buffer &answer, int got, int block)
{
    if (got < static_cast<int>(AVR_ANSWER_LEN)) {
        progress('A');
        if (tracing())
            puts("\nRESPONSE TIMEOUT\n. RETRYING!");
        return false;
    }
    if (answer_is(answer, texts.ok)) {
        if (verbose())
            printf("\nBLOCK OK!\n");
        else
            progress('.');
        return true;
    }
    if (answer_is(answer, texts.failed)) {
        progress('V');
        if (tracing()) {
            printf("\nBLOCK %d WRITE/VERIFY FAILED! ", block);
            puts("RETRYING!");
        }
        return false;
    }
    if (answer_is(answer, texts.timeout)) {
        progress('T');
        if (tracing())
            puts("\nFW BLOCK DATA UPLOAD TIMEOUT. RETRYING!");
        return false;
    }
    if (tracing())
        puts("\nUNEXPECTED RESPONSE! RETRYING!");
    return false;
}

upload_result upload_block(int fd, const memory_texts &texts, const unsigned char *data, int block)
{
    for (int retries_left = BLOCK_RETRIES; retries_left >= 0; --retries_left) {
        print_block_header(texts, block, BLOCK_RETRIES - retries_left);

        frame_buffer command{};
        snprintf(reinterpret_cast<char *>(command.data()), command.size(), texts.command, block);
        trace_send(command.data(), command.size(), static_cast<int>(AVR_COMMAND_LEN));
        if (avr_send(fd, command.data(), AVR_COMMAND_LEN) != AVR_SENT) {
            puts(SERIAL_ERROR);
            return UPLOAD_BLOCK_FAILED;
        }
        trace_send(data, AVR_BLOCK_SIZE, static_cast<int>(AVR_BLOCK_SIZE));
        if (avr_send(fd, data, AVR_BLOCK_SIZE) != AVR_SENT) {
            puts(SERIAL_ERROR);
            return UPLOAD_DATA_SEND_FAILED;
        }

        frame_buffer answer{};
        int got = receive_block_answer(fd, answer);
        if (judge_block_answer(texts, answer, got, block))
            return UPLOAD_OK;
    }
    return UPLOAD_BLOCK_FAILED;
}

void print_upload_failure(const char *warning)
{
    printf("\n\n%s\n", FRAME_LINE);
    puts(warning);
    puts(FRAME_LINE);
}
} // namespace

void print_fw_ident(const char *title, const unsigned char *ident)
{
    printf("%s: %c%1d%1d%1d Built on (DD.MM.YYYY) %02d.%02d.20%02d for Hardware ", title, ident[0],
           ident_number(ident, 1), ident_number(ident, 2), ident_number(ident, 3),
           ident_number(ident, 6), ident_number(ident, 5), ident_number(ident, 4));
    for (std::size_t i = 0; i < HARDWARE_ID_LEN; ++i)
        putchar(ident[HARDWARE_ID_OFFSET + i]);
    putchar('\n');
}

prepare_result avr_prepare(int fd)
{
    fputs(PREPARE_TITLE, stdout);
    exchange_buffer answer;
    switch (avr_exchange_run(fd, UPDATE_MODE, answer)) {
    case EXCHANGE_OK:
        puts(PREPARE_DONE);
        return PREPARE_OK;
    case EXCHANGE_SEND_FAILED:
        if (verbose())
            puts("failed to send FW command");
        return PREPARE_SEND_FAILED;
    case EXCHANGE_SHORT_ANSWER:
        if (verbose())
            puts("AVR response too short");
        return PREPARE_SHORT_ANSWER;
    case EXCHANGE_OTHER_ANSWER:
        break;
    }
    if (verbose())
        puts("AVR response invalid");
    return PREPARE_WRONG_ANSWER;
}

version_result avr_check_version(int fd, const unsigned char *eep_image)
{
    exchange_buffer answer;
    switch (avr_exchange_run(fd, VERSION_INQUIRY, answer)) {
    case EXCHANGE_OK:
        break;
    case EXCHANGE_SEND_FAILED:
        return VERSION_SEND_FAILED;
    case EXCHANGE_SHORT_ANSWER:
        return VERSION_SHORT_ANSWER;
    case EXCHANGE_OTHER_ANSWER:
        puts("AVR did not respond to version inquiry");
        return VERSION_NO_VERSION;
    }

    const unsigned char *installed = answer.data() + AVR_VERSION_IDENT_OFFSET;
    print_fw_ident(CURRENT_FIRMWARE_TITLE, installed);
    print_fw_ident(NEW_FIRMWARE_TITLE, eep_image);

    // An id shorter than eight characters ends at a zero byte.
    if (strncmp(reinterpret_cast<const char *>(installed + HARDWARE_ID_OFFSET),
                reinterpret_cast<const char *>(eep_image + HARDWARE_ID_OFFSET),
                HARDWARE_ID_LEN) != 0)
        hardware_countdown();
    return VERSION_OK;
}

upload_result avr_upload_blocks(int fd, const unsigned char *image, const unsigned char *block_map,
                                int block_count, avr_memory memory)
{
    const memory_texts &texts = memory == AVR_EEPROM ? EEPROM_TEXTS : FLASH_TEXTS;
    printf("%s", texts.title);
    fflush(stdout);

    upload_result status = UPLOAD_OK;
    for (int block = 0; block < block_count && status == UPLOAD_OK; ++block) {
        if (block_map[block] == 0)
            continue;
        status = upload_block(fd, texts, image + static_cast<std::size_t>(block) * AVR_BLOCK_SIZE,
                              block);
    }

    puts(" DONE");
    switch (status) {
    case UPLOAD_OK:
        break;
    case UPLOAD_BLOCK_FAILED:
        print_upload_failure("WARNING: one block repeatedly failed writing!");
        break;
    case UPLOAD_DATA_SEND_FAILED:
        print_upload_failure("WARNING: unexpected error occured. Aborting!");
        break;
    }
    return status;
}

finish_result avr_finish(int fd, const char **message)
{
    exchange_buffer answer;
    switch (avr_exchange_run(fd, UPDATE_END, answer)) {
    case EXCHANGE_OK:
        *message = UPDATE_COMPLETED;
        return FINISH_OK;
    case EXCHANGE_SEND_FAILED:
        *message = COMM_ERROR;
        return FINISH_SEND_FAILED;
    case EXCHANGE_SHORT_ANSWER:
        *message = COMM_ERROR;
        return FINISH_SHORT_ANSWER;
    case EXCHANGE_OTHER_ANSWER:
        break;
    }
    if (answer_is(answer, ">PGMERR")) {
        *message = "\n\nAVR FIRMWARE CHECKSUM CHECK FAILED";
        return FINISH_CHECKSUM_FAILED;
    }
    *message = COMM_ERROR;
    return FINISH_OTHER_ANSWER;
}
