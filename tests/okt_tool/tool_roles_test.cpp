// The module of each role in the table, the role names and the known module descriptions.
#include "tool_roles.h"
#include "owners.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ToolRoles, EachRoleHasItsModuleInTheTable)
{
    malloc_ptr<okt_eep_modinfo> table{okt_eep_init()};
    okt_eep_modinfo *t = table.get();
    EXPECT_EQ(okt_eep_get_cpu(t), &t[0]);
    EXPECT_EQ(okt_eep_get_baseboard(t), &t[1]);
    EXPECT_EQ(okt_eep_get_extmod0(t), &t[2]);
    EXPECT_EQ(okt_eep_get_extmod1(t), &t[3]);
}

TEST(ToolRoles, NamesAndKnownDescriptions)
{
    const char *names[] = {"CPU Module", "Motherboard", "Extension Module 0", "Extension Module 1",
                           "Fiber-Optic Transceiver Module"};
    for (int i = ROLE_CPU; i <= ROLE_FIBER_OPTIC; i++)
        EXPECT_STREQ(roleid[i], names[i]);

    auto count = [](const char *const *list) {
        int n = 0;
        while (list[n]) {
            EXPECT_EQ(strlen(list[n]), 14u) << list[n];
            n++;
        }
        return n;
    };
    EXPECT_EQ(count(wld_cpumod_id), 4);
    EXPECT_EQ(count(wld_mobo_id), 2);
    EXPECT_EQ(count(wld_extmod_id), 2);
    EXPECT_STREQ(wld_cpumod_id[3], "WLD OKT-CPU-C1");
    EXPECT_STREQ(wld_mobo_id[1], "WLD OKT-MOBO-L");
    EXPECT_STREQ(wld_extmod_id[0], "WLD OKT-MOD-X1");
}

TEST(ToolRoles, RoleNameReadsTheTableOnlyWithinIt)
{
    const struct {
        int role;
        const char *name;
    } cases[] = {
        {ROLE_CPU, "CPU Module"},
        {ROLE_EXTMOD1, "Extension Module 1"},
        {ROLE_FIBER_OPTIC, "Fiber-Optic Transceiver Module"},
        {ROLE_FIBER_OPTIC + 1, "?"},
        {ROLE_END, "?"},
        {-1, "?"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(role_name(c.role), c.name) << c.role;
}
