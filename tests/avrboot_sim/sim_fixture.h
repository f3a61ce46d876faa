// The simulated boot loader served from a thread of the test and driven over a real
// pseudo-terminal: a fixture with a client line, and the answers it expects.
#pragma once

#include "avr_bootsim.h"
#include "sim_client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

constexpr unsigned TEST_QUIET_TIMEOUT_MS = 5000; // a broken test ends instead of hanging
constexpr int ANSWER_IDLE_MS = 150;              // an answer that is due comes well within this

const std::string OK_PREPARE = std::string(">FWUPLD\n");
const std::string OK_FLASH = std::string(">BLK_OK\n");
const std::string OK_EEPROM = std::string(">EBK_OK\n");

inline avrsim_config test_config()
{
    avrsim_config cfg = avrsim_default_config();
    avrsim_make_ident(cfg.fw_ident, 'B', 1, 2, 3, 24, 5, 17, "OKT32BB1");
    cfg.quiet_timeout_ms = TEST_QUIET_TIMEOUT_MS;
    return cfg;
}

inline std::string version_answer(const avrsim_config &cfg)
{
    return std::string(">PGMVER\n") + std::string(reinterpret_cast<const char *>(cfg.fw_ident), 16);
}

inline std::string block_cmd(const char *kind, int block)
{
    char c[16];
    snprintf(c, sizeof c, "#%s%03X\r", kind, block);
    return c;
}

inline avrsim_rule rule(const char *text)
{
    avrsim_rule r;
    std::string why;
    EXPECT_EQ(avrsim_parse_rule(text, &r, &why), 0) << text << ": " << why;
    return r;
}

struct SimTest : ::testing::Test {
    std::unique_ptr<avrsim> sim = std::make_unique<avrsim>();
    std::thread server;
    avrsim_end result = AVRSIM_END_ERROR;
    int fd = -1;

    void start(const avrsim_config &cfg, bool open_client = true)
    {
        ASSERT_EQ(avrsim_open(sim.get(), cfg), 0);
        server = std::thread([this] { result = avrsim_serve(sim.get()); });
        if (open_client) {
            fd = client_open(sim->slave_path);
            ASSERT_GE(fd, 0) << sim->slave_path;
        }
    }
    // Serves the next session on the same simulator.
    void serve_next()
    {
        server = std::thread([this] { result = avrsim_serve(sim.get()); });
    }
    // Waits for serving to end on its own.
    avrsim_end join()
    {
        if (server.joinable())
            server.join();
        return result;
    }
    // Sends one command (and block data) and returns what came back within the idle time.
    std::string ask(const std::string &bytes, std::size_t wanted, int idle_ms = ANSWER_IDLE_MS)
    {
        EXPECT_TRUE(client_send(fd, bytes));
        return client_recv(fd, wanted, idle_ms);
    }
    void TearDown() override
    {
        if (server.joinable()) {
            avrsim_stop(sim.get());
            server.join();
        }
        if (fd >= 0)
            close(fd);
    }
};
