#!/usr/bin/env python3
"""System test of the AVR rollout playbook (deploy/ansible/avr-rollout.yml).

Each case starts a real sshd on a loopback port and a fleet of simulated boards on this machine
(each its own avr-bootsim behind a link, its own I2C EEPROM files and install prefix, each its own
inventory host reached over that sshd), runs ansible-playbook for real and checks the report,
the simulated AVRs' memories and what reached each board. Everything started is stopped again,
also when a case fails or the test is interrupted.

Usage: fleet_test.py --build BUILD --source SOURCE --package-dir DIR CASE
Cases: package (makes the tools package the others install), rollout, faults, stop, refused,
check. Exit status: 0 passed, 1 failed, 77 skipped (no launcher-free native run possible, or a
system program the test needs is missing).
"""

import argparse
import fcntl
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from fleet_boards import Board  # noqa: E402
from fleet_firmware import Ident, make_firmware, write_pack  # noqa: E402
from fleet_sshd import Sshd, free_port  # noqa: E402

SKIP = 77
PLAYBOOK_LIMIT = 240  # seconds for one ansible-playbook run
FLEET_SIZE = 6
HARDWARE = 'OKT32-BB'
UPDATED_LINE = 'AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY'
PREPARE_FAILED_LINE = 'Preparing AVR for firmware update... cannot prepare AVR for update!'
PACKAGE_PATTERN = 'okt32-service-tools_*_*.tar.gz'

# The installed firmware fills only blocks the new one fills too, so an updated AVR holds exactly
# the new images, whichever of the erased (0xFF) blocks around them a PACK file also sends.
INSTALLED = make_firmware(Ident('B', (1, 0, 2), 25, 3, 1, HARDWARE),
                          flash_blocks=[0, 1, 2, 3, 0x100], eeprom_blocks=[0], seed=1)
NEW = make_firmware(Ident('B', (1, 0, 4), 25, 9, 15, HARDWARE),
                    flash_blocks=list(range(10)) + [0x100, 0x101, 0x1FF], eeprom_blocks=[0, 2],
                    seed=2)
OTHER_HARDWARE = make_firmware(Ident('B', (1, 0, 4), 25, 9, 15, 'OKT99-XX'),
                               flash_blocks=list(range(10)), eeprom_blocks=[0], seed=3)


class Failures:
    def __init__(self):
        self.items = []

    def expect(self, ok, what):
        if not ok:
            self.items.append(what)
        return ok

    def equal(self, got, want, what):
        return self.expect(got == want, f'{what}: got {got!r}, want {want!r}')


class Context:
    def __init__(self, args, temp):
        self.build = os.path.abspath(args.build)
        self.source = os.path.abspath(args.source)
        self.package_dir = os.path.abspath(args.package_dir)
        self.temp = temp
        self.bin = os.path.join(self.build, 'bin')
        self.failures = Failures()
        self.sshd = None
        self.boards = []
        self.unreachable = []  # inventory hosts without a board behind them
        self.runs = 0

    def program(self, name):
        return os.path.join(self.bin, name)

    def package(self):
        found = sorted(glob.glob(os.path.join(self.package_dir, PACKAGE_PATTERN)))
        if len(found) != 1:
            raise RuntimeError(f'expected one {PACKAGE_PATTERN} in {self.package_dir} (made by '
                               f'the fleet_package test), found {found}')
        return found[0]

    # --- the fleet ---------------------------------------------------------------------------

    def start_fleet(self, faults=None, idents=None):
        """sshd and FLEET_SIZE boards; faults and idents map a board number to its simulator's
        fault rules and reported identification."""
        faults = faults or {}
        idents = idents or {}
        self.sshd = Sshd(os.path.join(self.temp, 'ssh'))
        os.makedirs(self.sshd.folder)
        self.sshd.start()
        root = os.path.join(self.temp, 'boards')
        for i in range(1, FLEET_SIZE + 1):
            board = Board(root, i, INSTALLED)
            self.boards.append(board)
            board.start_avr(self.program('avr-bootsim'), faults.get(i, ()), ident=idents.get(i))

    def stop_fleet(self):
        for board in self.boards:
            board.stop_avr()
        if self.sshd:
            self.sshd.stop()

    def inventory(self, pack, batch_size, max_fail, report):
        hosts = {b.name: b.inventory_vars(self.build) for b in self.boards}
        for name in self.unreachable:
            # a loopback port nobody listens on
            hosts[name] = {'ansible_port': free_port(), 'okt_avr_port': '/dev/null'}
        return {
            'all': {
                'vars': {
                    'okt_pack': pack,
                    'okt_expected_hwid': HARDWARE,
                    'okt_package': self.package(),
                    'okt_fwinfo': self.program('avr-fwinfo'),
                    'okt_batch_size': batch_size,
                    'okt_max_fail_percentage': max_fail,
                    'okt_report': report,
                },
                'children': {
                    'avr_boards': {
                        'vars': {
                            'ansible_host': '127.0.0.1',
                            'ansible_port': self.sshd.port,
                            'ansible_user': self.sshd.user,
                            'ansible_ssh_private_key_file': self.sshd.user_key,
                            'ansible_ssh_common_args': self.sshd.ssh_common_args(),
                            'okt_avr_baud': 115200,
                        },
                        'hosts': hosts,
                    },
                },
            },
        }

    def run_playbook(self, pack, batch_size, max_fail, check_mode=False):
        """Runs the playbook once; returns (exit status, output, report lines, seconds)."""
        self.runs += 1
        run_dir = os.path.join(self.temp, f'run{self.runs}')
        os.makedirs(run_dir)
        report = os.path.join(run_dir, 'report.jsonl')
        inventory = os.path.join(run_dir, 'inventory.yml')
        with open(inventory, 'w') as f:
            json.dump(self.inventory(pack, batch_size, max_fail, report), f, indent=1)
        config = os.path.join(run_dir, 'ansible.cfg')
        with open(config, 'w') as f:
            f.write(f'''[defaults]
forks = {FLEET_SIZE * 2}
retry_files_enabled = False
interpreter_python = auto_silent
local_tmp = {run_dir}/ansible-tmp
[ssh_connection]
ssh_args =
control_path_dir = {self.sshd.control_dir}
''')
        env = dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_HOME=os.path.join(run_dir, 'home'),
                   ANSIBLE_NOCOLOR='1', PYTHONDONTWRITEBYTECODE='1')
        cmd = ['ansible-playbook', '-i', inventory,
               os.path.join(self.source, 'deploy', 'ansible', 'avr-rollout.yml')]
        if check_mode:
            cmd.append('--check')
        started = time.monotonic()
        run = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, timeout=PLAYBOOK_LIMIT)
        seconds = time.monotonic() - started
        with open(os.path.join(run_dir, 'ansible.out'), 'w') as f:
            f.write(run.stdout)
        lines = []
        if os.path.exists(report):
            with open(report) as f:
                lines = [json.loads(line) for line in f if line.strip()]
        return run.returncode, run.stdout, lines, seconds

    # --- checks ------------------------------------------------------------------------------

    def check_report(self, lines, expected):
        """expected: board name -> dict of the fields that must match; every other board must
        have no line at all."""
        f = self.failures
        by_host = {}
        for line in lines:
            f.expect(line.get('host') not in by_host, f'two report lines for {line.get("host")}')
            by_host[line.get('host')] = line
        f.equal(sorted(by_host), sorted(expected), 'boards in the report')
        for host, want in expected.items():
            line = by_host.get(host)
            if line is None:
                continue
            board = next((b for b in self.boards if b.name == host), None)
            want = {'serial': board.serial if board else None, **want}
            f.expect(isinstance(line.get('seconds'), (int, float)) and line['seconds'] >= 0,
                     f'{host} seconds: {line.get("seconds")!r}')
            for key, value in want.items():
                f.equal(line.get(key), value, f'{host} {key}')

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

    def new_pack(self):
        return write_pack(NEW, os.path.join(self.temp, 'firmware'), 'new', self.program(
            'avr-fwupdate'))


def updated(old=INSTALLED, attempts=1):
    return {'status': 'updated', 'exit_status': 0, 'last_line': UPDATED_LINE,
            'attempts': attempts, 'old_firmware': old.ident.line(),
            'new_firmware': NEW.ident.line(), 'check_mode': False}


# --- cases -----------------------------------------------------------------------------------

def case_package(ctx):
    """Makes the tools package from this build with CPack, as the boards get it."""
    config = os.path.join(ctx.build, 'CPackConfig.cmake')
    if not ctx.failures.expect(os.path.exists(config),
                               f'{config} is missing: the build makes no tools package'):
        return
    os.makedirs(ctx.package_dir, exist_ok=True)
    for old in glob.glob(os.path.join(ctx.package_dir, PACKAGE_PATTERN)):
        os.remove(old)
    # The package's own generator, as the board's package is made (the .deb comes along).
    run = subprocess.run(['cpack', '--config', config, '-B', ctx.package_dir],
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, timeout=300)
    if not ctx.failures.expect(run.returncode == 0, f'cpack failed:\n{run.stdout}'):
        return
    listing = subprocess.run(['tar', '-tzf', ctx.package()], stdout=subprocess.PIPE, text=True,
                             check=True).stdout.split()
    for program in ('avr-fwupdate', 'okt-eepromtool', 'avr-fwinfo'):
        ctx.failures.expect(f'usr/bin/{program}' in listing,
                            f'the package lacks usr/bin/{program}')


def case_rollout(ctx):
    """Every board ends updated, in two batches, with one correct report line each."""
    pack = ctx.new_pack()
    ctx.start_fleet()
    status, output, lines, seconds = ctx.run_playbook(pack, batch_size=3, max_fail=0)
    ctx.stop_fleet()
    print(f'fleet: rollout to {FLEET_SIZE} simulated boards took {seconds:.1f} s '
          f'(board update runs: {", ".join(str(line.get("seconds")) for line in lines)} s)')
    ctx.failures.equal(status, 0, 'ansible-playbook exit status')
    ctx.check_report(lines, {b.name: updated() for b in ctx.boards})
    for board in ctx.boards:
        ctx.check_updated(board)
        ctx.failures.expect(os.access(os.path.join(board.prefix, 'bin', 'avr-fwupdate'), os.X_OK),
                            f'{board.name}: the tools were not installed')
    return output


def case_faults(ctx):
    """A silent AVR fails alone; an AVR that hangs up after some blocks completes on the second
    run; an AVR that reports other hardware is stopped before a block is sent; a port another
    process holds is left alone."""
    pack = ctx.new_pack()
    other = Ident('B', (1, 0, 2), 25, 3, 1, 'OKT32-ZZ')
    ctx.start_fleet(faults={2: [':silent'], 5: ['s1BLK005:hangup']}, idents={6: other})
    ctx.unreachable = ['board07']
    held = ctx.boards[3]
    # Another updater's lock: an exclusive flock on the open port.
    port = os.open(held.port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fcntl.flock(port, fcntl.LOCK_EX | fcntl.LOCK_NB)
        status, output, lines, _ = ctx.run_playbook(pack, batch_size=3, max_fail=70)
    finally:
        os.close(port)
    ctx.stop_fleet()
    ctx.failures.equal(status, 2, 'ansible-playbook exit status (boards failed)')
    expected = {b.name: updated() for b in ctx.boards}
    expected['board02'] = {'status': 'failed', 'exit_status': 5, 'attempts': 1,
                           'last_line': PREPARE_FAILED_LINE, 'old_firmware': None}
    expected['board04'] = {'status': 'failed', 'exit_status': 2, 'attempts': 1,
                           'last_line': f"comm port '{held.port}' is in use by another process"}
    expected['board05'] = updated(attempts=2)
    expected['board07'] = {'status': 'failed', 'attempts': 0, 'exit_status': None,
                           'note': 'failed step: Stop when the board cannot be reached'}
    expected['board06'] = {'status': 'failed', 'attempts': 1,
                           'old_firmware': other.line(), 'new_firmware': NEW.ident.line(),
                           'note': 'stopped: the AVR reports other hardware than the new firmware'}
    ctx.check_report(lines, expected)
    for board in ctx.boards:
        if board.name in ('board02', 'board04', 'board06'):
            ctx.check_unchanged(board)
        else:
            ctx.check_updated(board)
    ctx.failures.equal(held.commands_received(), 0, 'board04 AVR commands')
    # The watch stops the updater during its countdown, after the version exchange.
    ctx.failures.equal(ctx.boards[5].commands_received(), 2, 'board06 AVR commands')
    return output


def case_stop(ctx):
    """Too many failures in the first batch stop the rollout; later batches are never touched."""
    pack = ctx.new_pack()
    ctx.start_fleet(faults={2: [':silent']})
    logins_before = ctx.sshd.logins()
    status, output, lines, _ = ctx.run_playbook(pack, batch_size=3, max_fail=20)
    ctx.stop_fleet()
    ctx.failures.expect(status != 0, 'ansible-playbook succeeded although the rollout stopped')
    ctx.check_report(lines, {
        'board01': updated(),
        'board02': {'status': 'failed', 'exit_status': 5, 'last_line': PREPARE_FAILED_LINE},
        'board03': updated(),
    })
    for board in ctx.boards[:3]:
        if board.name != 'board02':
            ctx.check_updated(board)
    for board in ctx.boards[3:]:
        ctx.check_untouched(board)
        ctx.failures.expect(board.name not in output,
                            f'ansible ran tasks on {board.name} of a later batch')
    ctx.failures.expect(ctx.sshd.logins() > logins_before, 'no board was reached at all')
    return output


def case_refused(ctx):
    """A PACK file for other hardware, or a damaged one, stops the rollout before any board is
    reached."""
    good = ctx.new_pack()
    firmware = os.path.join(ctx.temp, 'firmware')
    other = write_pack(OTHER_HARDWARE, firmware, 'other', ctx.program('avr-fwupdate'))
    damaged = os.path.join(firmware, 'damaged.pack')
    with open(good, 'rb') as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0x5A  # a payload byte: the checksums no longer match
    with open(damaged, 'wb') as f:
        f.write(data)
    ctx.start_fleet()
    outputs = []
    for name, pack, says in (('other hardware', other, 'hardware_mismatch'),
                             ('damaged', damaged, 'avr-fwinfo exit status')):
        status, output, lines, _ = ctx.run_playbook(pack, batch_size=3, max_fail=50)
        outputs.append(output)
        ctx.failures.expect(status != 0, f'{name}: ansible-playbook succeeded')
        ctx.failures.expect(says in output, f'{name}: the output does not say {says!r}')
        ctx.failures.equal(lines, [], f'{name}: report lines')
    ctx.failures.equal(ctx.sshd.logins(), 0, 'ssh logins')
    ctx.stop_fleet()
    for board in ctx.boards:
        ctx.check_untouched(board)
    return '\n'.join(outputs)


def case_check(ctx):
    """Check mode does everything but the update: tools installed where missing or of another
    version (and left alone where current), the PACK file copied and verified, the serial number
    read (unknown where the motherboard's EEPROM does not answer); no AVR receives a command."""
    pack = ctx.new_pack()
    ctx.start_fleet()
    os.remove(os.path.join(ctx.boards[5].eeproms, 'i2c-1-50'))
    package = ctx.package()
    current, stale = ctx.boards[1], ctx.boards[2]
    for board in (current, stale):
        os.makedirs(board.prefix)
        subprocess.run(['tar', '-xzf', package, '--strip-components=1', '-C', board.prefix],
                       check=True)
    fwinfo = os.path.join(stale.prefix, 'bin', 'avr-fwinfo')
    with open(fwinfo, 'w') as f:
        f.write('#!/bin/sh\necho "avr-fwinfo (okt32-service-tools) 0.9.0"\n')
    kept = os.stat(os.path.join(current.prefix, 'bin', 'avr-fwupdate')).st_ino
    status, output, lines, _ = ctx.run_playbook(pack, batch_size=3, max_fail=0, check_mode=True)
    ctx.stop_fleet()
    ctx.failures.equal(status, 0, 'ansible-playbook exit status')
    expected = {b.name: {'status': 'checked', 'attempts': 0, 'exit_status': None,
                         'old_firmware': None, 'new_firmware': NEW.ident.line(),
                         'check_mode': True} for b in ctx.boards}
    expected['board06']['serial'] = None
    ctx.check_report(lines, expected)
    with open(pack, 'rb') as f:
        pack_bytes = f.read()
    for board in ctx.boards:
        ctx.failures.equal(board.commands_received(), 0, f'{board.name} AVR commands')
        ctx.check_unchanged(board)
        copy = os.path.join(board.work, os.path.basename(pack))
        ctx.failures.expect(os.path.exists(copy) and open(copy, 'rb').read() == pack_bytes,
                            f'{board.name}: the PACK file did not arrive intact')
        version = subprocess.run([os.path.join(board.prefix, 'bin', 'avr-fwinfo'), '--version'],
                                 stdout=subprocess.PIPE, text=True).stdout.strip()
        ctx.failures.expect(version.startswith('avr-fwinfo (okt32-service-tools) ')
                            and not version.endswith(' 0.9.0'),
                            f'{board.name}: installed tools say {version!r}')
    ctx.failures.equal(os.stat(os.path.join(current.prefix, 'bin', 'avr-fwupdate')).st_ino, kept,
                       'board02 (current tools): reinstalled')
    return output


CASES = {
    'package': case_package,
    'rollout': case_rollout,
    'faults': case_faults,
    'stop': case_stop,
    'refused': case_refused,
    'check': case_check,
}
NEEDS_FLEET = ('sshd', 'ssh', 'scp', 'ssh-keygen', 'ansible-playbook')


def skip_reason(args):
    launcher = os.environ.get('OKT_TEST_LAUNCHER', args.launcher).strip()
    if launcher:
        return (f'the boards run the native package; not run under the launcher {launcher!r}')
    if args.case == 'package':
        return None
    for tool in NEEDS_FLEET:
        path = '/usr/sbin/sshd' if tool == 'sshd' else shutil.which(tool)
        if not path or not os.access(path, os.X_OK):
            return f'{tool} is not installed (scripts/install-deps.sh installs it)'
    return None


def on_signal(signum, _frame):
    raise SystemExit(f'fleet: stopped by signal {signum}')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True)
    parser.add_argument('--source', required=True)
    parser.add_argument('--package-dir', required=True)
    parser.add_argument('--launcher', default='')
    parser.add_argument('case', choices=sorted(CASES))
    args = parser.parse_args()

    reason = skip_reason(args)
    if reason:
        print(f'fleet {args.case}: skipped: {reason}')
        return SKIP

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    temp = tempfile.mkdtemp(prefix='okt-fleet-', dir='/tmp')  # short: ssh control socket paths
    ctx = Context(args, temp)
    started = time.monotonic()
    output = ''
    passed = False
    try:
        output = CASES[args.case](ctx) or ''
        passed = not ctx.failures.items
    except Exception as e:  # a broken fixture fails the case with its reason
        ctx.failures.items.append(f'{type(e).__name__}: {e}')
    finally:
        ctx.stop_fleet()
    print(f'fleet {args.case}: {time.monotonic() - started:.1f} s in all')
    if passed:
        shutil.rmtree(temp, ignore_errors=True)
        return 0
    for item in ctx.failures.items:
        print(f'FAILED: {item}')
    if output:
        print('--- ansible-playbook output (last run or runs):')
        print(output[-12000:])
    print(f'fleet {args.case}: the fleet\'s files are kept in {temp}')
    return 1


if __name__ == '__main__':
    sys.exit(main())
