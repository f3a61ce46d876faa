// Fault rules: their command-line form and which exchange they pick.
#include "avrsim_rules.h"

#include "avrsim_protocol.h"

#include <cerrno>
#include <cstdlib>

namespace
{

bool fail(std::string *error, const std::string &why)
{
    if (error)
        *error = why;
    return false;
}

// Reads a decimal number of at least one digit at *p; advances *p.
bool parse_number(const char **p, long *value)
{
    if (**p < '0' || **p > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    long v = strtol(*p, &end, 10);
    if (errno != 0 || v > 1000000000L)
        return false;
    *value = v;
    *p = end;
    return true;
}

// @N, @N-M or @N- at *p; advances *p.
bool parse_attempts(const char **p, avrsim_rule *rule, std::string *error)
{
    long a = 0;
    long b = 0;
    ++*p;
    if (!parse_number(p, &a) || a < 1)
        return fail(error, "expected an attempt number after '@'");
    rule->attempt_first = (int)a;
    rule->attempt_last = -1;
    if (**p == '-') {
        ++*p;
        rule->attempt_last = 0;
        if (**p >= '0' && **p <= '9') {
            if (!parse_number(p, &b) || b < a)
                return fail(error, "attempt range ends before it starts");
            rule->attempt_last = (int)b;
        }
    }
    return true;
}

// xE or sN at *p: a 1-based number after its letter; advances *p.
bool parse_ordinal(const char **p, int *value, std::string *error)
{
    char letter = **p;
    long n = 0;
    ++*p;
    if (!parse_number(p, &n) || n < 1)
        return fail(error, std::string("expected a number from 1 on after '") + letter + "'");
    *value = (int)n;
    return true;
}

// A command prefix at *p, up to the next '@', 'x' or 's' (commands are upper case, so these
// lower-case letters are unambiguous); advances *p.
bool parse_command(const char **p, avrsim_rule *rule, std::string *error)
{
    const char *start = *p;
    while (**p && **p != '@' && **p != 'x' && **p != 's')
        ++*p;
    std::string cmd(start, (std::size_t)(*p - start));
    if (cmd[0] != '#')
        cmd.insert(cmd.begin(), '#');
    if (cmd.size() > AVRSIM_COMMAND_SIZE - 1)
        return fail(error, "command prefix longer than 7 characters");
    for (char c : cmd.substr(1))
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return fail(error, "command prefix holds a character other than A-Z, 0-9");
    rule->command = cmd;
    return true;
}

bool parse_match(const std::string &match, avrsim_rule *rule, std::string *error)
{
    const char *p = match.c_str();
    while (*p) {
        bool ok;
        if (*p == '@')
            ok = parse_attempts(&p, rule, error);
        else if (*p == 'x')
            ok = parse_ordinal(&p, &rule->exchange, error);
        else if (*p == 's')
            ok = parse_ordinal(&p, &rule->session, error);
        else
            ok = parse_command(&p, rule, error);
        if (!ok)
            return false;
    }
    return true;
}

bool parse_kind(const std::string &kind, const std::string &arg, bool has_arg, avrsim_rule *rule,
                std::string *error)
{
    long n = 0;
    const char *p = arg.c_str();
    if (kind == "silent" || kind == "err" || kind == "dto" || kind == "hangup") {
        if (has_arg)
            return fail(error, kind + " takes no argument");
        rule->kind = kind == "silent" ? AVRSIM_FAULT_SILENT
                     : kind == "err"  ? AVRSIM_FAULT_ERR
                     : kind == "dto"  ? AVRSIM_FAULT_DTO
                                      : AVRSIM_FAULT_HANGUP;
        return true;
    }
    if (kind == "garbage") {
        rule->kind = AVRSIM_FAULT_GARBAGE;
        if (has_arg && arg.empty())
            return fail(error, "garbage text is empty");
        rule->text = arg;
        return true;
    }
    if (kind == "short") {
        if (!parse_number(&p, &n) || *p || n < 1 || n > (long)AVRSIM_VERSION_ANSWER_SIZE - 1)
            return fail(error, "short needs a byte count from 1 to 23");
        rule->kind = AVRSIM_FAULT_SHORT;
        rule->count = (int)n;
        return true;
    }
    if (kind == "late") {
        if (!parse_number(&p, &n) || *p)
            return fail(error, "late needs a delay in milliseconds");
        rule->kind = AVRSIM_FAULT_LATE;
        rule->delay_ms = (unsigned)n;
        return true;
    }
    if (kind == "extra") {
        if (!parse_number(&p, &n) || n < 1 || n > 4096 || (*p && *p != ','))
            return fail(error, "extra needs a byte count from 1 to 4096, optionally ,TEXT");
        rule->kind = AVRSIM_FAULT_EXTRA;
        rule->count = (int)n;
        if (*p == ',') {
            rule->text = p + 1;
            if (rule->text.empty())
                return fail(error, "extra text is empty");
        }
        return true;
    }
    return fail(error, "unknown fault kind '" + kind + "'");
}

bool rule_matches(const avrsim_rule &r, const std::string &command, int attempt, int exchange,
                  int session)
{
    if (command.compare(0, r.command.size(), r.command) != 0)
        return false;
    if (r.exchange != 0 && r.exchange != exchange)
        return false;
    if (r.session != 0 && r.session != session)
        return false;
    if (r.attempt_first != 0) {
        int last = r.attempt_last < 0 ? r.attempt_first : r.attempt_last;
        if (attempt < r.attempt_first || (last != 0 && attempt > last))
            return false;
    }
    return true;
}

} // namespace

int avrsim_parse_rule(const char *text, avrsim_rule *rule, std::string *error)
{
    std::string s = text ? text : "";
    std::size_t colon = s.find(':');
    if (colon == std::string::npos) {
        fail(error, "expected MATCH:KIND");
        return -1;
    }
    std::string match = s.substr(0, colon);
    std::string kind = s.substr(colon + 1);
    std::string arg;
    std::size_t eq = kind.find('=');
    bool has_arg = eq != std::string::npos;
    if (has_arg) {
        arg = kind.substr(eq + 1);
        kind.erase(eq);
    }
    avrsim_rule r;
    if (!parse_match(match, &r, error) || !parse_kind(kind, arg, has_arg, &r, error))
        return -1;
    *rule = r;
    return 0;
}

const avrsim_rule *avrsim_find_rule(const std::vector<avrsim_rule> &rules,
                                    const std::string &command, int attempt, int exchange,
                                    int session)
{
    for (const avrsim_rule &r : rules)
        if (rule_matches(r, command, attempt, exchange, session))
            return &r;
    return nullptr;
}

const char *avrsim_fault_name(avrsim_fault_kind kind)
{
    switch (kind) {
    case AVRSIM_FAULT_NONE:
        return "none";
    case AVRSIM_FAULT_SILENT:
        return "silent";
    case AVRSIM_FAULT_SHORT:
        return "short";
    case AVRSIM_FAULT_GARBAGE:
        return "garbage";
    case AVRSIM_FAULT_ERR:
        return "err";
    case AVRSIM_FAULT_DTO:
        return "dto";
    case AVRSIM_FAULT_LATE:
        return "late";
    case AVRSIM_FAULT_EXTRA:
        return "extra";
    case AVRSIM_FAULT_HANGUP:
        return "hangup";
    }
    return "?";
}
