// The tool's view of the module table: getters by role, role names and known descriptions.
#pragma once

#include "oktideep.h"

okt_eep_modinfo *okt_eep_get_cpu(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_baseboard(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_extmod0(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_extmod1(okt_eep_modinfo *table);

constexpr int ROLE_NAME_COUNT = 5;
extern const char *const roleid[ROLE_NAME_COUNT]; // indexed by role 0..4

// The entry's role name ("CPU Module", ...), or "?" for a role without one.
const char *module_role_name(const okt_eep_modinfo *entry);

// Known module descriptions, each list ended by a null entry.
extern const char *const wld_cpumod_id[];
extern const char *const wld_mobo_id[];
extern const char *const wld_extmod_id[];
