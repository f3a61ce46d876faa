// The protocol steps on a line that is already down, and with nothing to send: paths the
// simulated boot loader cannot produce, since every write into a live pty succeeds.
#include "avr_protocol.h"
#include "capture_stdout.h"
#include "port_on_pty.h"
#include "serial_link.h"
#include "verbosity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const std::string FAILED_FRAME = "\n\n*********************************************\n"
                                 "WARNING: one block repeatedly failed writing!\n"
                                 "*********************************************\n";

class ProtocolOnDeadLine : public port_on_pty
{
  protected:
    void SetUp() override
    {
        port_on_pty::SetUp();
        pty.master.reset(); // the line hangs up: every write now fails
    }
    void TearDown() override { verbosity = VERBOSITY_QUIET; }
};

class ProtocolUpload : public port_on_pty
{
};

TEST_F(ProtocolOnDeadLine, PrepareReportsTheSendFailureOnlyWhenVerbose)
{
    const std::string lead = "Preparing AVR for firmware update... ";
    for (int level : {VERBOSITY_QUIET, VERBOSITY_VERBOSE}) {
        verbosity = level;
        capture_stdout out;
        EXPECT_EQ(avr_prepare(port.get()), PREPARE_SEND_FAILED);
        EXPECT_EQ(out.text(),
                  level == VERBOSITY_QUIET ? lead : lead + "failed to send FW command\n");
    }
}

TEST_F(ProtocolOnDeadLine, VersionSendFailureIsSilent)
{
    std::vector<unsigned char> eep(4096, 0xFF);
    verbosity = VERBOSITY_VERBOSE;
    capture_stdout out;
    EXPECT_EQ(avr_check_version(port.get(), eep.data()), VERSION_SEND_FAILED);
    EXPECT_EQ(out.text(), "");
}

TEST_F(ProtocolOnDeadLine, BlockCommandThatCannotBeSentEndsTheUpload)
{
    std::vector<unsigned char> image(16 * 256, 0x5A);
    std::vector<unsigned char> map(16, 0);
    map[3] = 1;
    capture_stdout out;
    EXPECT_EQ(avr_upload_blocks(port.get(), image.data(), map.data(), 16, AVR_EEPROM),
              UPLOAD_BLOCK_FAILED);
    EXPECT_EQ(out.text(), "EEPROM \nSERIAL INTERFACE ERROR. ABORTING!\n DONE\n" + FAILED_FRAME);
}

TEST_F(ProtocolOnDeadLine, FinishSendFailureGivesCode2)
{
    const char *message = nullptr;
    capture_stdout out;
    EXPECT_EQ(avr_finish(port.get(), &message), FINISH_SEND_FAILED);
    EXPECT_EQ(out.text(), "");
    EXPECT_STREQ(message, "\n\nAVR COMM ERROR OCCURED");
}

TEST_F(ProtocolUpload, EmptyBlockMapSendsNothing)
{
    std::vector<unsigned char> image(512 * 256, 0x11);
    std::vector<unsigned char> map(512, 0);
    for (int level : {VERBOSITY_QUIET, VERBOSITY_TRACE}) {
        verbosity = level;
        capture_stdout out;
        EXPECT_EQ(avr_upload_blocks(port.get(), image.data(), map.data(), 512, AVR_FLASH),
                  UPLOAD_OK);
        EXPECT_EQ(out.text(), "DATA    DONE\n");
    }
    verbosity = VERBOSITY_QUIET;
    EXPECT_EQ(drain_master(pty.master.get(), 1, 50), "");
}

} // namespace
