// The link's port opened by open_comm_port at 115200 baud on the slave side of a fresh pty; the
// test holds the master side and plays the device.
#pragma once

#include "pty_pair.h"
#include "serial_link.h"

#include <gtest/gtest.h>

class port_on_pty : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(open_pty_pair(&pty));
        int fd = -1;
        ASSERT_EQ(open_comm_port(pty.slave_path.c_str(), B115200, &fd), COMM_OPEN_OK);
        port.reset(fd);
    }

    pty_pair pty;
    unique_fd port;
};
