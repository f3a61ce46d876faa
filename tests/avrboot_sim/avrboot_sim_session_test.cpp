// Sessions of the simulated boot loader: how one ends when the updater leaves or the line is
// hung up, where the next updater's bytes go, and what is kept from one session to the next.
#include "sim_fixture.h"

namespace
{

TEST_F(SimTest, HangUpPutsANewLineInPlaceForTheNextSession)
{
    avrsim_config cfg = test_config();
    cfg.rules.push_back(rule("s1BLK002:hangup"));
    start(cfg);
    const std::string old_path = sim->slave_path;
    EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE);
    EXPECT_EQ(ask(block_cmd("BLK", 1) + block_data(1), 9), OK_FLASH);
    EXPECT_TRUE(client_send(fd, block_cmd("BLK", 2)));
    EXPECT_EQ(join(), AVRSIM_END_HUNG_UP);
    bool failed = false;
    EXPECT_EQ(client_recv(fd, 8, 1000, &failed), "");
    EXPECT_TRUE(failed) << "a hung-up line reads as an error or end of file";
    EXPECT_FALSE(client_send(fd, block_data(2)));
    ASSERT_EQ(sim->exchanges.size(), 3u);
    EXPECT_EQ(sim->exchanges[2].fault, AVRSIM_FAULT_HANGUP);

    EXPECT_NE(sim->slave_path, old_path) << "the next session needs a line that is up";
    close(fd);
    serve_next();
    fd = client_open(sim->slave_path);
    ASSERT_GE(fd, 0) << sim->slave_path;
    EXPECT_EQ(ask(block_cmd("BLK", 2) + block_data(2), 9), OK_FLASH)
        << "the rule was for session 1";
    const std::string kept(reinterpret_cast<const char *>(sim->flash) + 256, 256);
    EXPECT_EQ(kept, block_data(1)) << "the block of the hung-up session is kept";
}

struct closing_case {
    const char *name;
    std::string sent;      // before the updater closes the device; nothing of it is read back
    const char *violation; // "" for none
};

TEST_F(SimTest, UpdaterClosingTheDeviceEndsTheSessionAndDropsWhatItLeft)
{
    const closing_case cases[] = {
        {"answer left unread", "#FWUPLD\r#PGMVER\r", ""},
        {"half a block", "#FWUPLD\r" + block_cmd("BLK", 1) + block_data(1).substr(0, 100),
         "line closed inside block data: 100 of 256 bytes"},
        {"half a command", "#FWUPLD\r#PGM", "line closed inside a command: 4 bytes"},
    };
    for (const closing_case &c : cases) {
        SCOPED_TRACE(c.name);
        start(test_config());
        EXPECT_TRUE(client_send(fd, c.sent));
        usleep(100000); // the answers reach the line
        close(fd);
        fd = -1;
        EXPECT_EQ(join(), AVRSIM_END_CLOSED);
        EXPECT_EQ(std::string(sim->rx_log.begin(), sim->rx_log.end()), c.sent);
        ASSERT_EQ(sim->violations.size(), *c.violation ? 1u : 0u);
        if (*c.violation) {
            EXPECT_EQ(sim->violations[0].what, c.violation);
        }
        EXPECT_TRUE(sim->writes.empty());

        // The next updater finds nothing that was meant for the one before.
        serve_next();
        fd = client_open(sim->slave_path);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(client_recv(fd, 32, ANSWER_IDLE_MS), "");
        EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE);
        TearDown();
        fd = -1;
    }
}

TEST_F(SimTest, UpdaterOpeningAtOnceAfterTheLastIsServedInTheNextSession)
{
    start(test_config());
    EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE);
    close(fd);
    fd = client_open(sim->slave_path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(client_send(fd, "#PGMVER\r"));
    EXPECT_EQ(join(), AVRSIM_END_CLOSED);
    EXPECT_EQ(std::string(sim->rx_log.begin(), sim->rx_log.end()), "#FWUPLD\r");

    serve_next();
    EXPECT_EQ(client_recv(fd, 25, ANSWER_IDLE_MS), version_answer(test_config()));
    close(fd);
    fd = -1;
    EXPECT_EQ(join(), AVRSIM_END_CLOSED);
    EXPECT_EQ(std::string(sim->rx_log.begin(), sim->rx_log.end()), "#PGMVER\r");
    EXPECT_EQ(sim->session, 2);
}

TEST_F(SimTest, SessionsKeepTheMemoriesAndCountArrivalsAnew)
{
    avrsim_config cfg = test_config();
    for (const char *r : {"BLK001@1:err", "s2FWUPLD:garbage", "s1x4:silent"})
        cfg.rules.push_back(rule(r));
    start(cfg);
    const std::string b1 = block_cmd("BLK", 1) + block_data(1);
    EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE);
    EXPECT_EQ(ask(b1, 9), ">BLKERR\n");
    EXPECT_EQ(ask(b1, 9), OK_FLASH);
    EXPECT_EQ(ask("#PGMVER\r", 25), "") << "exchange 4 of session 1";
    EXPECT_EQ(ask("#PGMEND\r", 9), ">PGMERR\n");
    EXPECT_EQ(join(), AVRSIM_END_FINISHED);
    EXPECT_EQ(sim->session, 1);
    EXPECT_EQ(sim->exchanges.size(), 5u);

    serve_next();
    EXPECT_EQ(ask("#FWUPLD\r", 9), "?GARBLE?");
    EXPECT_EQ(ask(b1, 9), ">BLKERR\n") << "the first arrival of this session";
    EXPECT_EQ(ask("#PGMVER\r", 25), version_answer(cfg));
    EXPECT_EQ(ask("#PGMEND\r", 9), ">PGMERR\n") << "exchange 4 of session 2";
    EXPECT_EQ(join(), AVRSIM_END_FINISHED);
    EXPECT_EQ(sim->session, 2);
    ASSERT_EQ(sim->exchanges.size(), 4u);
    EXPECT_EQ(sim->exchanges[1].number, 2);
    EXPECT_EQ(sim->exchanges[1].attempt, 1);
    EXPECT_EQ(std::string(sim->rx_log.begin(), sim->rx_log.end()),
              "#FWUPLD\r" + b1 + "#PGMVER\r#PGMEND\r");
    EXPECT_EQ(sim->counts[AVRSIM_CMD_FLASH_BLOCK], 1);
    EXPECT_TRUE(sim->writes.empty());
    const std::string kept(reinterpret_cast<const char *>(sim->flash) + 256, 256);
    EXPECT_EQ(kept, block_data(1)) << "session 1 stored it";
}

} // namespace
