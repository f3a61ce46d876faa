#include "avrsim_answers.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace bootsim
{

namespace
{

const char *const ANSWER_ERROR = ">ERROR!!";
const char *const DEFAULT_GARBAGE = "?GARBLE?";
const char *const DEFAULT_EXTRA = "+";

std::size_t answer_size(avrsim_command_kind kind)
{
    return kind == AVRSIM_CMD_VERSION ? AVRSIM_VERSION_ANSWER_SIZE : AVRSIM_ANSWER_SIZE;
}

} // namespace

std::vector<unsigned char> text_answer(const char *text, std::size_t len, unsigned char last)
{
    std::vector<unsigned char> a(len, '?');
    std::size_t n = std::min(strlen(text), len);
    memcpy(a.data(), text, n);
    if (n == 7 && len >= AVRSIM_ANSWER_SIZE)
        a[7] = last;
    return a;
}

std::vector<unsigned char> normal_answer(const avrsim_config &cfg, avrsim_command_kind kind,
                                         bool ok)
{
    unsigned char last = cfg.answer_last_byte;
    switch (kind) {
    case AVRSIM_CMD_PREPARE:
        return text_answer(">FWUPLD", AVRSIM_ANSWER_SIZE, last);
    case AVRSIM_CMD_VERSION: {
        std::vector<unsigned char> a = text_answer(">PGMVER", AVRSIM_VERSION_ANSWER_SIZE, last);
        memcpy(a.data() + 8, cfg.fw_ident, AVRSIM_IDENT_SIZE);
        return a;
    }
    case AVRSIM_CMD_FLASH_BLOCK:
        return text_answer(ok ? ">BLK_OK" : ">BLKERR", AVRSIM_ANSWER_SIZE, last);
    case AVRSIM_CMD_EEPROM_BLOCK:
        return text_answer(ok ? ">EBK_OK" : ">EBKERR", AVRSIM_ANSWER_SIZE, last);
    case AVRSIM_CMD_END:
        return text_answer(ok ? ">PGM_OK" : ">PGMERR", AVRSIM_ANSWER_SIZE, last);
    case AVRSIM_CMD_INVALID:
        break;
    }
    return {};
}

std::vector<unsigned char> faulted_answer(const avrsim_config &cfg, avrsim_command_kind kind,
                                          bool ok, const avrsim_rule *rule)
{
    unsigned char last = cfg.answer_last_byte;
    avrsim_fault_kind fault = rule ? rule->kind : AVRSIM_FAULT_NONE;
    std::size_t len = answer_size(kind);
    std::vector<unsigned char> a;
    switch (fault) {
    case AVRSIM_FAULT_NONE:
    case AVRSIM_FAULT_LATE:
    case AVRSIM_FAULT_HANGUP:
        return normal_answer(cfg, kind, ok);
    case AVRSIM_FAULT_SILENT:
        return {};
    case AVRSIM_FAULT_SHORT: {
        a = normal_answer(cfg, kind, ok);
        std::size_t n = (std::size_t)std::max(1, rule->count);
        a.resize(std::min(n, len - 1));
        return a;
    }
    case AVRSIM_FAULT_GARBAGE:
        return text_answer(rule->text.empty() ? DEFAULT_GARBAGE : rule->text.c_str(), len, last);
    case AVRSIM_FAULT_ERR:
        if (kind == AVRSIM_CMD_FLASH_BLOCK || kind == AVRSIM_CMD_EEPROM_BLOCK ||
            kind == AVRSIM_CMD_END)
            return normal_answer(cfg, kind, false);
        return text_answer(ANSWER_ERROR, len, last);
    case AVRSIM_FAULT_DTO:
        if (kind == AVRSIM_CMD_FLASH_BLOCK)
            return text_answer(">BLKDTO", len, last);
        if (kind == AVRSIM_CMD_EEPROM_BLOCK)
            return text_answer(">EBKDTO", len, last);
        return text_answer(ANSWER_ERROR, len, last);
    case AVRSIM_FAULT_EXTRA: {
        a = normal_answer(cfg, kind, ok);
        const std::string extra = rule->text.empty() ? DEFAULT_EXTRA : rule->text;
        for (int i = 0; i < rule->count; ++i)
            a.push_back((unsigned char)extra[(std::size_t)i % extra.size()]);
        return a;
    }
    }
    return a;
}

} // namespace bootsim
