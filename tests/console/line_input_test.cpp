// Keys, the line editor and word input, fed from a file as standard input (the terminal calls
// fail there and are ignored, which is also what a pipe sees).
#include "console.h"

#include "capture_stdout.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

namespace
{

struct console_input : ::testing::Test {
    temp_dir dir;

    void feed(const std::string &keys)
    {
        write_file(dir.file("stdin"), keys);
        put_on_stdin(dir.file("stdin").c_str());
    }
    void put_on_stdin(const char *path)
    {
        int fd = open(path, O_RDONLY);
        ASSERT_GE(fd, 0);
        dup2(fd, 0);
        close(fd);
        reset_console_input();
    }
    void SetUp() override { saved_stdin = dup(0); }
    void TearDown() override
    {
        dup2(saved_stdin, 0);
        close(saved_stdin);
        reset_console_input();
    }
    int saved_stdin = -1;

    // Every key still pending, as getch returns them, up to end of input.
    std::string rest_of_input()
    {
        std::string keys;
        for (int c; (c = getch()) >= 0;)
            keys += static_cast<char>(c);
        return keys;
    }
};

// The buffer handed to the line editor: a 256-byte edit buffer starting with `bytes`.
struct edit_buffer {
    char bytes[EDIT_BUFFER_SIZE] = {};
    explicit edit_buffer(const std::string &start = "")
    {
        memcpy(bytes, start.data(), start.size());
    }
    std::string first(size_t n) const { return std::string(bytes, n); }
};

struct ask_result {
    int result;
    std::string screen;
};

ask_result run_ask_s(const char *prompt, edit_buffer &buf, int size)
{
    capture_stdout out;
    int result = ask_s(prompt, buf.bytes, size);
    return {result, out.text()};
}

TEST_F(console_input, GetchReturnsEveryByteThenMinusOneForGood)
{
    feed(std::string("a\n\xff\x00", 4));
    EXPECT_EQ(getch(), 'a');
    EXPECT_EQ(getch(), '\n');
    EXPECT_EQ(getch(), 0xFF);
    EXPECT_EQ(getch(), 0);
    EXPECT_EQ(getch(), -1);
    EXPECT_EQ(getch(), -1);
    EXPECT_TRUE(input_ended());
}

struct limit_case {
    int size;
    size_t typed; // characters typed before Enter
    size_t kept;  // characters the editor takes
};

TEST_F(console_input, AskSRingsTheBellBeyondSizeMinusOne)
{
    const limit_case cases[] = {
        {15, 14, 14}, {15, 15, 14}, {15, 16, 14}, {16, 15, 15}, {16, 16, 15}};
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (const limit_case &c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + ", typed " + std::to_string(c.typed));
        feed(letters.substr(0, c.typed) + "\n");
        edit_buffer buf;
        ask_result r = run_ask_s(" Enter new  :", buf, c.size);
        EXPECT_EQ(r.result, 0);
        std::string bells(c.typed - c.kept, '\a');
        EXPECT_EQ(r.screen, " Enter new  :" + letters.substr(0, c.kept) + bells + "\n");
        EXPECT_EQ(std::string(buf.bytes), letters.substr(0, c.kept));
    }
}

TEST_F(console_input, AskSNeverTypesPastItsBuffer)
{
    // A size larger than the edit buffer: the buffer's 255 characters and its zero, then bells.
    feed(std::string(EDIT_BUFFER_SIZE + 9, 'k') + "\n");
    edit_buffer buf;
    ask_result r = run_ask_s(nullptr, buf, EDIT_BUFFER_SIZE + 100);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.screen, std::string(EDIT_BUFFER_SIZE - 1, 'k') + std::string(10, '\a') + "\n");
    EXPECT_EQ(buf.first(EDIT_BUFFER_SIZE), std::string(EDIT_BUFFER_SIZE - 1, 'k') + '\0');
}

TEST_F(console_input, AskSOffersALongCurrentTextWholeAndKeepsIt)
{
    // 16 characters in a size-15 editor: shown, kept with Enter, no room for more, and one
    // erase still leaves it too long to add anything.
    feed("x\x7fx\n");
    edit_buffer buf("00.00.0000.00.00");
    ask_result r = run_ask_s(" Enter new  :", buf, 15);
    EXPECT_EQ(r.screen, " Enter new  :00.00.0000.00.00\a\b \b\a\n");
    EXPECT_EQ(std::string(buf.bytes), "00.00.0000.00.0");

    feed("\n");
    edit_buffer serial("ABCDEFGHIJKLMNO");
    r = run_ask_s(" Enter new  :", serial, 15);
    EXPECT_EQ(r.screen, " Enter new  :ABCDEFGHIJKLMNO\n");
    EXPECT_EQ(serial.first(16), std::string("ABCDEFGHIJKLMNO\0", 16));
}

TEST_F(console_input, AskSErasesAtTheEndAndRingsOnAnEmptyLine)
{
    feed("\b\x7f"
         "ab\b\bc\r");
    edit_buffer buf;
    ask_result r = run_ask_s(nullptr, buf, 16);
    EXPECT_EQ(r.screen, "\a\aab\b \b\b \bc\n");
    EXPECT_EQ(buf.first(4), std::string("c\0\0\0", 4));
}

TEST_F(console_input, AskSTouchesOnlyTheBytesUpToTheFinalZero)
{
    // Bytes after the text's zero belong to the field; the editor leaves them alone.
    feed("C\n");
    edit_buffer grown(std::string("AB\0WXYZ", 7));
    run_ask_s(nullptr, grown, 15);
    EXPECT_EQ(grown.first(8), std::string("ABC\0XYZ\0", 8));

    feed("\x7f\n");
    edit_buffer shrunk(std::string("AB\0WXYZ", 7));
    run_ask_s(nullptr, shrunk, 15);
    EXPECT_EQ(shrunk.first(8), std::string("A\0\0WXYZ\0", 8));

    feed(std::string("\b\b\b\b\b\b\b\b\n"));
    edit_buffer cleared("ABCDEFGH");
    ask_result r = run_ask_s(nullptr, cleared, 16);
    EXPECT_EQ(cleared.first(9), std::string(9, '\0'));
    std::string erasures;
    for (int i = 0; i < 8; ++i)
        erasures += "\b \b";
    EXPECT_EQ(r.screen, "ABCDEFGH" + erasures + "\n");
}

struct ignored_case {
    const char *label;
    std::string keys;
    std::string screen; // after the prompt
    std::string text;
    int result;
};

TEST_F(console_input, AskSIgnoresControlCodesAndEscapeSequences)
{
    const ignored_case cases[] = {
        {"control codes", "\t\x01\x1fz\n", "z\n", "z", 0},
        {"cursor key", "\x1b[Az\n", "z\n", "z", 0},
        {"function key, SS3 form", "\x1bOPz\n", "z\n", "z", 0},
        {"parameters", "\x1b[1;5Cz\n", "z\n", "z", 0},
        {"intermediates", "\x1b[2 !qz\n", "z\n", "z", 0},
        {"escape, escape, sequence", "\x1b\x1b[Dz\n", "z\n", "z", 0},
        // Only "[" and "O" open a sequence: after a lone escape the next key counts.
        {"lone escape", "\x1bxz\n", "xz\n", "xz", 0},
        // A byte that cannot continue a sequence ends it and acts as a key of its own.
        {"sequence cut by Enter", "ab\x1b[1\n", "ab\n", "ab", 0},
        {"sequence cut by delete", "ab\x1b[\x7f\n", "ab\b \b\n", "a", 0},
        {"sequence cut by the end of input", "ab\x1b[1", "ab", "ab", ASK_INPUT_ENDED},
        // Bytes from 0x80 on are text, as before.
        {"UTF-8 letter", "\xc3\xa4\n", "\xc3\xa4\n", "\xc3\xa4", 0},
    };
    for (const ignored_case &c : cases) {
        SCOPED_TRACE(c.label);
        feed(c.keys);
        edit_buffer buf;
        ask_result r = run_ask_s("> ", buf, 16);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.screen, "> " + c.screen);
        EXPECT_EQ(std::string(buf.bytes), c.text);
    }
}

TEST_F(console_input, AskSReportsTheEndOfInputBeforeEnter)
{
    feed("ab");
    edit_buffer buf("x");
    ask_result r = run_ask_s(":", buf, 16);
    EXPECT_EQ(r.result, ASK_INPUT_ENDED);
    EXPECT_EQ(r.screen, ":xab");
}

TEST_F(console_input, ReadWordSkipsBlankLinesAndLeavesTheRestAsKeys)
{
    feed("  \n\n\t 12 34\nq");
    char buf[EDIT_BUFFER_SIZE];
    memset(buf, '#', sizeof buf);
    ASSERT_EQ(read_word(buf), 1);
    EXPECT_STREQ(buf, "12");
    EXPECT_EQ(buf[3], '#'); // nothing beyond the word's zero
    EXPECT_EQ(rest_of_input(), " 34\nq");
}

TEST_F(console_input, ReadWordKeepsTheFirst255CharactersOfALongWord)
{
    std::string word(300, 'k');
    word[254] = 'x';
    word[255] = '3'; // dropped with the rest of the word, never a menu key
    feed(word + " 7\n");
    char buf[EDIT_BUFFER_SIZE];
    ASSERT_EQ(read_word(buf), 1);
    EXPECT_EQ(std::string(buf), word.substr(0, 255));
    EXPECT_EQ(rest_of_input(), " 7\n");
}

TEST_F(console_input, ReadWordAtEndOfInput)
{
    feed(" \n \n");
    char buf[EDIT_BUFFER_SIZE] = "untouched";
    EXPECT_EQ(read_word(buf), 0);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(read_word(buf), 0);

    feed("last");
    ASSERT_EQ(read_word(buf), 1);
    EXPECT_STREQ(buf, "last");
    EXPECT_EQ(getch(), -1);
}

TEST_F(console_input, PromptIsVisibleBeforeGetchWaits)
{
    // An empty pipe makes getch wait; the prompt printed before must already have left.
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    dup2(p[0], 0);
    close(p[0]);
    reset_console_input();
    capture_stdout out;
    printf("prompt> ");
    pid_t child = fork();
    if (child == 0) {
        // Types the key only once the prompt is there.
        for (int i = 0; i < 30000 && read_file("/dev/fd/1").empty(); ++i)
            usleep(1000);
        std::string seen = read_file("/dev/fd/1");
        if (write(p[1], seen == "prompt> " ? "k" : "!", 1) != 1)
            _exit(1);
        _exit(0);
    }
    EXPECT_EQ(getch(), 'k');
    close(p[1]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(out.text(), "prompt> ");
}

} // namespace
