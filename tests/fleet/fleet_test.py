#!/usr/bin/env python3
"""System test of the AVR rollout playbook (deploy/ansible/avr-rollout.yml) and of the ID record
inventory (deploy/ansible/idrec-inventory.yml).

Each case starts a real sshd on a loopback port and a fleet of simulated boards on this machine
(each its own avr-bootsim behind a link, its own I2C EEPROM files and install prefix, each its own
inventory host reached over that sshd), runs ansible-playbook for real from deploy/ansible/ with
its ansible.cfg, and checks the report, the fetched update logs, the simulated AVRs' memories and
what reached or stayed on each board. Everything started is stopped again, also when a case fails
or the test is interrupted.

Usage: fleet_test.py --build BUILD --source SOURCE --package-dir DIR CASE
Cases: package (makes the tools package the others install), rollout, faults, stop, refused,
check, limit, attack, injection; inventory and inventory_check run the ID record inventory
(idrec-inventory.yml) instead. Exit status: 0 passed, 1 failed, 77 skipped (no launcher-free
native run possible, a system program the test needs is missing, or the case needs root).
"""

import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from fleet_checks import (FLEET_SIZE, PATH_RULE, SETTINGS_STEP, NEW,  # noqa: E402
                          OTHER_HARDWARE, PREPARE_FAILED_LINE, UPDATED_LINE, Context, Skip,
                          refused, updated)
from fleet_firmware import Ident, write_pack  # noqa: E402
from fleet_hostile import case_attack, case_injection  # noqa: E402
from fleet_inventory import case_inventory, case_inventory_check  # noqa: E402
from fleet_rollout import make_package  # noqa: E402

SKIP = 77
MISMATCH_LINE = 'WARNING: Firmware is for different Hardware!!'


def case_package(ctx):
    """Makes the tools package from this build with CPack, as the boards get it."""
    problem = make_package(ctx.build, ctx.package_dir)
    if not ctx.failures.expect(not problem, problem):
        return
    listing = subprocess.run(['tar', '-tzf', ctx.package()], stdout=subprocess.PIPE, text=True,
                             check=True).stdout.split()
    for program in ('avr-fwupdate', 'okt-eepromtool', 'avr-fwinfo', 'okt-idrec'):
        ctx.failures.expect(f'usr/bin/{program}' in listing,
                            f'the package lacks usr/bin/{program}')


def case_rollout(ctx):
    """Every board ends updated, in two batches, with one correct report line and its fetched
    log each; the first three work in their login's home (the default), the others in a base of
    their own; no work folder is left behind; no board is logged into more than once (the scp
    transfers share ansible's connection, as the shipped ansible.cfg sets it up)."""
    pack = ctx.new_pack()
    ctx.start_fleet()
    home_boards = {b.name: {'okt_board_work_base': None} for b in ctx.boards[:3]}
    run = ctx.run_playbook(pack, batch_size=3, max_fail=0, hosts=home_boards)
    ctx.stop_fleet()
    print(f'fleet: rollout to {FLEET_SIZE} simulated boards took {run.seconds:.1f} s '
          f'(board update runs: {", ".join(str(line.get("seconds")) for line in run.lines)} s)')
    ctx.failures.equal(run.status, 0, 'ansible-playbook exit status')
    ctx.check_report(run, {b.name: updated() for b in ctx.boards})
    ctx.check_no_work_folder(ctx.home, *(b.work for b in ctx.boards))
    for board in ctx.boards:
        ctx.check_updated(board)
        ctx.check_logs(run, board.name, [UPDATED_LINE])
        ctx.failures.expect(os.access(os.path.join(board.prefix, 'bin', 'avr-fwupdate'), os.X_OK),
                            f'{board.name}: the tools were not installed')
    # The boards share one sshd, so their connections may share one master too.
    ctx.failures.expect(ctx.sshd.logins() <= FLEET_SIZE,
                        f'{ctx.sshd.logins()} ssh logins for {FLEET_SIZE} boards')
    return run.output


def case_faults(ctx):
    """A silent AVR fails alone; an AVR that hangs up after some blocks completes on the second
    run; an AVR that reports other hardware is stopped before a block is sent, its report line
    ending in the updater's warning; a port another process holds is left alone; a board nobody
    answers for fails alone; a board of the last batch whose settings are refused is named by
    the controller check before the first board is reached, and fails in its batch without
    being reached."""
    pack = ctx.new_pack()
    other = Ident('B', (1, 0, 2), 25, 3, 1, 'OKT32-ZZ')
    ctx.start_fleet(faults={2: [':silent'], 5: ['s1BLK005:hangup']}, idents={6: other})
    ctx.unreachable = ['board07', 'board08']  # board08 would be unreachable too, if reached
    held = ctx.boards[3]
    # Another updater's lock: an exclusive flock on the open port.
    port = os.open(held.port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fcntl.flock(port, fcntl.LOCK_EX | fcntl.LOCK_NB)
        run = ctx.run_playbook(pack, batch_size=3, max_fail=70,
                               hosts={'board08': {'okt_prefix': 'opt/okt32'}})
    finally:
        os.close(port)
    ctx.stop_fleet()
    ctx.failures.equal(run.status, 2, 'ansible-playbook exit status (boards failed)')
    in_use = f"comm port '{held.port}' is in use by another process"
    expected = {b.name: updated() for b in ctx.boards}
    expected['board02'] = {'status': 'failed', 'exit_status': 5, 'attempts': 1,
                           'last_line': PREPARE_FAILED_LINE, 'old_firmware': None}
    expected['board04'] = {'status': 'failed', 'exit_status': 2, 'attempts': 1,
                           'last_line': in_use}
    expected['board05'] = updated(attempts=2)
    expected['board06'] = {'status': 'failed', 'attempts': 1, 'exit_status': 143,
                           'last_line': MISMATCH_LINE,
                           'old_firmware': other.line(), 'new_firmware': NEW.ident.line(),
                           'note': 'stopped: the AVR reports other hardware than the new firmware'}
    expected['board07'] = {'status': 'failed', 'attempts': 0, 'exit_status': None,
                           'note': SETTINGS_STEP, 'log': None}
    board08_line = f"okt_prefix is 'opt/okt32': {PATH_RULE}"
    expected['board08'] = refused(board08_line)
    ctx.check_report(run, expected)
    ctx.failures.expect(run.by_host.get('board07', {}).get('last_line', '').startswith(
        'the board cannot be reached over ssh: '), 'board07 last line')
    ctx.check_named_first(run, f'board08: {board08_line}')
    ctx.check_logs(run, 'board02', [PREPARE_FAILED_LINE])
    ctx.check_logs(run, 'board04', [in_use])
    ctx.check_logs(run, 'board05', ['WARNING: CODE UPDATE FAILED! ABORTING!', UPDATED_LINE])
    for board in ctx.boards:
        if board.name in ('board02', 'board04', 'board06'):
            ctx.check_unchanged(board)
        else:
            ctx.check_updated(board)
    ctx.check_no_work_folder(*(b.work for b in ctx.boards))
    ctx.failures.equal(held.commands_received(), 0, 'board04 AVR commands')
    # The watch stops the updater during its countdown, after the version exchange.
    ctx.failures.equal(ctx.boards[5].commands_received(), 2, 'board06 AVR commands')
    return run.output


def case_stop(ctx):
    """Too many failures in the first batch stop the rollout; later batches are never touched."""
    pack = ctx.new_pack()
    ctx.start_fleet(faults={2: [':silent']})
    logins_before = ctx.sshd.logins()
    run = ctx.run_playbook(pack, batch_size=3, max_fail=20)
    ctx.stop_fleet()
    ctx.failures.expect(run.status != 0, 'ansible-playbook succeeded although the rollout stopped')
    ctx.check_report(run, {
        'board01': updated(),
        'board02': {'status': 'failed', 'exit_status': 5, 'last_line': PREPARE_FAILED_LINE},
        'board03': updated(),
    })
    for board in ctx.boards[:3]:
        if board.name != 'board02':
            ctx.check_updated(board)
    for board in ctx.boards[3:]:
        ctx.check_untouched(board)
        ctx.failures.expect(f'[{board.name}]' not in run.output,
                            f'ansible ran tasks on {board.name} of a later batch')
    ctx.failures.expect(ctx.sshd.logins() > logins_before, 'no board was reached at all')
    return run.output


def case_refused(ctx):
    """A PACK file for other hardware, a damaged one, or a batch size and failure limit that only
    the inventory sets (play keywords never see them) stop the rollout before any board is
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
    rows = (
        ('other hardware', other, {}, 'hardware_mismatch'),
        ('damaged', damaged, {}, 'avr-fwinfo exit status'),
        ('inventory batch size', good, {'okt_batch_size': 2, 'okt_max_fail_percentage': 50},
         'the boards see okt_batch_size 2 and okt_max_fail_percentage 50, but the play runs '
         '(batch size 5, failure limit 0 %): play keywords never see the inventory'),
    )
    for name, pack, rollout_vars, says in rows:
        if rollout_vars:
            run = ctx.run_playbook(pack, rollout_vars=rollout_vars)
        else:
            run = ctx.run_playbook(pack, batch_size=3, max_fail=50)
        outputs.append(run.output)
        ctx.failures.expect(run.status != 0, f'{name}: ansible-playbook succeeded')
        ctx.failures.expect(says in ' '.join(run.output.split()),
                            f'{name}: the output does not say {says!r}')
        ctx.failures.equal(run.lines, [], f'{name}: report lines')
    ctx.failures.equal(ctx.sshd.logins(), 0, 'ssh logins')
    ctx.stop_fleet()
    for board in ctx.boards:
        ctx.check_untouched(board)
    return '\n'.join(outputs)


def case_check(ctx):
    """Check mode does everything but the update: tools installed where missing or of another
    version (and left alone where current), the PACK file copied and verified, the serial number
    read (unknown where the motherboard's EEPROM does not answer), the work folder removed; no
    AVR receives a command. board01 has no base of its own and its login no home: it works in
    /tmp."""
    pack = ctx.new_pack()
    ctx.start_fleet()
    os.rmdir(ctx.home)
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
    run = ctx.run_playbook(pack, batch_size=3, max_fail=0, check_mode=True,
                           hosts={'board01': {'okt_board_work_base': None}})
    ctx.stop_fleet()
    ctx.failures.equal(run.status, 0, 'ansible-playbook exit status')
    expected = {b.name: {'status': 'checked', 'attempts': 0, 'exit_status': None,
                         'old_firmware': None, 'new_firmware': NEW.ident.line(), 'log': None,
                         'last_line': None, 'note': None, 'check_mode': True}
                for b in ctx.boards}
    expected['board06']['serial'] = None
    ctx.check_report(run, expected)
    ctx.check_no_work_folder(*(b.work for b in ctx.boards))
    for board in ctx.boards:
        ctx.failures.equal(board.commands_received(), 0, f'{board.name} AVR commands')
        ctx.check_unchanged(board)
        version = subprocess.run([os.path.join(board.prefix, 'bin', 'avr-fwinfo'), '--version'],
                                 stdout=subprocess.PIPE, text=True).stdout.strip()
        ctx.failures.expect(version.startswith('avr-fwinfo (okt32-service-tools) ')
                            and not version.endswith(' 0.9.0'),
                            f'{board.name}: installed tools say {version!r}')
    ctx.failures.equal(os.stat(os.path.join(current.prefix, 'bin', 'avr-fwupdate')).st_ino, kept,
                       'board02 (current tools): reinstalled')
    return run.output


def case_limit(ctx):
    """The README's retry: after a rollout in which one board failed, `--limit BOARD` runs the
    controller check again (a damaged PACK file still reaches no board) and then retries that
    board alone: only it gets a new report line and ends updated, the others are not touched."""
    count = 4
    pack = ctx.new_pack()
    damaged = os.path.join(ctx.temp, 'firmware', 'damaged.pack')
    with open(pack, 'rb') as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0x5A
    with open(damaged, 'wb') as f:
        f.write(data)
    ctx.start_fleet(faults={2: [':silent']}, count=count)
    first = ctx.run_playbook(pack, batch_size=2, max_fail=100)
    outputs = [first.output]
    ctx.failures.equal(first.status, 2, 'first run: ansible-playbook exit status')
    ctx.check_report(first, {
        'board01': updated(), 'board03': updated(), 'board04': updated(),
        'board02': {'status': 'failed', 'exit_status': 5, 'last_line': PREPARE_FAILED_LINE}})

    failed = ctx.board('board02')  # repaired: its AVR answers now
    failed.stop_avr()
    failed.start_avr(ctx.program('avr-bootsim'))
    others = [b for b in ctx.boards if b is not failed]
    commands = {b.name: b.commands_received() for b in others}
    tools = {b.name: os.stat(os.path.join(b.prefix, 'bin', 'avr-fwupdate')).st_ino
             for b in others}
    logins = ctx.sshd.logins()

    refused = ctx.run_playbook(damaged, batch_size=2, max_fail=100, limit='board02')
    outputs.append(refused.output)
    ctx.failures.expect(refused.status != 0,
                        'damaged PACK with --limit: ansible-playbook succeeded')
    ctx.failures.expect('avr-fwinfo exit status' in ' '.join(refused.output.split()),
                        'damaged PACK with --limit: the controller check did not refuse it')
    ctx.failures.equal(refused.lines, [], 'damaged PACK with --limit: report lines')
    ctx.failures.equal(ctx.sshd.logins(), logins, 'damaged PACK with --limit: ssh logins')

    retry = ctx.run_playbook(pack, batch_size=2, max_fail=100, limit='board02')
    outputs.append(retry.output)
    ctx.failures.equal(retry.status, 0, 'retry: ansible-playbook exit status')
    ctx.check_report(retry, {'board02': updated()})
    ctx.check_logs(retry, 'board02', [UPDATED_LINE])
    for board in others:
        ctx.failures.equal(board.commands_received(), commands[board.name],
                           f'retry: {board.name} AVR commands')
        ctx.failures.equal(os.stat(os.path.join(board.prefix, 'bin', 'avr-fwupdate')).st_ino,
                           tools[board.name], f'retry: {board.name} tools reinstalled')
    ctx.stop_fleet()
    for board in ctx.boards:
        ctx.check_updated(board)
    return '\n'.join(outputs)


CASES = {
    'package': case_package,
    'rollout': case_rollout,
    'faults': case_faults,
    'stop': case_stop,
    'refused': case_refused,
    'check': case_check,
    'limit': case_limit,
    'attack': case_attack,
    'injection': case_injection,
    'inventory': case_inventory,
    'inventory_check': case_inventory_check,
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
    except Skip as e:
        ctx.stop_fleet()
        shutil.rmtree(temp, ignore_errors=True)
        print(f'fleet {args.case}: skipped: {e}')
        return SKIP
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
