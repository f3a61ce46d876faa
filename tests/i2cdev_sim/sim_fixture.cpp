#include "sim_fixture.h"

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

std::string counting_eeprom()
{
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    return bytes;
}

namespace
{
std::string device_name(int bus, int addr)
{
    char name[32];
    snprintf(name, sizeof name, "i2c-%d-%02x", bus, addr);
    return name;
}
} // namespace

void i2c_sim::add_device(int bus, int addr, const std::string &bytes) const
{
    write_file(dir.file(device_name(bus, addr)), bytes);
}

std::string i2c_sim::device(int bus, int addr) const
{
    return read_file(dir.file(device_name(bus, addr)));
}

std::string number_descriptors(const std::string &text)
{
    static const std::regex fd_number("(open=|fd=)([0-9]+)");
    std::map<std::string, int> seen;
    std::string out;
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), fd_number), end; it != end; ++it) {
        const std::smatch &m = *it;
        out.append(last, m[0].first);
        auto found = seen.emplace(m[2].str(), static_cast<int>(seen.size()) + 1).first;
        out += m[1].str() + "#" + std::to_string(found->second);
        last = m[0].second;
    }
    out.append(last, text.cend());
    return out;
}

std::vector<std::string> i2c_sim::log_lines() const
{
    return split_lines(number_descriptors(read_file(log_path())));
}

run_options i2c_sim::options() const
{
    run_options opts;
    opts.stdin_from_null = true;
    opts.env = {"LD_PRELOAD=" + lib_path("libi2cdev-sim.so"), "I2CSIM_DIR=" + dir.path,
                "I2CSIM_LOG=" + log_path()};
    opts.env.insert(opts.env.end(), env_extra.begin(), env_extra.end());
    return opts;
}

std::vector<std::string> run_client(const i2c_sim &sim, const std::vector<std::string> &steps,
                                    run_result *raw)
{
    run_result r = run_program(bin_path("i2cdev_sim_client"), steps, sim.options());
    if (raw)
        *raw = r;
    return split_lines(number_descriptors(r.out));
}
