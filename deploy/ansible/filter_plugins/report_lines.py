"""Turns a batch's report lines into the arguments of the commands that append them to the
report on the controller: each line one JSON text, as to_json writes it, and the lines grouped
so that the shell command of one group stays far below the length of one argument (128 KiB on
Linux; the controller starts the command as one argument of its shell)."""

import json
import shlex

CHUNK_BYTES = 64 * 1024


def okt_json_line_chunks(records, limit=CHUNK_BYTES):
    """The records (dicts) as lists of JSON lines, in their order, each list's quoted lines
    together at most `limit` bytes; a line longer than that goes alone."""
    chunks = []
    size = 0
    for record in records:
        line = json.dumps(record)
        quoted = len(shlex.quote(line).encode()) + 1
        if not chunks or size + quoted > limit:
            chunks.append([])
            size = 0
        chunks[-1].append(line)
        size += quoted
    return chunks


class FilterModule(object):
    def filters(self):
        return {'okt_json_line_chunks': okt_json_line_chunks}
