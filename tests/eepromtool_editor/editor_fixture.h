// A test of the interactive editor: the standard board and okt-eepromtool on a terminal.
#pragma once

#include "board.h"
#include "editor_screens.h"
#include "pty_session.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <memory>

struct editor_test : ::testing::Test {
    board b;
    std::unique_ptr<pty_session> s;
    std::vector<int> ignored_signals; // ignored when the program starts

    // Starts the program and checks the banner and the reading report.
    void start_without_menu(const std::string &report = standard_report(),
                            const std::vector<std::string> &env = {})
    {
        s = std::make_unique<pty_session>(b.dir.file("stderr"), b.env(env), ignored_signals);
        ASSERT_TRUE(s->started);
        expect(banner());
        expect(report);
    }
    // Starts the program up to its first main screen, which shows the CPU module.
    void start(const std::string &report = standard_report(), const info_lines &cpu = cpu_info(),
               const std::vector<std::string> &env = {})
    {
        start_without_menu(report, env);
        expect(main_screen(CPU, cpu));
    }
    void expect(const std::string &want) { EXPECT_EQ(s->take(want.size()), want); }
    // One key (or one typed line) and what it must bring on the screen.
    void key(const std::string &keys, const std::string &want)
    {
        s->type(keys);
        expect(want);
    }
    // q: the program ends with status 0 and prints nothing more.
    void quit(const std::string &key_text = "q")
    {
        s->type(key_text);
        int status;
        EXPECT_EQ(s->finish(&status), "");
        EXPECT_EQ(status, 0);
        if (!launcher_in_use()) {
            EXPECT_EQ(read_file(b.dir.file("stderr")), "");
        }
    }
};
