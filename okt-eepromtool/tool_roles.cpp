#include "tool_roles.h"

okt_eep_modinfo *okt_eep_get_cpu(okt_eep_modinfo *table)
{
    return okt_eep_get_modinfo(table, ROLE_CPU);
}

okt_eep_modinfo *okt_eep_get_baseboard(okt_eep_modinfo *table)
{
    return okt_eep_get_modinfo(table, ROLE_BASEBOARD);
}

okt_eep_modinfo *okt_eep_get_extmod0(okt_eep_modinfo *table)
{
    return okt_eep_get_modinfo(table, ROLE_EXTMOD0);
}

okt_eep_modinfo *okt_eep_get_extmod1(okt_eep_modinfo *table)
{
    return okt_eep_get_modinfo(table, ROLE_EXTMOD1);
}

constexpr const char *roleid[ROLE_FIBER_OPTIC + 1] = {
    "CPU Module",                     // ROLE_CPU
    "Motherboard",                    // ROLE_BASEBOARD
    "Extension Module 0",             // ROLE_EXTMOD0
    "Extension Module 1",             // ROLE_EXTMOD1
    "Fiber-Optic Transceiver Module", // ROLE_FIBER_OPTIC
};

namespace
{

// A role added to the enumeration without a name would leave a null pointer in the table.
constexpr bool every_role_named()
{
    for (const char *name : roleid) {
        if (!name)
            return false;
    }
    return true;
}
static_assert(every_role_named(), "each role up to ROLE_FIBER_OPTIC has its name");

} // namespace

const char *role_name(int role)
{
    if (role >= ROLE_CPU && role <= ROLE_FIBER_OPTIC)
        return roleid[role];
    return "?";
}

const char *const wld_cpumod_id[] = {"WLD OKT-CPU-A1", "WLD OKT-CPU-A2", "WLD OKT-CPU-B1",
                                     "WLD OKT-CPU-C1", nullptr};
const char *const wld_mobo_id[] = {"WLD OKT-MOBO-F", "WLD OKT-MOBO-L", nullptr};
const char *const wld_extmod_id[] = {"WLD OKT-MOD-X1", "WLD OKT-MOD-X2", nullptr};
