// Reading a file whole: each way of measuring it on the kinds of file the tools meet (a regular
// file, a pipe, a folder), and the limit that refuses a file before anything is allocated.
#include "whole_file.h"

#include "owners.h"
#include "run_program.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

enum file_kind { REGULAR, PIPE, FOLDER };

// A descriptor of the kind asked for, at its start, holding `bytes` (a pipe's writer is closed).
unique_fd open_kind(const temp_dir &dir, file_kind kind, const std::string &bytes)
{
    switch (kind) {
    case REGULAR:
        write_file(dir.file("f"), bytes);
        return unique_fd(open(dir.file("f").c_str(), O_RDONLY));
    case PIPE: {
        int p[2];
        if (pipe(p) != 0)
            return unique_fd();
        unique_fd writer(p[1]);
        if (write(writer.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return unique_fd();
        return unique_fd(p[0]);
    }
    case FOLDER:
        break;
    }
    return unique_fd(open(dir.path.c_str(), O_RDONLY));
}

TEST(WholeFile, EachMeasureOnEachKindOfFile)
{
    struct read_case {
        const char *name;
        file_kind kind;
        std::string bytes;
        file_measure how;
        std::size_t max;
        whole_file_result result;
        std::string read; // what out->bytes holds, when anything was read
        long long size;
        int error;
    };
    const read_case cases[] = {
        {"file by status", REGULAR, "abc", MEASURE_BY_STATUS, 100, WHOLE_FILE_OK, "abc", 3, 0},
        {"file by seeking", REGULAR, "abc", MEASURE_BY_SEEKING, 100, WHOLE_FILE_OK, "abc", 3, 0},
        {"file or stream", REGULAR, "abc", MEASURE_OR_STREAM, 100, WHOLE_FILE_OK, "abc", 3, 0},
        {"file at the limit", REGULAR, "abc", MEASURE_BY_STATUS, 3, WHOLE_FILE_OK, "abc", 3, 0},
        {"empty file", REGULAR, "", MEASURE_BY_STATUS, 100, WHOLE_FILE_OK, "", 0, 0},
        {"file above the limit by status", REGULAR, "abcd", MEASURE_BY_STATUS, 3,
         WHOLE_FILE_TOO_LARGE, "", 4, 0},
        {"file above the limit by seeking", REGULAR, "abcd", MEASURE_BY_SEEKING, 3,
         WHOLE_FILE_TOO_LARGE, "", 4, 0},
        {"file above the limit or stream", REGULAR, "abcd", MEASURE_OR_STREAM, 3,
         WHOLE_FILE_TOO_LARGE, "", 4, 0},
        {"pipe by status reads as empty", PIPE, "abc", MEASURE_BY_STATUS, 100, WHOLE_FILE_OK, "", 0,
         0},
        {"pipe cannot be sought", PIPE, "abc", MEASURE_BY_SEEKING, 100, WHOLE_FILE_NO_SIZE, "", -1,
         ESPIPE},
        {"pipe as a stream", PIPE, "abc", MEASURE_OR_STREAM, 100, WHOLE_FILE_OK, "abc", -1, 0},
        {"pipe at the limit", PIPE, "abc", MEASURE_OR_STREAM, 3, WHOLE_FILE_OK, "abc", -1, 0},
        {"pipe above the limit", PIPE, "abcd", MEASURE_OR_STREAM, 3, WHOLE_FILE_TOO_LARGE, "abcd",
         -1, 0},
        {"folder has a size but no bytes", FOLDER, "", MEASURE_BY_STATUS, SIZE_MAX,
         WHOLE_FILE_SHORT, "", -2, EISDIR},
    };
    for (const read_case &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        unique_fd fd = open_kind(dir, c.kind, c.bytes);
        ASSERT_GE(fd.get(), 0);
        file_bytes out;
        EXPECT_EQ(read_whole_file(fd.get(), c.how, c.max, &out), c.result);
        EXPECT_EQ(out.error, c.error);
        if (c.size != -2) { // a folder's size is the file system's
            EXPECT_EQ(out.size, c.size);
        }
        // A file that cannot be measured, or measures above the limit, is refused unread.
        if (c.result == WHOLE_FILE_NO_SIZE ||
            (c.result == WHOLE_FILE_TOO_LARGE && c.kind != PIPE)) {
            EXPECT_EQ(out.bytes, nullptr) << "nothing is allocated for a refused file";
            continue;
        }
        ASSERT_NE(out.bytes, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(out.bytes.get()), out.len), c.read);
    }
}

} // namespace
