// Every result the exit-status unit maps against the EXIT STATUS section of docs/avr-fwupdate.1,
// read from the page itself, and every status the page lists against the unit: neither can
// change without the other.
#include "exit_status.h"
#include "man_page.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

const char UPDATE[] = "Update";
const char HEX_PAIR[] = "Loading two HEX files";
const char PACK_READING[] = "Reading a PACK file";
const char PACKING[] = "Building a PACK file";

// One result of a layer, the status the unit gives it, and the page's paragraph that tells it:
// the subsection and words of its text. No subsection: a result the run goes on after.
struct mapping {
    const char *result;
    int status;
    const char *subsection;
    const char *phrase;
};

template <class R>
int status_of(R result)
{
    return exit_status(result);
}

// A PACK file that loads no further than the file or its head; the decoder's results come below.
int status_of(pack_load_result result)
{
    return exit_status(result, PACK_DECODE_OK);
}

#define MAPPING(result, subsection, phrase)                                                        \
    mapping                                                                                        \
    {                                                                                              \
#result, status_of(result), subsection, phrase                                             \
    }

const std::vector<mapping> &mappings()
{
    static const std::vector<mapping> all = {
        MAPPING(CMDLINE_OK, nullptr, nullptr),
        MAPPING(CMDLINE_USAGE, UPDATE, "Wrong number of arguments"),
        MAPPING(CMDLINE_BAD_BAUD, UPDATE, "Unsupported baud rate"),

        MAPPING(IHEX_LOAD_OK, nullptr, nullptr),
        MAPPING(IHEX_LOAD_OPEN_FAILED, HEX_PAIR, "A HEX file cannot be opened"),
        MAPPING(IHEX_LOAD_STAT_FAILED, HEX_PAIR, "its size cannot be read"),
        MAPPING(IHEX_LOAD_SHORT_READ, HEX_PAIR, "it cannot be read whole"),
        MAPPING(IHEX_LOAD_NO_MEM_TEXT, HEX_PAIR, "Not enough memory"),
        MAPPING(IHEX_LOAD_NO_MEM_IMAGE, HEX_PAIR, "Not enough memory"),
        MAPPING(IHEX_LOAD_NO_MEM_MAP, HEX_PAIR, "Not enough memory"),
        MAPPING(IHEX_LOAD_PARSE_ERROR, HEX_PAIR, "A HEX file does not parse"),

        MAPPING(PACK_LOAD_OK, nullptr, nullptr),
        MAPPING(PACK_LOAD_OPEN_FAILED, UPDATE, "the PACK file cannot be opened"),
        MAPPING(PACK_LOAD_SHORT_HEAD, UPDATE, "cannot read pack head"),

        MAPPING(PACK_DECODE_OK, nullptr, nullptr),
        MAPPING(PACK_DECODE_IO, PACK_READING, "shorter than the head announces"),
        MAPPING(PACK_DECODE_EEP_CKSUM, PACK_READING, "eep data cksum error"),
        MAPPING(PACK_DECODE_BAD_DATA, PACK_READING, "decompression error"),
        MAPPING(PACK_DECODE_TOO_LARGE, PACK_READING, "larger than a valid one can be"),
        MAPPING(PACK_DECODE_V1_NO_MEM_IMAGE, PACK_READING, "an embedded HEX text fails"),
        MAPPING(PACK_DECODE_V1_NO_MEM_MAP, PACK_READING, "an embedded HEX text fails"),
        MAPPING(PACK_DECODE_V1_PARSE_ERROR, PACK_READING, "an embedded HEX text fails"),
        MAPPING(PACK_DECODE_BAD_MAGIC, PACK_READING, "PACK invalid signature"),
        MAPPING(PACK_DECODE_BAD_VERSION, PACK_READING, "Please update this tool!"),
        MAPPING(PACK_DECODE_VERSION0, PACK_READING, "A version 0 PACK file"),

        MAPPING(COMM_OPEN_OK, nullptr, nullptr),
        MAPPING(COMM_OPEN_FAILED, UPDATE, "cannot open comm port"),
        MAPPING(COMM_PORT_BUSY, UPDATE, "is in use by another process"),
        MAPPING(COMM_CONFIG_FAILED, UPDATE, "cannot set baud rate!"),

        MAPPING(PREPARE_OK, nullptr, nullptr),
        MAPPING(PREPARE_SEND_FAILED, UPDATE, "cannot prepare AVR for update!"),
        MAPPING(PREPARE_SHORT_ANSWER, UPDATE, "cannot prepare AVR for update!"),
        MAPPING(PREPARE_WRONG_ANSWER, UPDATE, "cannot prepare AVR for update!"),

        MAPPING(VERSION_OK, nullptr, nullptr),
        MAPPING(VERSION_SEND_FAILED, UPDATE, "identification could not be read or confirmed"),
        MAPPING(VERSION_SHORT_ANSWER, UPDATE, "identification could not be read or confirmed"),
        MAPPING(VERSION_NO_VERSION, UPDATE, "identification could not be read or confirmed"),

        MAPPING(UPLOAD_OK, nullptr, nullptr),
        MAPPING(UPLOAD_BLOCK_FAILED, UPDATE, "CODE UPDATE FAILED"),
        MAPPING(UPLOAD_DATA_SEND_FAILED, UPDATE, "CODE UPDATE FAILED"),

        MAPPING(FINISH_OK, UPDATE, "AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY"),
        MAPPING(FINISH_CHECKSUM_FAILED, UPDATE, "AVR FIRMWARE CHECKSUM CHECK FAILED"),
        MAPPING(FINISH_SEND_FAILED, UPDATE, "sending the end command failed"),
        MAPPING(FINISH_SHORT_ANSWER, UPDATE, "final answer was too short"),
        MAPPING(FINISH_OTHER_ANSWER, UPDATE, "neither success nor checksum failure"),

        MAPPING(PACK_WRITE_OK, PACKING, "Written"),
        MAPPING(PACK_WRITE_NO_OUTPUT, PACKING, "cannot open for writing"),
        MAPPING(PACK_WRITE_INPUT, PACKING, "errors found in data files"),
        MAPPING(PACK_WRITE_NO_DATA_FILE, PACKING, "the flash data file cannot be opened"),
        MAPPING(PACK_WRITE_V1_READ, PACKING, "a file cannot be read whole"),
        MAPPING(PACK_WRITE_COMPRESS, PACKING, "compression failed"),
        MAPPING(PACK_WRITE_NO_CBUF, PACKING, "not enough memory for the compressed data"),
        MAPPING(PACK_WRITE_SHORT, PACKING, "cannot write fw data"),
    };
    return all;
}

std::vector<tagged_paragraph> exit_statuses()
{
    return tagged_paragraphs(source_path("docs/avr-fwupdate.1"), "EXIT STATUS");
}

std::string tags_of(const tagged_paragraph &p)
{
    std::string s;
    for (const std::string &t : p.tags)
        s += (s.empty() ? "" : ", ") + t;
    return s;
}

TEST(ExitStatusTable, EveryMappingIsThePagesStatusForItsParagraph)
{
    const std::vector<tagged_paragraph> page = exit_statuses();
    for (const mapping &m : mappings()) {
        SCOPED_TRACE(m.result);
        if (!m.subsection) {
            EXPECT_EQ(m.status, 0) << "the run goes on after this result";
            continue;
        }
        std::vector<const tagged_paragraph *> telling;
        for (const tagged_paragraph &p : page)
            if (p.subsection == m.subsection && p.text.find(m.phrase) != std::string::npos)
                telling.push_back(&p);
        ASSERT_EQ(telling.size(), 1u)
            << "paragraphs of \"" << m.subsection << "\" that say \"" << m.phrase << "\"";
        const std::vector<std::string> &tags = telling[0]->tags;
        EXPECT_TRUE(std::find(tags.begin(), tags.end(), std::to_string(m.status)) != tags.end())
            << "the unit gives " << m.status << ", the page lists " << tags_of(*telling[0])
            << " for \"" << telling[0]->text << "\"";
    }
}

TEST(ExitStatusTable, EveryStatusThePageListsComesFromAMapping)
{
    std::map<std::string, std::set<std::string>> produced;
    for (const mapping &m : mappings())
        if (m.subsection)
            produced[m.subsection].insert(std::to_string(m.status));
    const std::vector<tagged_paragraph> page = exit_statuses();
    std::set<std::string> subsections;
    for (const tagged_paragraph &p : page) {
        subsections.insert(p.subsection);
        for (const std::string &status : p.tags)
            EXPECT_EQ(produced[p.subsection].count(status), 1u)
                << "\"" << p.subsection << "\" lists " << status << " for \"" << p.text
                << "\", which no result gives";
    }
    EXPECT_EQ(subsections, (std::set<std::string>{UPDATE, HEX_PAIR, PACK_READING, PACKING}));
}

} // namespace
