// The tool's view of the module table: getters by role, role names and known descriptions.
#pragma once

#include "oktideep.h"

okt_eep_modinfo *okt_eep_get_cpu(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_baseboard(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_extmod0(okt_eep_modinfo *table);
okt_eep_modinfo *okt_eep_get_extmod1(okt_eep_modinfo *table);

// The role names, indexed by role from ROLE_CPU to ROLE_FIBER_OPTIC; read them through role_name.
extern const char *const roleid[ROLE_FIBER_OPTIC + 1];

// The name of a role ("CPU Module", ...), or "?" for a value without one (ROLE_END among them).
const char *role_name(int role);

// Known module descriptions, each list ended by a null entry.
extern const char *const wld_cpumod_id[];
extern const char *const wld_mobo_id[];
extern const char *const wld_extmod_id[];
