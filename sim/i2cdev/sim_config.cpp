// Reads the emulation's environment once per process. A malformed fault rule is reported on
// standard error and ignored, so a typo in a test shows up instead of silently testing nothing.
#include "sim_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace i2csim
{
namespace
{

sim_config g_config;
bool g_loaded = false;

void copy_env(char *dst, size_t cap, const char *name)
{
    const char *v = getenv(name);
    dst[0] = '\0';
    if (!v)
        return;
    const size_t n = strlen(v);
    if (n < cap)
        memcpy(dst, v, n + 1);
}

// A whole string as a non-negative number in base; a decimal field also takes 0x-prefixed hex.
bool parse_number(const char *s, int base, long *out)
{
    if (!s || !*s)
        return false;
    if (base == 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s += 2;
        base = 16;
        if (!*s)
            return false;
    }
    char *end = nullptr;
    errno = 0;
    long v = strtol(s, &end, base);
    if (errno || *end || v < 0)
        return false;
    *out = v;
    return true;
}

// A comma-separated list of bus numbers from the variable `name` into buses[0..*n-1].
void parse_buses(const char *name, int *buses, int max, int *n_buses)
{
    char buf[256];
    const char *list = getenv(name);
    if (!list)
        return;
    const size_t n = strlen(list);
    if (n >= sizeof buf)
        return;
    memcpy(buf, list, n + 1);
    char *save = nullptr;
    for (char *tok = strtok_r(buf, ",", &save); tok; tok = strtok_r(nullptr, ",", &save)) {
        long bus;
        if (!parse_number(tok, 10, &bus)) {
            fprintf(stderr, "i2cdev-sim: ignoring bad bus number '%s' in %s\n", tok, name);
            continue;
        }
        if (*n_buses < max)
            buses[(*n_buses)++] = static_cast<int>(bus);
    }
}

bool listed(int bus, const int *buses, int n)
{
    for (int i = 0; i < n; ++i) {
        if (buses[i] == bus)
            return true;
    }
    return false;
}

bool parse_rule(char *text, fault_rule *rule)
{
    char *fields[5] = {};
    int n = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(text, ":", &save); tok; tok = strtok_r(nullptr, ":", &save)) {
        if (n == 5)
            return false;
        fields[n++] = tok;
    }
    if (n < 3)
        return false;
    bool needs_k;
    if (!strcmp(fields[0], "read-fail")) {
        rule->kind = FAULT_READ_FAIL;
        needs_k = true;
    } else if (!strcmp(fields[0], "write-fail")) {
        rule->kind = FAULT_WRITE_FAIL;
        needs_k = true;
    } else if (!strcmp(fields[0], "nack")) {
        rule->kind = FAULT_NACK;
        needs_k = false;
    } else if (!strcmp(fields[0], "busy")) {
        rule->kind = FAULT_BUSY;
        needs_k = false;
    } else if (!strcmp(fields[0], "write-protect")) {
        rule->kind = FAULT_WRITE_PROTECT;
        needs_k = false;
    } else {
        return false;
    }
    if (n != (needs_k ? 4 : 3))
        return false;
    long bus, addr, k = 0;
    if (!parse_number(fields[1], 10, &bus) || !parse_number(fields[2], 16, &addr) || addr > 0x7f)
        return false;
    if (needs_k && !parse_number(fields[3], 10, &k))
        return false;
    rule->bus = static_cast<int>(bus);
    rule->addr = static_cast<int>(addr);
    rule->k = k;
    return true;
}

void parse_faults(const char *list)
{
    if (!list)
        return;
    size_t len = strlen(list);
    char *buf = static_cast<char *>(malloc(len + 1));
    if (!buf)
        return;
    memcpy(buf, list, len + 1);
    char *save = nullptr;
    for (char *tok = strtok_r(buf, ";", &save); tok; tok = strtok_r(nullptr, ";", &save)) {
        char original[128];
        snprintf(original, sizeof original, "%s", tok);
        fault_rule rule;
        if (!parse_rule(tok, &rule)) {
            fprintf(stderr, "i2cdev-sim: ignoring bad fault rule '%s' in I2CSIM_FAULTS\n",
                    original);
            continue;
        }
        if (g_config.n_faults < MAX_FAULT_RULES)
            g_config.faults[g_config.n_faults++] = rule;
    }
    free(buf);
}

void load()
{
    copy_env(g_config.dir, sizeof g_config.dir, "I2CSIM_DIR");
    g_config.active = g_config.dir[0] != '\0';
    copy_env(g_config.log, sizeof g_config.log, "I2CSIM_LOG");
    long busy = 0;
    const char *busy_env = getenv("I2CSIM_BUSY_US");
    if (busy_env && *busy_env && !parse_number(busy_env, 10, &busy))
        fprintf(stderr, "i2cdev-sim: ignoring bad I2CSIM_BUSY_US '%s'\n", busy_env);
    g_config.busy_us = busy;
    parse_buses("I2CSIM_MISSING_BUSES", g_config.missing, MAX_MISSING_BUSES, &g_config.n_missing);
    parse_buses("I2CSIM_SMBUS_ONLY", g_config.smbus_only, MAX_SMBUS_ONLY_BUSES,
                &g_config.n_smbus_only);
    parse_faults(getenv("I2CSIM_FAULTS"));
}

} // namespace

const sim_config &config()
{
    if (!g_loaded) {
        g_loaded = true;
        load();
    }
    return g_config;
}

const fault_rule *find_fault(fault_kind kind, int bus, int addr)
{
    const sim_config &c = config();
    for (int i = 0; i < c.n_faults; ++i) {
        const fault_rule &r = c.faults[i];
        if (r.kind == kind && r.bus == bus && r.addr == addr)
            return &r;
    }
    return nullptr;
}

bool bus_exists(int bus)
{
    const sim_config &c = config();
    return (bus == 0 || bus == 1) && !listed(bus, c.missing, c.n_missing);
}

bool smbus_only(int bus)
{
    const sim_config &c = config();
    return listed(bus, c.smbus_only, c.n_smbus_only);
}

} // namespace i2csim
