// The bytes the simulated boot loader answers with, with or without a fault.
#pragma once

#include "avrsim_config.h"
#include "avrsim_protocol.h"
#include "avrsim_rules.h"

#include <cstddef>
#include <vector>

namespace bootsim
{

// `len` bytes: `text`, padded with '?' or cut; a 7-character text gets `last` as its 8th byte.
std::vector<unsigned char> text_answer(const char *text, std::size_t len, unsigned char last);

// The answer a command gets without faults; `ok` is the verdict of a block or end command.
std::vector<unsigned char> normal_answer(const avrsim_config &cfg, avrsim_command_kind kind,
                                         bool ok);

// The bytes an exchange sends with the rule's fault applied (none when rule is nullptr).
std::vector<unsigned char> faulted_answer(const avrsim_config &cfg, avrsim_command_kind kind,
                                          bool ok, const avrsim_rule *rule);

} // namespace bootsim
