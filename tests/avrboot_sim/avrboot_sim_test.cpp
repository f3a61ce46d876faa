// The simulated boot loader served from a thread and driven over a real pseudo-terminal.
#include "sim_fixture.h"

#include <cstring>

namespace
{

TEST_F(SimTest, ServesAWholeUpdateAndRecordsEveryByte)
{
    avrsim_config cfg = test_config();
    start(cfg);
    // Blocks at both ends of the flash: the stamped length passes 64 KiB and keeps only its low
    // 16 bits, so the simulator has to take the rest from the flash that arrived.
    const int flash_blocks[] = {0, 1, 0x1FF};
    std::vector<unsigned char> flash(AVRSIM_FLASH_SIZE, 0xFF);
    for (int b : flash_blocks) {
        std::string d = block_data(b);
        memcpy(&flash[static_cast<std::size_t>(b) * 256], d.data(), 256);
    }
    std::string eeprom0 = block_data(100);
    eeprom0.replace(16, 8, flash_stamp(flash, 0x1FFF3));
    std::string eeprom15 = block_data(115);

    std::string sent;
    auto exchange = [&](const std::string &bytes, std::size_t wanted) {
        sent += bytes;
        return ask(bytes, wanted + 1);
    };
    EXPECT_EQ(exchange("#FWUPLD\r", 8), OK_PREPARE);
    EXPECT_EQ(exchange("#PGMVER\r", 24), version_answer(cfg));
    for (int b : flash_blocks)
        EXPECT_EQ(exchange(block_cmd("BLK", b) + block_data(b), 8), OK_FLASH) << b;
    EXPECT_EQ(exchange(block_cmd("EBK", 0) + eeprom0, 8), OK_EEPROM);
    EXPECT_EQ(exchange(block_cmd("EBK", 15) + eeprom15, 8), OK_EEPROM);
    EXPECT_EQ(exchange("#PGMEND\r", 8), ">PGM_OK\n");

    EXPECT_EQ(join(), AVRSIM_END_FINISHED);
    EXPECT_TRUE(sim->pgmend_seen);
    EXPECT_EQ(sim->verdict, AVRSIM_VERDICT_OK);
    EXPECT_EQ(std::string(sim->rx_log.begin(), sim->rx_log.end()), sent);
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), sim->flash));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(sim->eeprom), 256), eeprom0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(sim->eeprom) + 15 * 256, 256), eeprom15);
    EXPECT_EQ(sim->eeprom[256], 0xFF);

    ASSERT_EQ(sim->writes.size(), 5u);
    const avrsim_block_write order[] = {{AVRSIM_FLASH, 0},
                                        {AVRSIM_FLASH, 1},
                                        {AVRSIM_FLASH, 0x1FF},
                                        {AVRSIM_EEPROM, 0},
                                        {AVRSIM_EEPROM, 15}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sim->writes[i].memory, order[i].memory) << i;
        EXPECT_EQ(sim->writes[i].block, order[i].block) << i;
    }
    ASSERT_EQ(sim->exchanges.size(), 8u);
    EXPECT_EQ(sim->exchanges[2].command, "#BLK000\r");
    EXPECT_EQ(std::string(sim->exchanges[4].received.begin(), sim->exchanges[4].received.end()),
              "#BLK1FF\r" + block_data(0x1FF));
    EXPECT_EQ(sim->exchanges[6].command, "#EBK00F\r");
    EXPECT_EQ(sim->exchanges[7].number, 8);
    const int counts[AVRSIM_COMMAND_KINDS] = {1, 1, 3, 2, 1}; // by command kind
    for (int k = 0; k < AVRSIM_COMMAND_KINDS; ++k)
        EXPECT_EQ(sim->counts[k], counts[k]) << "kind " << k;
    EXPECT_TRUE(sim->violations.empty());
}

TEST_F(SimTest, EndCommandReportsAStampMismatch)
{
    start(test_config());
    EXPECT_EQ(ask(block_cmd("BLK", 0) + block_data(1), 9), OK_FLASH);
    // EEPROM block 0 without a stamp of this flash.
    EXPECT_EQ(ask(block_cmd("EBK", 0) + block_data(2), 9), OK_EEPROM);
    EXPECT_EQ(ask("#PGMEND\r", 9), ">PGMERR\n");
    EXPECT_EQ(join(), AVRSIM_END_FINISHED);
    EXPECT_EQ(sim->verdict, AVRSIM_VERDICT_ERR);
}

struct stamp_case {
    const char *name;
    std::size_t fw_len;       // length the stamp is made for
    std::size_t received_end; // end of the highest flash block received
    int stamp_byte;           // stamp byte to change afterwards (-1: none)
    unsigned char xor_mask;
    int expected;
};

TEST(StampCheck, JudgesSumAndLength)
{
    const stamp_case cases[] = {
        {"matching stamp", 0x1F3, 0x200, -1, 0, 1},
        {"sum differs", 0x1F3, 0x200, 19, 0x01, 0},
        {"stamped length differs", 0x1F3, 0x200, 22, 0x10, 0},
        {"bytes 20-21 not zero", 0x1F3, 0x200, 21, 0x01, 0},
        {"length bits 0-1 set", 0x1F3, 0x200, 22, 0x01, 0},
        {"length beyond the flash received", 0x300, 0x200, -1, 0, 0},
        {"length of 64 KiB and more", 0x10104, 0x10200, -1, 0, 1},
        {"length of exactly 128 KiB", 0x20000, 0x20000, -1, 0, 1},
        {"no flash received: stamped length taken as it is", 0x1F3, 0, -1, 0, 1},
    };
    auto sim = std::make_unique<avrsim>();
    std::vector<unsigned char> flash(AVRSIM_FLASH_SIZE);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<unsigned char>(i * 13 + (i >> 8));
    memcpy(sim->flash, flash.data(), flash.size());
    for (const stamp_case &c : cases) {
        memset(sim->eeprom, 0xFF, sizeof sim->eeprom);
        std::string stamp = flash_stamp(flash, c.fw_len);
        memcpy(sim->eeprom + 16, stamp.data(), 8);
        if (c.stamp_byte >= 0)
            sim->eeprom[c.stamp_byte] ^= c.xor_mask;
        EXPECT_EQ(avrsim_stamp_matches(sim.get(), c.received_end), c.expected) << c.name;
    }
    memset(sim->eeprom, 0xFF, sizeof sim->eeprom);
    EXPECT_EQ(avrsim_stamp_matches(sim.get(), 0x200), 0) << "erased EEPROM";
}

struct fault_case {
    const char *rule;    // "" for none
    std::string request; // command and data
    std::string answer;  // everything expected back
    int stored;          // 1: the block was stored, 0: not, -1: no block
    int idle_ms;
    double min_delay_ms;
};

TEST_F(SimTest, EachFaultShapesItsAnswer)
{
    avrsim_config base = test_config();
    const std::string blk = block_cmd("BLK", 3) + block_data(3);
    const std::string ebk = block_cmd("EBK", 2) + block_data(4);
    const std::string version = version_answer(base);
    const fault_case cases[] = {
        {"", blk, OK_FLASH, 1, ANSWER_IDLE_MS, 0},
        {"BLK003:silent", blk, "", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:short=3", blk, ">BL", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:garbage", blk, "?GARBLE?", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:garbage=>XYZ", blk, ">XYZ????", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:err", blk, ">BLKERR\n", 0, ANSWER_IDLE_MS, 0},
        {"BLK003:dto", blk, ">BLKDTO\n", 0, ANSWER_IDLE_MS, 0},
        {"BLK003:extra=4", blk, OK_FLASH + "++++", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:extra=3,ab", blk, OK_FLASH + "aba", 1, ANSWER_IDLE_MS, 0},
        {"BLK003:late=300", blk, OK_FLASH, 1, 700, 290},
        {"EBK:err", ebk, ">EBKERR\n", 0, ANSWER_IDLE_MS, 0},
        {"EBK:dto", ebk, ">EBKDTO\n", 0, ANSWER_IDLE_MS, 0},
        {"EBK002:short=7", ebk, ">EBK_OK", 1, ANSWER_IDLE_MS, 0},
        {"PGMVER:short=10", "#PGMVER\r", version.substr(0, 10), -1, ANSWER_IDLE_MS, 0},
        {"PGMVER:garbage", "#PGMVER\r", "?GARBLE?" + std::string(16, '?'), -1, ANSWER_IDLE_MS, 0},
        {"PGMVER:extra=2", "#PGMVER\r", version + "++", -1, ANSWER_IDLE_MS, 0},
        {"FWUPLD:err", "#FWUPLD\r", ">ERROR!!", -1, ANSWER_IDLE_MS, 0},
        {"FWUPLD:silent", "#FWUPLD\r", "", -1, ANSWER_IDLE_MS, 0},
        {"FWUPLD:late=200", "#FWUPLD\r", OK_PREPARE, -1, 600, 190},
        {"PGMEND:err", "#PGMEND\r", ">PGMERR\n", -1, ANSWER_IDLE_MS, 0},
    };
    for (const fault_case &c : cases) {
        SCOPED_TRACE(c.rule);
        avrsim_config cfg = base;
        if (*c.rule)
            cfg.rules.push_back(rule(c.rule));
        start(cfg);
        double t0 = now_ms();
        EXPECT_EQ(ask(c.request, c.answer.size() + 8, c.idle_ms), c.answer);
        EXPECT_GE(now_ms() - t0, c.min_delay_ms);
        if (c.stored >= 0) {
            EXPECT_EQ(sim->writes.size(), static_cast<std::size_t>(c.stored));
        }
        EXPECT_TRUE(sim->violations.empty());
        TearDown();
        fd = -1;
    }
}

struct step {
    std::string request;
    std::string answer;
};

TEST_F(SimTest, RulesPickExchangesByCommandAttemptAndNumber)
{
    avrsim_config cfg = test_config();
    for (const char *r : {"BLK005@2:err", "BLK001@1-2:dto", "x7:garbage", "EBK@2-:silent",
                          "BLK001:short=2", "BLK002:err"})
        cfg.rules.push_back(rule(r));
    start(cfg);
    const std::string b5 = block_cmd("BLK", 5) + block_data(5);
    const std::string b1 = block_cmd("BLK", 1) + block_data(1);
    const std::string b2 = block_cmd("BLK", 2) + block_data(2);
    const std::string e0 = block_cmd("EBK", 0) + block_data(9);
    const step steps[] = {
        {b5, OK_FLASH},    // 1: first arrival of block 5
        {b5, ">BLKERR\n"}, // 2: second arrival
        {b5, OK_FLASH},    // 3
        {b1, ">BLKDTO\n"}, // 4: arrivals 1 and 2 of block 1
        {b1, ">BLKDTO\n"}, // 5
        {b1, ">B"},        // 6: past the range, a later rule applies
        {b2, "?GARBLE?"},  // 7: the exchange rule comes before the block 2 rule
        {e0, OK_EEPROM},   // 8
        {e0, ""},          // 9: from the second arrival on
        {e0, ""},          // 10
    };
    int n = 0;
    for (const step &s : steps) {
        ++n;
        EXPECT_EQ(ask(s.request, s.answer.size() + 1), s.answer) << "exchange " << n;
    }
    ASSERT_EQ(sim->exchanges.size(), 10u);
    const int attempts[] = {1, 2, 3, 1, 2, 3, 1, 1, 2, 3};
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(sim->exchanges[i].attempt, attempts[i]) << i;
    EXPECT_EQ(sim->exchanges[1].fault, AVRSIM_FAULT_ERR);
    EXPECT_EQ(sim->exchanges[6].fault, AVRSIM_FAULT_GARBAGE);
    EXPECT_EQ(sim->exchanges[8].fault, AVRSIM_FAULT_SILENT);
}

TEST_F(SimTest, LateAnswerFollowsTheNextAttemptsAnswer)
{
    avrsim_config cfg = test_config();
    cfg.rules.push_back(rule("BLK001@1:late=400"));
    start(cfg);
    const std::string b1 = block_cmd("BLK", 1) + block_data(1);
    double t0 = now_ms();
    EXPECT_EQ(ask(b1, 8, 100), "");
    // The simulator keeps serving while the late answer waits.
    EXPECT_EQ(ask(b1, 8), OK_FLASH);
    EXPECT_EQ(client_recv(fd, 9, 1000), OK_FLASH);
    EXPECT_GE(now_ms() - t0, 390);
    EXPECT_EQ(sim->counts[AVRSIM_CMD_FLASH_BLOCK], 2);
}

struct violation_case {
    const char *name;
    std::string request;
    std::string answer;
    const char *violation; // text the (first) violation holds
    std::size_t violations;
};

TEST_F(SimTest, ProtocolViolationsAreRecordedAndTheLineResynchronises)
{
    avrsim_config base = test_config();
    base.data_timeout_ms = 100;
    const violation_case cases[] = {
        {"unknown command", "#FOOBAR\r", "", "unknown", 1},
        {"no carriage return", "#FWUPLDX", "", "carriage return", 1},
        {"flash block out of range", "#BLK200\r" + block_data(0), ">BLKERR\n", "out of range", 1},
        {"EEPROM block out of range", "#EBK010\r" + block_data(0), ">EBKERR\n", "out of range", 1},
        {"lower-case block number", "#BLK00a\r" + block_data(0), ">BLKERR\n", "malformed", 1},
        {"stray bytes", "xy#FWUPLD\r", OK_PREPARE, "stray byte 0x78", 2},
        {"incomplete command", "#FWU", "", "incomplete command", 1},
        {"incomplete block data", "#BLK001\r" + block_data(1).substr(0, 100), ">BLKDTO\n",
         "block data incomplete: 100 of 256", 1},
    };
    for (const violation_case &c : cases) {
        SCOPED_TRACE(c.name);
        start(base);
        EXPECT_EQ(ask(c.request, c.answer.size() + 1, 300), c.answer);
        EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE) << "not back in step";
        ASSERT_EQ(sim->violations.size(), c.violations);
        EXPECT_NE(sim->violations[0].what.find(c.violation), std::string::npos)
            << sim->violations[0].what;
        EXPECT_TRUE(sim->writes.empty());
        TearDown();
        fd = -1;
    }
}

TEST_F(SimTest, PacingTakesAtLeastTheLineTime)
{
    avrsim_config cfg = test_config();
    cfg.baud = 9600;
    cfg.page_time_us = 40000;
    start(cfg);
    // 8 command bytes, 256 data bytes and 8 answer bytes at 10 bits each, plus programming.
    const double line_ms = 272 * 10 * 1000.0 / 9600 + 40;
    double t0 = now_ms();
    EXPECT_EQ(ask(block_cmd("BLK", 0) + block_data(0), 8, 2000), OK_FLASH);
    EXPECT_GE(now_ms() - t0, 0.9 * line_ms);
    t0 = now_ms();
    EXPECT_EQ(ask("#PGMVER\r", 24, 2000), version_answer(cfg));
    EXPECT_GE(now_ms() - t0, 0.9 * 32 * 10 * 1000.0 / 9600);
}

TEST_F(SimTest, KeepsTheLineUpUntilTheUpdaterComes)
{
    start(test_config(), false);
    // A client that opens and closes again must not hang the line up for the next one.
    int first = client_open(sim->slave_path);
    ASSERT_GE(first, 0);
    close(first);
    usleep(50000);
    fd = client_open(sim->slave_path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ask("#FWUPLD\r", 9), OK_PREPARE);
}

TEST_F(SimTest, EndsWhenQuietOrStopped)
{
    avrsim_config cfg = test_config();
    cfg.quiet_timeout_ms = 200;
    start(cfg, false);
    EXPECT_EQ(join(), AVRSIM_END_QUIET);
    EXPECT_EQ(avrsim_serve(sim.get()), AVRSIM_END_QUIET) << "serving can start again";

    cfg.quiet_timeout_ms = 0;
    start(cfg, false);
    avrsim_stop(sim.get());
    EXPECT_EQ(join(), AVRSIM_END_STOPPED);
}

struct rule_case {
    const char *text;
    const char *command;
    int attempt_first;
    int attempt_last;
    int exchange;
    avrsim_fault_kind kind;
    int count;
    unsigned delay_ms;
    const char *rule_text;
    int session = 0;
};

TEST(RuleParser, ReadsEveryForm)
{
    const rule_case good[] = {
        {"BLK005@1-2:err", "#BLK005", 1, 2, 0, AVRSIM_FAULT_ERR, 0, 0, ""},
        {"#EBK@1:dto", "#EBK", 1, -1, 0, AVRSIM_FAULT_DTO, 0, 0, ""},
        {"x3:hangup", "", 0, -1, 3, AVRSIM_FAULT_HANGUP, 0, 0, ""},
        {"PGMVER:short=10", "#PGMVER", 0, -1, 0, AVRSIM_FAULT_SHORT, 10, 0, ""},
        {"BLK@2-:late=150", "#BLK", 2, 0, 0, AVRSIM_FAULT_LATE, 0, 150, ""},
        {"BLKx4@2:silent", "#BLK", 2, -1, 4, AVRSIM_FAULT_SILENT, 0, 0, ""},
        {":extra=3,ab", "", 0, -1, 0, AVRSIM_FAULT_EXTRA, 3, 0, "ab"},
        {"FWUPLD:garbage=HELLO", "#FWUPLD", 0, -1, 0, AVRSIM_FAULT_GARBAGE, 0, 0, "HELLO"},
        {"s2x1:silent", "", 0, -1, 1, AVRSIM_FAULT_SILENT, 0, 0, "", 2},
        {"BLK004@2s3:hangup", "#BLK004", 2, -1, 0, AVRSIM_FAULT_HANGUP, 0, 0, "", 3},
    };
    for (const rule_case &c : good) {
        avrsim_rule r;
        std::string why;
        ASSERT_EQ(avrsim_parse_rule(c.text, &r, &why), 0) << c.text << ": " << why;
        EXPECT_EQ(r.command, c.command) << c.text;
        EXPECT_EQ(r.attempt_first, c.attempt_first) << c.text;
        EXPECT_EQ(r.attempt_last, c.attempt_last) << c.text;
        EXPECT_EQ(r.exchange, c.exchange) << c.text;
        EXPECT_EQ(r.kind, c.kind) << c.text;
        EXPECT_EQ(r.count, c.count) << c.text;
        EXPECT_EQ(r.delay_ms, c.delay_ms) << c.text;
        EXPECT_EQ(r.text, c.rule_text) << c.text;
        EXPECT_EQ(r.session, c.session) << c.text;
    }
    const char *bad[] = {
        "BLK005",      "BLK:bogus",    "BLK:short=0",  "BLK:short=x", "BLK:short=24",   "@0:err",
        "BLK@3-1:err", "blk:err",      "BLK:err=1",    "xz:err",      "BLKTOOLONG:err", "BLK:late=",
        "BLK:extra=0", "BLK:extra=2,", "BLK:garbage=", "s0:err",      "sBLK:err"};
    for (const char *text : bad) {
        avrsim_rule r;
        std::string why;
        EXPECT_EQ(avrsim_parse_rule(text, &r, &why), -1) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

} // namespace
