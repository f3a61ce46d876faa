"""What the fleet test cases share: the firmware the simulated AVRs hold and get, a fleet that
collects failures, and the checks of a rollout's report, the AVRs' memories, the fetched update
logs and what was left on the boards."""

import glob
import os

from fleet_firmware import Ident, make_firmware, write_pack
from fleet_rollout import HARDWARE, Fleet

FLEET_SIZE = 6
UPDATED_LINE = 'AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY'
PREPARE_FAILED_LINE = 'Preparing AVR for firmware update... cannot prepare AVR for update!'
WORK_FOLDER_PATTERN = 'okt-avr-rollout.*'
PATH_RULE = 'it must be an absolute path of letters, digits and ._/- without . or .. components'
# The first task that reaches a board, as ansible names it in its output.
FIRST_BOARD_TASK = ("TASK [okt_board : Make the board's private work folder and ask its tools' "
                    'version]')
SETTINGS_STEP = ("failed step: Check the settings and the work folder, copy the run's files and "
                 'the tools package where needed')

# The installed firmware fills only blocks the new one fills too, so an updated AVR holds exactly
# the new images, whichever of the erased (0xFF) blocks around them a PACK file also sends.
INSTALLED = make_firmware(Ident('B', (1, 0, 2), 25, 3, 1, HARDWARE),
                          flash_blocks=[0, 1, 2, 3, 0x100], eeprom_blocks=[0], seed=1)
NEW = make_firmware(Ident('B', (1, 0, 4), 25, 9, 15, HARDWARE),
                    flash_blocks=list(range(10)) + [0x100, 0x101, 0x1FF], eeprom_blocks=[0, 2],
                    seed=2)
OTHER_HARDWARE = make_firmware(Ident('B', (1, 0, 4), 25, 9, 15, 'OKT99-XX'),
                               flash_blocks=list(range(10)), eeprom_blocks=[0], seed=3)


class Skip(Exception):
    """The case cannot run here (its reason is the message)."""


class Failures:
    def __init__(self):
        self.items = []

    def expect(self, ok, what):
        if not ok:
            self.items.append(what)
        return ok

    def equal(self, got, want, what):
        return self.expect(got == want, f'{what}: got {got!r}, want {want!r}')


class Context(Fleet):
    def __init__(self, args, temp):
        super().__init__(args.build, args.source, args.package_dir, temp)
        self.failures = Failures()
        self.cleanups = []  # called after the fleet stopped, also when a case fails

    def start_fleet(self, faults=None, idents=None, count=FLEET_SIZE):
        self.start(count, INSTALLED, faults, idents)

    def stop_fleet(self):
        self.stop()
        while self.cleanups:
            self.cleanups.pop()()

    def new_pack(self):
        return write_pack(NEW, os.path.join(self.temp, 'firmware'), 'new',
                          self.program('avr-fwupdate'))

    # --- checks ------------------------------------------------------------------------------

    def check_report(self, run, expected):
        """expected: board name -> dict of the fields that must match; every other board must
        have no line at all."""
        f = self.failures
        seen = set()
        for line in run.lines:
            f.expect(line.get('host') not in seen, f'two report lines for {line.get("host")}')
            seen.add(line.get('host'))
        f.equal(sorted(seen), sorted(expected), 'boards in the report')
        for host, want in expected.items():
            line = run.by_host.get(host)
            if line is None:
                continue
            board = next((b for b in self.boards if b.name == host), None)
            want = {'serial': board.serial if board else None, **want}
            f.expect(isinstance(line.get('seconds'), (int, float)) and line['seconds'] >= 0,
                     f'{host} seconds: {line.get("seconds")!r}')
            for key, value in want.items():
                f.equal(line.get(key), value, f'{host} {key}')

    def check_logs(self, run, host, last_lines):
        """The board's update logs fetched beside the report: one a run, each ending in the
        given line; None: no run, so no log folder in the report line."""
        line = run.by_host.get(host, {})
        if last_lines is None:
            self.failures.equal(line.get('log'), None, f'{host} log')
            return
        logs = line.get('log') or ''
        stem = run.report[:-len('.jsonl')]
        self.failures.expect(logs.startswith(stem + '.logs/') and logs.endswith('/' + host),
                             f'{host} log folder: {logs!r}')
        names = sorted(os.listdir(logs)) if os.path.isdir(logs) else []
        self.failures.equal(names, [f'update-{n}.log' for n in range(1, len(last_lines) + 1)],
                            f'{host} fetched logs')
        for name, want in zip(names, last_lines):
            with open(os.path.join(logs, name), errors='replace') as f:
                text = [t.strip() for t in f.read().splitlines() if t.strip()]
            self.failures.equal(text[-1] if text else None, want, f'{host} {name} last line')

    def check_no_work_folder(self, *bases):
        """No rollout left a work folder behind in these bases."""
        for base in bases:
            left = glob.glob(os.path.join(base, WORK_FOLDER_PATTERN))
            self.failures.equal(left, [], f'work folders left in {base}')

    def check_named_first(self, run, line):
        """The controller check's output names `line` (a refused board) before any board is
        reached."""
        named = run.output.find(line)
        reached = run.output.find(FIRST_BOARD_TASK)
        self.failures.expect(0 <= named < reached,
                             f'{line!r} at {named} of the output, the first board task at '
                             f'{reached}')

    def check_updated(self, board):
        got_flash, got_eeprom = board.memories()
        self.failures.expect(got_flash == bytes(NEW.flash),
                             f'{board.name}: flash differs from the image')
        self.failures.expect(got_eeprom == bytes(NEW.eeprom),
                             f'{board.name}: EEPROM differs from the image')

    def check_unchanged(self, board):
        got_flash, got_eeprom = board.memories()
        self.failures.expect(got_flash == bytes(board.installed.flash),
                             f'{board.name}: flash changed')
        self.failures.expect(got_eeprom == bytes(board.installed.eeprom),
                             f'{board.name}: EEPROM changed')

    def check_untouched(self, board):
        self.check_unchanged(board)
        self.failures.equal(board.commands_received(), 0, f'{board.name} AVR commands')
        self.failures.equal(board.touched_files(), [], f'{board.name} files')


def updated(old=INSTALLED, attempts=1):
    return {'status': 'updated', 'exit_status': 0, 'last_line': UPDATED_LINE,
            'attempts': attempts, 'old_firmware': old.ident.line(),
            'new_firmware': NEW.ident.line(), 'check_mode': False}


def refused(message, note=SETTINGS_STEP):
    """A board that failed before an update run, with the step's message."""
    return {'status': 'failed', 'exit_status': None, 'attempts': 0, 'last_line': message,
            'note': note, 'serial': None, 'old_firmware': None, 'log': None}
