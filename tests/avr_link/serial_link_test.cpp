#include "port_on_pty.h"
#include "pty_pair.h"
#include "serial_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int SHORT_IDLE_LIMIT = 10; // cycles of 10 ms

void put(int master, const std::string &bytes)
{
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string received(const unsigned char *buf, int count)
{
    return std::string(reinterpret_cast<const char *>(buf), static_cast<std::size_t>(count));
}

// The lowest free descriptor number: tells whether a failed open left a descriptor behind.
int lowest_free_fd()
{
    int fd = dup(0);
    close(fd);
    return fd;
}

class SerialLink : public port_on_pty
{
};

TEST_F(SerialLink, OpenLeavesTheDescriptorNonBlocking)
{
    int flags = fcntl(port.get(), F_GETFL);
    EXPECT_TRUE(flags & O_NONBLOCK);
    EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
}

TEST(SerialLinkOpen, ClearsFlowControlAndLineDisciplineButKeepsTheRest)
{
    pty_pair pty;
    ASSERT_TRUE(open_pty_pair(&pty));
    unique_fd slave(open(pty.slave_path.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(slave.get(), 0);
    struct termios before {
    };
    ASSERT_EQ(tcgetattr(slave.get(), &before), 0);
    before.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP;
    before.c_oflag |= OPOST | ONLCR;
    before.c_lflag |= ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN;
    before.c_cflag |= CREAD | CLOCAL;
    before.c_cc[VMIN] = 5;
    before.c_cc[VTIME] = 3;
    before.c_cc[VINTR] = 0x07;
    ASSERT_EQ(tcsetattr(slave.get(), TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(slave.get(), &before), 0);

    int fd = -1;
    ASSERT_EQ(open_comm_port(pty.slave_path.c_str(), B57600, &fd), COMM_OPEN_OK);
    unique_fd port(fd);
    struct termios after {
    };
    ASSERT_EQ(tcgetattr(port.get(), &after), 0);

    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
    EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(after.c_lflag & (ISIG | ICANON | ECHO | ECHOE), 0u);
    EXPECT_EQ(after.c_cc[VMIN], 0);
    EXPECT_EQ(after.c_cc[VTIME], 10);
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B57600));

    // Everything else stays as the device had it.
    const tcflag_t kept_iflags = ICRNL | INLCR | IGNCR | ISTRIP;
    EXPECT_EQ(after.c_iflag & kept_iflags, before.c_iflag & kept_iflags);
    EXPECT_EQ(after.c_oflag & ONLCR, before.c_oflag & ONLCR);
    const tcflag_t kept_lflags = ECHOK | ECHONL | IEXTEN;
    EXPECT_EQ(after.c_lflag & kept_lflags, before.c_lflag & kept_lflags);
    const tcflag_t kept_cflags = CSIZE | PARENB | CSTOPB | CLOCAL | CREAD;
    EXPECT_EQ(after.c_cflag & kept_cflags, before.c_cflag & kept_cflags);
    EXPECT_EQ(after.c_cc[VINTR], 0x07);
}

TEST(SerialLinkOpen, DiscardsWhatWasQueuedBeforeTheRun)
{
    pty_pair pty;
    ASSERT_TRUE(open_pty_pair(&pty));
    unique_fd slave(open(pty.slave_path.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(slave.get(), 0);
    put(pty.master.get(), ">STALE!x");
    usleep(20000); // let the pty move the bytes to the slave's queue

    int fd = -1;
    ASSERT_EQ(open_comm_port(pty.slave_path.c_str(), B115200, &fd), COMM_OPEN_OK);
    unique_fd port(fd);
    unsigned char buf[16] = {};
    EXPECT_EQ(avr_receive(port.get(), buf, 8, SHORT_IDLE_LIMIT), 0);
}

TEST(SerialLinkOpen, MissingDeviceIsAnOpenFailure)
{
    int fd = 12345;
    EXPECT_EQ(open_comm_port("/dev/no-such-serial-port", B115200, &fd), COMM_OPEN_FAILED);
    EXPECT_EQ(fd, 12345);
}

TEST(SerialLinkOpen, DeviceThatIsNoTerminalIsAConfigFailureAndGetsClosed)
{
    int free_before = lowest_free_fd();
    int fd = 12345;
    EXPECT_EQ(open_comm_port("/dev/null", B115200, &fd), COMM_CONFIG_FAILED);
    EXPECT_EQ(fd, 12345);
    EXPECT_EQ(lowest_free_fd(), free_before);
}

TEST(SerialLinkOpen, PortThatAnotherOpenHoldsIsBusyAndKeepsItsQueueAndSettings)
{
    pty_pair pty;
    ASSERT_TRUE(open_pty_pair(&pty));
    int fd = -1;
    ASSERT_EQ(open_comm_port(pty.slave_path.c_str(), B115200, &fd), COMM_OPEN_OK);
    unique_fd first(fd);
    put(pty.master.get(), ">FWUPLD\n");
    usleep(20000); // let the pty move the bytes to the slave's queue

    // The lock belongs to the first open, so a second one in this process meets it as another
    // updater would.
    int free_before = lowest_free_fd();
    fd = 12345;
    EXPECT_EQ(open_comm_port(pty.slave_path.c_str(), B9600, &fd), COMM_PORT_BUSY);
    EXPECT_EQ(fd, 12345);
    EXPECT_EQ(lowest_free_fd(), free_before) << "the busy port was not closed";

    // Neither flushed nor reconfigured by the second attempt.
    struct termios tio {
    };
    ASSERT_EQ(tcgetattr(first.get(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    unsigned char buf[16] = {};
    ASSERT_EQ(avr_receive(first.get(), buf, 8, SHORT_IDLE_LIMIT), 8);
    EXPECT_EQ(received(buf, 8), ">FWUPLD\n");

    // Closing the port ends the lock.
    first.reset();
    ASSERT_EQ(open_comm_port(pty.slave_path.c_str(), B115200, &fd), COMM_OPEN_OK);
    close(fd);
}

// What the device sends, what the receive asks for, and what it must return.
struct receive_case {
    const char *name;
    std::string sent;
    int wanted;
    std::string expected;
};

void PrintTo(const receive_case &c, std::ostream *os)
{
    *os << c.name;
}

class SerialLinkReceive : public SerialLink, public ::testing::WithParamInterface<receive_case>
{
};

TEST_P(SerialLinkReceive, ReturnsWhatArrivedUpToTheWantedCount)
{
    const receive_case &c = GetParam();
    if (!c.sent.empty())
        put(pty.master.get(), c.sent);
    unsigned char buf[64];
    memset(buf, 0xAA, sizeof buf);
    int got = avr_receive(port.get(), buf, c.wanted, SHORT_IDLE_LIMIT);
    ASSERT_EQ(got, static_cast<int>(c.expected.size()));
    EXPECT_EQ(received(buf, got), c.expected);
    EXPECT_EQ(buf[got], 0xAA) << "stored beyond the bytes received";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialLinkReceive,
    ::testing::Values(receive_case{"SilentDevice", "", 8, ""},
                      receive_case{"ThreeOfEight", ">BL", 8, ">BL"},
                      receive_case{"Exact", ">BLK_OK\n", 8, ">BLK_OK\n"},
                      receive_case{"MoreThanWanted", ">BLK_OK\n>EBK", 8, ">BLK_OK\n"},
                      receive_case{"BinaryBytes", std::string("\x00\xff\x7f\x80", 4), 4,
                                   std::string("\x00\xff\x7f\x80", 4)}),
    [](const ::testing::TestParamInfo<receive_case> &param_info) { return param_info.param.name; });

TEST_F(SerialLink, SurplusBytesStayQueuedForTheNextReceive)
{
    put(pty.master.get(), ">BLK_OK\n>EBK");
    unsigned char buf[16] = {};
    ASSERT_EQ(avr_receive(port.get(), buf, 8, SHORT_IDLE_LIMIT), 8);
    memset(buf, 0, sizeof buf);
    ASSERT_EQ(avr_receive(port.get(), buf, 8, SHORT_IDLE_LIMIT), 4);
    EXPECT_EQ(received(buf, 4), ">EBK");
}

TEST_F(SerialLink, SlowSteadySenderIsNotCutOff)
{
    // Each byte comes well inside the idle allowance, but all of them take far longer than it:
    // only a receive that restarts the allowance on every arrival gets them all.
    constexpr int IDLE_LIMIT = 50;   // about 0.5 s
    constexpr int BYTE_GAP_MS = 100; // one byte every 0.1 s, 0.8 s in all
    const std::string message = ">PGMVER";
    std::thread sender([&] {
        for (char c : message + "!") {
            std::this_thread::sleep_for(std::chrono::milliseconds(BYTE_GAP_MS));
            if (write(pty.master.get(), &c, 1) != 1)
                return;
        }
    });
    unsigned char buf[16] = {};
    int got = avr_receive(port.get(), buf, 8, IDLE_LIMIT);
    sender.join();
    ASSERT_EQ(got, 8);
    EXPECT_EQ(received(buf, 8), message + "!");
}

TEST_F(SerialLink, SendWritesTheBytesAsTheyAre)
{
    const std::string command = "#BLK1FF\r";
    std::vector<unsigned char> data(command.begin(), command.end());
    for (int i = 0; i < 256; ++i)
        data.push_back(static_cast<unsigned char>(i));
    ASSERT_EQ(avr_send(port.get(), data.data(), 8), AVR_SENT);
    ASSERT_EQ(avr_send(port.get(), data.data() + 8, 256), AVR_SENT);
    std::string got = drain_master(pty.master.get(), data.size(), 1000);
    EXPECT_EQ(got, std::string(data.begin(), data.end()));
}

TEST_F(SerialLink, WriteTakenOnlyInPartIsASendFailure)
{
    // Nobody reads the master, so the non-blocking port takes only what fits in its queue.
    std::vector<unsigned char> big(1 << 20, 'x');
    EXPECT_EQ(avr_send(port.get(), big.data(), big.size()), AVR_SEND_FAILED);
    std::string got = drain_master(pty.master.get(), big.size(), 200);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), big.size());
}

TEST_F(SerialLink, HungUpLineFailsSendsAndReceivesEndWithoutWaiting)
{
    pty.master.reset();
    unsigned char cmd[16] = "#PGMEND\r";
    EXPECT_EQ(avr_send(port.get(), cmd, 8), AVR_SEND_FAILED);
    EXPECT_EQ(avr_receive(port.get(), cmd, 8, SHORT_IDLE_LIMIT), 0);
}

TEST_F(SerialLink, ReceiveWaitsOnDescriptorsAboveTheSelectLimit)
{
    constexpr int HIGH_FD = 1500; // well above FD_SETSIZE (1024)
    struct rlimit saved {
    };
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max <= HIGH_FD)
        GTEST_SKIP() << "the hard limit of open files is " << saved.rlim_max;
    struct rlimit raised = saved;
    if (raised.rlim_cur == RLIM_INFINITY || raised.rlim_cur <= HIGH_FD)
        raised.rlim_cur = HIGH_FD + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    unique_fd high(fcntl(port.get(), F_DUPFD_CLOEXEC, HIGH_FD));
    ASSERT_GE(high.get(), HIGH_FD);

    unsigned char buf[16] = {};
    EXPECT_EQ(avr_receive(high.get(), buf, 8, SHORT_IDLE_LIMIT), 0);
    put(pty.master.get(), ">BLK");
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        put(pty.master.get(), "_OK\n");
    });
    int got = avr_receive(high.get(), buf, 8, SHORT_IDLE_LIMIT);
    late.join();
    EXPECT_EQ(received(buf, got), ">BLK_OK\n");

    high.reset();
    setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(SerialLinkSend, ClosedDescriptorIsASendFailure)
{
    unsigned char cmd[16] = "#FWUPLD\r";
    EXPECT_EQ(avr_send(-1, cmd, 8), AVR_SEND_FAILED);
}

} // namespace
