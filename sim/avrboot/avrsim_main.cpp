// avr-bootsim: a simulated AVR boot loader on a pseudo-terminal. Prints the slave device on its
// first line, serves one update, prints a summary and saves what was asked for.
#include "avr_bootsim.h"
#include "avrsim_args.h"
#include "avrsim_report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

avrsim *g_sim = nullptr; // for the signal handler only

void on_signal(int)
{
    if (g_sim)
        avrsim_stop(g_sim);
}

// Writes the files asked for. Returns 0, or AVRSIM_EXIT_SYSTEM when one could not be written.
int save_outputs(const avrsim *sim, const avrsim_outputs &out)
{
    int rc = 0;
    const struct {
        const char *path;
        const unsigned char *data;
        std::size_t len;
    } saves[] = {
        {out.save_flash, sim->flash, AVRSIM_FLASH_SIZE},
        {out.save_eeprom, sim->eeprom, AVRSIM_EEPROM_SIZE},
        {out.rx_dump, sim->rx_log.data(), sim->rx_log.size()},
    };
    for (const auto &s : saves) {
        if (s.path && avrsim_save(s.path, s.data, s.len) != 0) {
            fprintf(stderr, "avr-bootsim: cannot write '%s'\n", s.path);
            rc = AVRSIM_EXIT_SYSTEM;
        }
    }
    if (out.log && avrsim_write_log(out.log, sim) != 0) {
        fprintf(stderr, "avr-bootsim: cannot write '%s'\n", out.log);
        rc = AVRSIM_EXIT_SYSTEM;
    }
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    avrsim_config cfg = avrsim_default_config();
    avrsim_outputs out;
    bool help = false;
    int rc = avrsim_parse_args(argc, argv, &cfg, &out, &help);
    if (rc != 0) {
        fputs(AVRSIM_USAGE, stderr);
        return rc;
    }
    if (help) {
        fputs(AVRSIM_USAGE, stdout);
        return 0;
    }

    std::unique_ptr<avrsim> sim = std::make_unique<avrsim>();
    if (avrsim_open(sim.get(), cfg) != 0) {
        fprintf(stderr, "avr-bootsim: cannot create a pseudo-terminal: %s\n", strerror(errno));
        return AVRSIM_EXIT_SYSTEM;
    }
    g_sim = sim.get();
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    signal(SIGPIPE, SIG_IGN);

    printf("%s\n", sim->slave_path);
    fflush(stdout);
    avrsim_end end = avrsim_serve(sim.get());
    if (end == AVRSIM_END_FINISHED)
        avrsim_drain(sim.get(), AVRSIM_DEFAULT_DRAIN_LIMIT_MS);
    avrsim_print_summary(sim.get(), end);

    rc = end == AVRSIM_END_FINISHED ? AVRSIM_EXIT_FINISHED : AVRSIM_EXIT_UNFINISHED;
    if (save_outputs(sim.get(), out) != 0)
        rc = AVRSIM_EXIT_SYSTEM;
    g_sim = nullptr;
    return rc;
}
