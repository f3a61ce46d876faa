// Fault rules of the simulated boot loader: what goes wrong, for which exchange, and the
// command-line form of a rule.
#pragma once

#include <string>
#include <vector>

// What a rule does to the exchange it matches. The normal answer of each command:
// "#FWUPLD\r" -> ">FWUPLD"+1, "#PGMVER\r" -> ">PGMVER"+1+fw_ident (24 bytes), block commands ->
// ">BLK_OK"/">EBK_OK"+1 after their 256 data bytes, "#PGMEND\r" -> ">PGM_OK"+1 or ">PGMERR"+1.
enum avrsim_fault_kind {
    AVRSIM_FAULT_NONE = 0,
    AVRSIM_FAULT_SILENT,  // no answer at all
    AVRSIM_FAULT_SHORT,   // only the first `count` bytes of the answer (1 .. answer length - 1)
    AVRSIM_FAULT_GARBAGE, // an answer of the right length made of `text` (default "?GARBLE?"),
                          // padded with '?' or cut to the answer length
    AVRSIM_FAULT_ERR,     // ">BLKERR"/">EBKERR" (block not stored), ">PGMERR" for the end
                          // command, ">ERROR!!" for the others
    AVRSIM_FAULT_DTO,     // ">BLKDTO"/">EBKDTO" after reading the data (block not stored);
                          // ">ERROR!!" for commands without data
    AVRSIM_FAULT_LATE,    // the normal answer, sent `delay_ms` later than it would be
    AVRSIM_FAULT_EXTRA,   // the normal answer followed by `count` extra bytes (from `text`,
                          // repeated; default "+")
    AVRSIM_FAULT_HANGUP,  // close master and slave as soon as the command has arrived
};

// One fault rule. A rule matches an arriving command when all its conditions hold; the first
// matching rule of the list decides the exchange. Block data are read before any answer, so the
// line stays in step whatever the answer is. Arrivals and exchanges are counted anew in every
// session (one update), so a rule without a session applies to each update alike.
struct avrsim_rule {
    std::string command;   // prefix of the command text, e.g. "#BLK005", "#EBK", "#PGMEND";
                           // empty: any command
    int attempt_first = 0; // the n-th arrival of this exact command (1-based); 0: any arrival
    int attempt_last = -1; // last arrival covered; -1: same as attempt_first; 0: no end
    int exchange = 0;      // the n-th command of the session (1-based); 0: any
    int session = 0;       // the n-th session (1-based); 0: every session
    avrsim_fault_kind kind = AVRSIM_FAULT_NONE;
    int count = 0;         // SHORT: bytes sent; EXTRA: extra bytes sent
    unsigned delay_ms = 0; // LATE: added delay
    std::string text;      // GARBAGE / EXTRA bytes
};

// Parses a rule from its command-line form  MATCH:KIND[=ARG]  where MATCH is any combination of
//   CMD      command prefix, '#' optional (BLK005, #EBK, PGMEND)
//   @N       N-th arrival of the command; @N-M arrivals N to M; @N- from N on
//   xE       E-th exchange (command) of the session
//   sN       N-th session only
// and KIND is silent, short=N, garbage[=TEXT], err, dto, late=MS, extra=N[,TEXT] or hangup.
// Examples: "BLK005@1-2:err", "#EBK@1:dto", "x3:hangup", "PGMVER:short=10", "s1BLK004:hangup".
// Returns 0, or -1 for a malformed rule (with a reason in *error when error is given).
int avrsim_parse_rule(const char *text, avrsim_rule *rule, std::string *error = nullptr);

// The first rule of the list that matches a command (its 8 bytes as received), its arrival
// count and exchange number within the session, and the session's number; nullptr when none
// does.
const avrsim_rule *avrsim_find_rule(const std::vector<avrsim_rule> &rules,
                                    const std::string &command, int attempt, int exchange,
                                    int session);

const char *avrsim_fault_name(avrsim_fault_kind kind);
