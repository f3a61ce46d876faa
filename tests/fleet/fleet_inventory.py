"""Fleet cases of the ID record inventory (deploy/ansible/idrec-inventory.yml): one board a row,
each with its modules in one state (programmed, blank, empty, absent, incomplete at an offset, on
a bus that cannot be opened), its tools missing, current or of another version, and a board that
cannot be reached and one whose settings are refused. The report's lines must be exact: the
modules as the native okt-idrec reads the same EEPROM files, and what it says on standard error."""

import glob
import hashlib
import json
import os
import re
import subprocess

from fleet_checks import SETTINGS_STEP

PLAYBOOK = 'idrec-inventory.yml'
WORK_FOLDER_PATTERN = 'okt-idrec-inventory.*'
TIME = re.compile(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$')
NOT_INSTALLED = ('the tools are missing or of another version than the package: nothing was '
                 'read; a run without --check installs them first')
REFUSED_ENV = "okt_board_env is 'LD_PRELOAD=/x.so': it must be a list of NAME=VALUE settings"
UNREACHABLE = 'board09'


def _eeprom(description, revision, serial, boot_count=3):
    """A 256-byte ID EEPROM: a programmed record, then erased bytes."""
    text = b''.join(t.encode('ascii').ljust(16, b'\0') for t in (description, revision, serial))
    return (boot_count.to_bytes(4, 'little') + bytes.fromhex('010725200800')
            + bytes.fromhex('000000000000') + text + bytes(64) + b'\xff' * 128)


BLANK = b'\xff' * 256
EMPTY = bytes(256)
X1 = _eeprom('WLD OKT-MOD-X1', 'A', 'X1-2025-00017')
X2 = _eeprom('WLD OKT-MOD-X2', 'B', 'X2-2025-00003', boot_count=0x01020304)

# board number: extension module 0 and 1 (None: no file, the module is absent), more emulation
# settings, the tools before the run ('none', 'current' or 'stale'), whether it works in its
# login's home, and the modules' statuses (cpu, bb, ext0, ext1) as okt-idrec reports them.
ROWS = {
    1: (X1, X2, [], 'none', False, ['programmed'] * 4),
    2: (BLANK, EMPTY, [], 'current', False, ['programmed', 'programmed', 'blank', 'empty']),
    3: (None, None, [], 'none', True, ['programmed', 'programmed', 'absent', 'absent']),
    4: (X1, BLANK, ['I2CSIM_FAULTS=read-fail:0:53:40'], 'current', False,
        ['programmed', 'programmed', 'programmed', 'incomplete']),
    5: (BLANK, None, ['I2CSIM_MISSING_BUSES=1'], 'stale', False,
        ['programmed', 'no_bus', 'blank', 'absent']),
    6: (EMPTY, None, [], 'none', False, ['programmed', 'programmed', 'empty', 'absent']),
}
REFUSED = 7  # a board like the others, whose okt_board_env is no list


def _setup(ctx):
    """The fleet of ROWS, the refused board and the unreachable host; returns the inventory's
    host variables."""
    ctx.start_fleet(count=REFUSED)
    ctx.unreachable = [UNREACHABLE]
    package = ctx.package()
    hosts = {}
    for number, (ext0, ext1, env, tools, home, _) in ROWS.items():
        board = ctx.boards[number - 1]
        for name, eeprom in (('i2c-0-52', ext0), ('i2c-0-53', ext1)):
            if eeprom is not None:
                with open(os.path.join(board.eeproms, name), 'wb') as f:
                    f.write(eeprom)
        if tools != 'none':
            os.makedirs(board.prefix)
            subprocess.run(['tar', '-xzf', package, '--strip-components=1', '-C', board.prefix],
                           check=True)
        if tools == 'stale':
            with open(os.path.join(board.prefix, 'bin', 'avr-fwinfo'), 'w') as f:
                f.write('#!/bin/sh\necho "avr-fwinfo (okt32-service-tools) 0.9.0"\n')
        own = {'okt_board_env': board.inventory_vars(ctx.build)['okt_board_env'] + env}
        if home:
            own['okt_board_work_base'] = None
        hosts[board.name] = own
    hosts[ctx.boards[REFUSED - 1].name] = {'okt_board_env': 'LD_PRELOAD=/x.so'}
    return hosts


def _native_read(ctx, board, env):
    """okt-idrec read all --json of this build on the board's EEPROM files: the document, the
    exit status and its lines on standard error without the program's name."""
    run = subprocess.run([ctx.program('okt-idrec'), 'read', 'all', '--json'],
                         env={**os.environ, 'LD_PRELOAD': f'{ctx.build}/lib/libi2cdev-sim.so',
                              'I2CSIM_DIR': board.eeproms,
                              **dict(e.split('=', 1) for e in env)},
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True, check=False)
    errors = [line[len('okt-idrec: '):] for line in run.stderr.splitlines()]
    return json.loads(run.stdout), run.returncode, errors


def _expected(ctx, check_mode):
    """Board name -> its whole report line but the time."""
    expected = {}
    for number, (_, _, env, tools, _, statuses) in ROWS.items():
        board = ctx.boards[number - 1]
        document, status, errors = _native_read(ctx, board, env)
        got = [m['status'] for m in document['modules']]
        ctx.failures.equal(got, statuses, f'{board.name}: the native okt-idrec reads')
        line = {'host': board.name, 'status': 'read', 'exit_status': status,
                'messages': errors, 'note': None, 'tools_installed': tools != 'current',
                'tool_version': document['tool_version'], 'check_mode': check_mode,
                'modules': document['modules']}
        if check_mode:
            line['tools_installed'] = False
            if tools != 'current':
                line.update(status='checked', exit_status=None, messages=[NOT_INSTALLED],
                            tool_version=None, modules=None)
        expected[board.name] = line
    failed = {'status': 'failed', 'exit_status': None, 'note': SETTINGS_STEP,
              'tools_installed': False, 'tool_version': None, 'check_mode': check_mode,
              'modules': None}
    refused = ctx.boards[REFUSED - 1].name
    expected[refused] = {'host': refused, 'messages': [REFUSED_ENV], **failed}
    expected[UNREACHABLE] = {'host': UNREACHABLE, 'messages': None, **failed}
    return expected


def _check_lines(ctx, run, expected):
    f = ctx.failures
    f.equal([line.get('host') for line in run.lines], list(expected), 'report lines, in order')
    for host, want in expected.items():
        line = dict(run.by_host.get(host, {}))
        f.expect(TIME.match(str(line.pop('time', ''))), f'{host} time')
        if want['messages'] is None:  # what ssh says about a port nobody listens on
            messages = line.get('messages') or ['']
            f.expect(len(messages) == 1
                     and messages[0].startswith('the board cannot be reached over ssh: '),
                     f'{host} messages: {messages!r}')
            line['messages'] = None
        for key in sorted(set(want) | set(line)):
            f.equal(line.get(key), want.get(key), f'{host} {key}')


def _snapshot(ctx):
    """Every file and folder a run could write on the boards: each board's prefix, work folder
    base and EEPROM files, the logins' home, work folders in /tmp; with their bytes."""
    found = {}
    tops = [ctx.home] + [os.path.join(b.folder, d) for b in ctx.boards
                         for d in ('opt', 'work', 'i2c')]
    for top in tops:
        for base, dirs, files in os.walk(top):
            for name in dirs:
                found[os.path.join(base, name)] = 'folder'
            for name in files:
                path = os.path.join(base, name)
                with open(path, 'rb') as f:
                    found[path] = hashlib.sha256(f.read()).hexdigest()
    for path in glob.glob(os.path.join('/tmp', WORK_FOLDER_PATTERN)):
        found[path] = 'work folder'
    return found


def case_inventory(ctx):
    """Every board is read, the tools installed where missing or of another version; each gets
    its exact line, also the unreachable board and the one whose settings are refused (named
    before any board is reached, then never reached); the EEPROMs are unchanged and no work
    folder is left."""
    hosts = _setup(ctx)
    before = _snapshot(ctx)
    run = ctx.run_playbook(None, hosts=hosts, playbook=PLAYBOOK)
    ctx.stop_fleet()
    ctx.failures.equal(run.status, 2, 'ansible-playbook exit status (boards failed)')
    _check_lines(ctx, run, _expected(ctx, False))
    ctx.check_named_first(run, f'{ctx.boards[REFUSED - 1].name}: {REFUSED_ENV}')
    after = _snapshot(ctx)
    for path, kind in before.items():
        if '/i2c/' in path:
            ctx.failures.equal(after.get(path), kind, f'{path} after the run')
    for board in ctx.boards:
        ctx.failures.equal(os.listdir(board.work), [], f'{board.name} work folder base')
    for base in (ctx.home, '/tmp'):
        ctx.failures.equal(glob.glob(os.path.join(base, WORK_FOLDER_PATTERN)), [],
                           f'work folders left in {base}')
    refused = ctx.boards[REFUSED - 1]
    ctx.failures.equal(refused.touched_files(), [], f'{refused.name} files')
    for number, row in ROWS.items():
        fwinfo = os.path.join(ctx.boards[number - 1].prefix, 'bin', 'avr-fwinfo')
        version = subprocess.run([fwinfo, '--version'], stdout=subprocess.PIPE,
                                 text=True).stdout.strip()
        ctx.failures.expect(not version.endswith(' 0.9.0'),
                            f'board{number:02d}: installed tools say {version!r}')
    return run.output


def case_inventory_check(ctx):
    """Check mode writes nothing on any board: no work folder, no copy, no install; the boards
    whose tools are current are read all the same, the others say the tools would be installed
    first."""
    hosts = _setup(ctx)
    before = _snapshot(ctx)
    logins = ctx.sshd.logins()
    run = ctx.run_playbook(None, hosts=hosts, playbook=PLAYBOOK, check_mode=True)
    ctx.stop_fleet()
    ctx.failures.equal(run.status, 2, 'ansible-playbook exit status (boards failed)')
    _check_lines(ctx, run, _expected(ctx, True))
    ctx.failures.equal(_snapshot(ctx), before, 'what is on the boards after --check')
    ctx.failures.expect(ctx.sshd.logins() > logins, 'no board was reached at all')
    return run.output
