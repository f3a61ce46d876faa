#!/usr/bin/env python3
"""The rollout's judgement of update runs on what the programs really print: the built
avr-fwupdate updates a simulated AVR (avr-bootsim with fault rules) from a PACK file, started
and watched by the rollout's own avr-update-watch.sh in a private folder as on a board, and the
watch's output goes through the filter plugin's functions (avr_update_result, and for a run
that needs a second one okt_first_run_result and okt_board_record) as the playbook hands it
over. A text the updater prints and the rollout reads that changes on one side only fails here.

Usage: rollout_texts_test.py --build BUILD --source SOURCE [--launcher WORDS]
The programs under test come from OKT_TEST_PROGRAM_DIR (else BUILD/bin) and start under the
launcher (OKT_TEST_LAUNCHER, else --launcher); the simulator, which stands for the hardware,
is always this build's own. Needs no sshd and no ansible.
"""

import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from filter_plugins_under_test import finish, load  # noqa: E402
from fleet_bootsim import start_bootsim, stop_bootsim  # noqa: E402
from programs_under_test import Programs  # noqa: E402

WATCH = os.path.join('deploy', 'ansible', 'roles', 'avr_board_update', 'files',
                     'avr-update-watch.sh')
BAUD = '115200'
INSTALLED_IDENT = 'B,1,0,2,25,3,1,OKT32-BB'
OTHER_HARDWARE_IDENT = 'B,1,0,2,25,3,1,OKT99-XX'
OLD = 'B102 Built on (DD.MM.YYYY) 01.03.2025 for Hardware OKT32-BB'
OLD_OTHER = 'B102 Built on (DD.MM.YYYY) 01.03.2025 for Hardware OKT99-XX'
NEW = 'B103 Built on (DD.MM.YYYY) 14.06.2025 for Hardware OKT32-BB'
RUN_LIMIT = 120  # seconds a run may take before the watch ends it
# The time-out case's limit: long enough for the updater to reach the blocks, also under
# valgrind or qemu (seconds).
SHORT_LIMIT = 3
SHORT_LIMIT_LAUNCHED = 30

UPDATED = dict(status=0, stopped='none', updated=True, retry=False, note=None, old=OLD, new=NEW,
               prepared=True, last_line='AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY')


class Case:
    """One outcome: the simulator's options, whether another process holds the port, whether
    the watch gets a short time limit, and what each run is judged in turn ({port} in a text
    stands for the board's serial device)."""

    def __init__(self, name, sim_options, runs, hold_port=False, short_limit=False):
        self.name = name
        self.sim_options = sim_options
        self.runs = runs
        self.hold_port = hold_port
        self.short_limit = short_limit


CASES = [
    Case('success', [], [UPDATED]),
    Case('prepare failure', ['--fault', 'FWUPLD:silent'],
         [dict(status=5, stopped='none', updated=False, retry=False, note=None, old=None,
               new=None, prepared=False,
               last_line='Preparing AVR for firmware update... cannot prepare AVR for update!')]),
    # Block 0 fails all five attempts in the first session: the AVR stays in its boot loader, and
    # the run the rollout adds for it completes the update.
    Case('block failure after prepare, then the retry',
         ['--sessions', '2', '--fault', 's1BLK000:err'],
         [dict(status=255, stopped='none', updated=False, retry=True, note=None, old=OLD, new=NEW,
               prepared=True, last_line='WARNING: CODE UPDATE FAILED! ABORTING!'),
          UPDATED]),
    Case('end exchange failing', ['--fault', 'PGMEND:silent'],
         [dict(status=3, stopped='none', updated=False, retry=True, note=None, old=OLD, new=NEW,
               prepared=True, last_line='AVR COMM ERROR OCCURED')]),
    Case('other hardware stopped by the watch', ['--ident', OTHER_HARDWARE_IDENT],
         [dict(status=143, stopped='hardware', updated=False, retry=False, old=OLD_OTHER, new=NEW,
               prepared=True, last_line='WARNING: Firmware is for different Hardware!!',
               note='stopped: the AVR reports other hardware than the new firmware')]),
    Case('time-out', ['--fault', 'BLK:silent'],
         [dict(status=143, stopped='timeout', updated=False, retry=True, old=OLD, new=NEW,
               prepared=True, last_line='DATA',
               note='stopped: the update took longer than its time limit')],
         short_limit=True),
    Case('port in use', [],
         [dict(status=2, stopped='none', updated=False, retry=False, note=None, old=None,
               new=None, prepared=False,
               last_line="comm port '{port}' is in use by another process")],
         hold_port=True),
]


class Board:
    """A private work folder with the watch script, as the rollout makes one on a board, and the
    AVR: a simulator behind the link `port` in that folder."""

    def __init__(self, programs, build, source, folder):
        self.programs = programs
        self.folder = folder
        self.port = os.path.join(folder, 'ttyAVR')
        self.bootsim = os.path.join(build, 'bin', 'avr-bootsim')
        self.sim = None
        self.sim_out = os.path.join(folder, 'avr-bootsim.out')
        shutil.copy(os.path.join(source, WATCH), folder)

    def start_avr(self, options):
        args = [self.bootsim, '--link', self.port, '--ident', INSTALLED_IDENT,
                '--quiet-timeout', '0'] + options
        self.sim = start_bootsim(args, self.port, self.sim_out)

    def stop_avr(self):
        stop_bootsim(self.sim)
        self.sim = None

    def watch(self, run, limit, pack):
        """What one run of the watch script prints, as the playbook's command gets it."""
        command = self.programs.command('avr-fwupdate') + [self.port, BAUD, pack]
        done = subprocess.run(['sh', os.path.join(self.folder, 'avr-update-watch.sh'), str(run),
                               str(limit)] + command, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors='replace', timeout=limit + 60, check=False)
        if done.returncode != 0:
            raise RuntimeError(f'the watch failed ({done.returncode}):\n{done.stdout}')
        return done.stdout


def registered(stdout):
    """What the raw module registers for a board command."""
    return {'stdout': stdout, 'stdout_lines': stdout.splitlines(), 'rc': 0}


def serial_lines(programs):
    """What the first run's command prints before the update: the files checked, then
    okt-eepromtool serialbb and its exit status. No I2C bus answers on this machine, so serialbb
    reports a probe error, which the report must not take for a serial number."""
    out, status = programs.run('okt-eepromtool', ['serialbb'])
    return f'OKT-AVR-VERIFIED\n{out}OKT-AVR-SERIAL-STATUS={status}\n'


def check_retried_board(avr_update, programs, outputs, failures):
    """The board of the retry case as the playbook sums it up: the first run asks for the
    second, which updates the board."""
    run1 = registered(serial_lines(programs) + outputs[0])
    first = avr_update.okt_first_run_result(run1, False)
    if first.get('retry') is not True:
        failures.append(f'retry case: okt_first_run_result gives retry {first.get("retry")!r}')
    host_vars = {'inventory_hostname': 'b1', 'okt_run1': run1, 'okt_run2': registered(outputs[1]),
                 'okt_cleanup': {'rc': 0}}
    pack = {'pack_name': 'fw.pack', 'new_firmware': NEW, 'log_dirs': {'b1': '/logs/b1'}}
    record = avr_update.okt_board_record(host_vars, pack, False, 'T')
    want = dict(status='updated', serial=None, old_firmware=OLD, new_firmware=NEW, exit_status=0,
                attempts=2, note=None, last_line=UPDATED['last_line'])
    for key, value in want.items():
        if record.get(key) != value:
            failures.append(f'retry case, board record: {key} is {record.get(key)!r}, '
                            f'want {value!r}')


def run_case(avr_update, programs, args, pack, case, temp, failures):
    """Runs the watch once for each of the case's runs on one board and judges each output."""
    board = Board(programs, args.build, args.source, tempfile.mkdtemp(dir=temp))
    board.start_avr(case.sim_options)
    holder = None
    outputs = []
    try:
        if case.hold_port:
            holder = os.open(board.port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            fcntl.flock(holder, fcntl.LOCK_EX)
        limit = RUN_LIMIT
        if case.short_limit:
            limit = SHORT_LIMIT_LAUNCHED if programs.launcher else SHORT_LIMIT
        for run, want in enumerate(case.runs, start=1):
            outputs.append(board.watch(run, limit, pack))
            got = avr_update.avr_update_result(outputs[-1])
            wrong = [f'{key} is {got.get(key)!r}, want {value!r}' for key, value in
                     ((key, value.format(port=board.port) if isinstance(value, str) else value)
                      for key, value in want.items()) if got.get(key) != value]
            if wrong:
                failures.append(f'{case.name}, run {run}: {"; ".join(wrong)}\n'
                                f'--- the watch printed:\n{outputs[-1]}---')
    finally:
        if holder is not None:
            os.close(holder)
        board.stop_avr()
    if len(case.runs) == 2:
        check_retried_board(avr_update, programs, outputs, failures)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True)
    parser.add_argument('--source', required=True)
    parser.add_argument('--launcher', default='')
    args = parser.parse_args()
    programs = Programs(args.build, args.launcher)
    avr_update = load(args.source, 'avr_update')
    failures = []
    with tempfile.TemporaryDirectory() as temp:
        pack = os.path.join(temp, 'fw.pack')
        fixtures = os.path.join(args.source, 'tests', 'fixtures', 'avr')
        out, status = programs.run('avr-fwupdate', ['-pack3', pack,
                                                    os.path.join(fixtures, 'flash.hex'),
                                                    os.path.join(fixtures, 'eeprom.hex')])
        if status != 0:
            print(f'FAILED: the PACK file could not be made:\n{out}')
            return 1
        for case in CASES:
            run_case(avr_update, programs, args, pack, case, temp, failures)
    return finish(failures)


if __name__ == '__main__':
    sys.exit(main())
