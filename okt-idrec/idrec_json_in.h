// A record from a document in the schema of show --json (okt-idrec(1), JSON INPUT), so that
// show, edit, make round-trip. Strict: the document must be JSON (common/json_reader.h) of at most
// 64 KiB with "schema_version": 1 and a "record" object; a member the schema does not have is
// refused, one it has but the document leaves out gives the value of a zeroed record.
#pragma once

#include "oktideep.h"

#include <cstddef>

constexpr std::size_t JSON_IN_MESSAGE_SIZE = 256; // bytes of a refusal message

enum json_in_result {
    JSON_IN_OK,
    JSON_IN_UNREADABLE, // the file cannot be opened or read (error holds the errno)
    JSON_IN_REFUSED,    // no such document, or a value the checks refuse (message says which)
};

struct json_in_outcome {
    json_in_result result;
    int error;
    char message[JSON_IN_MESSAGE_SIZE]; // JSON_IN_REFUSED: "record.serial.text: 16 bytes; ..."
};

// Reads the document at `path` ("-": standard input) into *record. Prints nothing.
json_in_outcome read_json_record(const char *path, okt_eep_data *record);

// Reads a document held in memory into *record, as read_json_record does.
json_in_outcome parse_json_record(const char *text, std::size_t len, okt_eep_data *record);
