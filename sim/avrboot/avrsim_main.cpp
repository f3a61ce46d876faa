// avr-bootsim: a simulated AVR boot loader on a pseudo-terminal. Prints the slave device on its
// first line, serves the updates asked for, prints a summary after each and saves what was asked
// for.
#include "avr_bootsim.h"
#include "avrsim_args.h"
#include "avrsim_report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

avrsim *g_sim = nullptr; // for the signal handler only

void on_signal(int)
{
    if (g_sim)
        avrsim_stop(g_sim);
}

// What the sessions leave for the files written at the end.
struct session_records {
    std::vector<unsigned char> rx; // every byte received, all sessions in order
    std::string log;
};

// Reads the memory files asked for. Returns 0, or AVRSIM_EXIT_SYSTEM after saying why.
int load_memories(avrsim *sim, const avrsim_files &files)
{
    const struct {
        const char *path;
        unsigned char *memory;
        std::size_t size;
        const char *name;
    } loads[] = {
        {files.load_flash, sim->flash, AVRSIM_FLASH_SIZE, "flash"},
        {files.load_eeprom, sim->eeprom, AVRSIM_EEPROM_SIZE, "EEPROM"},
    };
    for (const auto &l : loads) {
        long n = l.path ? avrsim_load(l.path, l.memory, l.size) : 0;
        if (n == -2) {
            fprintf(stderr, "avr-bootsim: '%s' is longer than the %zu bytes of the %s\n", l.path,
                    l.size, l.name);
            return AVRSIM_EXIT_SYSTEM;
        }
        if (n < 0) {
            fprintf(stderr, "avr-bootsim: cannot read '%s': %s\n", l.path, strerror(errno));
            return AVRSIM_EXIT_SYSTEM;
        }
    }
    return 0;
}

// Points the link asked for at the device. Returns 0, or AVRSIM_EXIT_SYSTEM after saying why.
int make_link(avrsim *sim, const char *path)
{
    if (!path)
        return 0;
    avrsim_link_result r = avrsim_link(sim, path);
    if (r == AVRSIM_LINK_NOT_A_LINK)
        fprintf(stderr, "avr-bootsim: cannot link '%s': it exists and is no symbolic link\n", path);
    else if (r != AVRSIM_LINK_OK)
        fprintf(stderr, "avr-bootsim: cannot link '%s': %s\n", path, strerror(errno));
    return r == AVRSIM_LINK_OK ? 0 : AVRSIM_EXIT_SYSTEM;
}

// After a hang-up the next session is served on the pseudo-terminal that took the old one's
// place; the link has moved to it already. Returns 0, or AVRSIM_EXIT_SYSTEM when there is none.
int announce_new_line(const avrsim *sim)
{
    if (sim->master_fd < 0) {
        fprintf(stderr, "avr-bootsim: cannot create a pseudo-terminal\n");
        return AVRSIM_EXIT_SYSTEM;
    }
    printf("device: %s\n", sim->slave_path);
    fflush(stdout);
    return 0;
}

// Serves the sessions asked for; stops early when serving ends otherwise than by the end
// command, the updater leaving or a hang-up. Returns the exit status.
int serve_sessions(avrsim *sim, const avrsim_options &opts, session_records *rec)
{
    avrsim_end end = AVRSIM_END_STOPPED;
    for (int n = 1; n <= opts.sessions; ++n) {
        end = avrsim_serve(sim);
        bool more = n < opts.sessions && (end == AVRSIM_END_FINISHED || end == AVRSIM_END_CLOSED ||
                                          end == AVRSIM_END_HUNG_UP);
        if (!more && end == AVRSIM_END_FINISHED)
            avrsim_drain(sim, AVRSIM_DEFAULT_DRAIN_LIMIT_MS);
        avrsim_print_summary(sim, end, n, opts.sessions);
        rec->rx.insert(rec->rx.end(), sim->rx_log.begin(), sim->rx_log.end());
        avrsim_log_session(&rec->log, sim, end, n, opts.sessions);
        if (!more)
            break;
        if (end == AVRSIM_END_HUNG_UP && announce_new_line(sim) != 0)
            return AVRSIM_EXIT_SYSTEM;
    }
    return end == AVRSIM_END_FINISHED ? AVRSIM_EXIT_FINISHED : AVRSIM_EXIT_UNFINISHED;
}

// Writes the files asked for. Returns 0, or AVRSIM_EXIT_SYSTEM when one could not be written.
int save_outputs(const avrsim *sim, const avrsim_files &files, const session_records &rec)
{
    int rc = 0;
    const struct {
        const char *path;
        const unsigned char *data;
        std::size_t len;
    } saves[] = {
        {files.save_flash, sim->flash, AVRSIM_FLASH_SIZE},
        {files.save_eeprom, sim->eeprom, AVRSIM_EEPROM_SIZE},
        {files.rx_dump, rec.rx.data(), rec.rx.size()},
        {files.log, reinterpret_cast<const unsigned char *>(rec.log.data()), rec.log.size()},
    };
    for (const auto &s : saves) {
        if (s.path && avrsim_save(s.path, s.data, s.len) != 0) {
            fprintf(stderr, "avr-bootsim: cannot write '%s'\n", s.path);
            rc = AVRSIM_EXIT_SYSTEM;
        }
    }
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    avrsim_options opts;
    int rc = avrsim_parse_args(argc, argv, &opts);
    if (rc != 0) {
        fputs(AVRSIM_USAGE, stderr);
        return rc;
    }
    if (opts.help) {
        fputs(AVRSIM_USAGE, stdout);
        return 0;
    }

    std::unique_ptr<avrsim> sim = std::make_unique<avrsim>();
    if (avrsim_open(sim.get(), opts.cfg) != 0) {
        fprintf(stderr, "avr-bootsim: cannot create a pseudo-terminal: %s\n", strerror(errno));
        return AVRSIM_EXIT_SYSTEM;
    }
    // From here on a signal ends serving the normal way, which also removes the link.
    g_sim = sim.get();
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        signal(sig, on_signal);
    signal(SIGPIPE, SIG_IGN);
    if (load_memories(sim.get(), opts.files) != 0 || make_link(sim.get(), opts.files.link) != 0)
        return AVRSIM_EXIT_SYSTEM;

    printf("%s\n", sim->slave_path);
    fflush(stdout);
    session_records rec;
    rc = serve_sessions(sim.get(), opts, &rec);
    if (save_outputs(sim.get(), opts.files, rec) != 0)
        rc = AVRSIM_EXIT_SYSTEM;
    avrsim_unlink(sim.get());
    g_sim = nullptr;
    return rc;
}
