#!/usr/bin/env python3
"""How the ID record inventory turns what a board printed into its report line
(okt_inventory_record), and how a batch's lines are cut into commands that fit one argument of
the controller's shell (okt_json_line_chunks)."""

import json
import os
import shlex
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from filter_plugins_under_test import finish, load, source_dir  # noqa: E402

inventory = load(source_dir(), 'idrec_inventory')
report_lines = load(source_dir(), 'report_lines')

MODULES = [{'module': m, 'status': s} for m, s in
           (('cpu', 'programmed'), ('bb', 'absent'), ('ext0', 'blank'), ('ext1', 'incomplete'))]
DOCUMENT = json.dumps({'schema_version': 1, 'tool_version': '1.2.0', 'modules': MODULES})
ABSENT = 'okt-idrec: bb: not read completely: absent (no answer at byte 0)'
READ_STEP = 'Check the copied tools package, install the tools where needed, read the modules'


def registered(*lines, **more):
    """A raw task's result: the lines as ssh's terminal gives them."""
    stdout = ''.join(line + '\r\n' for line in lines)
    return {'stdout': stdout, 'stdout_lines': stdout.splitlines(), 'rc': 0, **more}


# name, the board's variables, check mode, expected fields of its line
RECORDS = [
    ('every module read',
     {'okt_read': registered('OKT-IDREC-STATUS=0', 'OKT-IDREC-JSON=' + DOCUMENT)}, False,
     dict(status='read', exit_status=0, messages=[], modules=MODULES, tool_version='1.2.0',
          tools_installed=False, note=None)),
    ('a module absent, the tools installed first',
     {'okt_read': registered('OKT-TOOLS-INSTALLED', ABSENT, 'OKT-IDREC-STATUS=4',
                             'OKT-IDREC-JSON=' + DOCUMENT)}, False,
     dict(status='read', exit_status=4, tools_installed=True, modules=MODULES,
          messages=['bb: not read completely: absent (no answer at byte 0)'])),
    ('what okt-idrec said on a standard error of its own',
     {'okt_read': registered('OKT-IDREC-STATUS=4', 'OKT-IDREC-JSON=' + DOCUMENT,
                             stderr_lines=[ABSENT])}, False,
     dict(status='read', messages=['bb: not read completely: absent (no answer at byte 0)'])),
    ('exit status 4 without the line',
     {'okt_read': registered('okt-idrec: cannot open /dev/i2c-0', 'OKT-IDREC-STATUS=4',
                             'OKT-IDREC-JSON=')}, False,
     dict(status='failed', exit_status=4, modules=None, tool_version=None,
          messages=['cannot open /dev/i2c-0'])),
    ('a line without the four modules',
     {'okt_read': registered('OKT-IDREC-STATUS=0',
                             'OKT-IDREC-JSON=' + json.dumps({'modules': MODULES[:3]}))}, False,
     dict(status='failed', exit_status=0, modules=None,
          messages=['okt-idrec read all --json gave no complete line (exit status 0)'])),
    ('another exit status with a complete line',
     {'okt_read': registered('OKT-IDREC-STATUS=1', 'OKT-IDREC-JSON=' + DOCUMENT)}, False,
     dict(status='failed', exit_status=1, modules=None)),
    ('gone before the read',
     {'okt_read': {'unreachable': True, 'msg': 'Failed to connect to the host via ssh: timeout'}},
     False,
     dict(status='failed', exit_status=None, note=f'failed step: {READ_STEP}', modules=None,
          messages=['the board cannot be reached over ssh: Failed to connect to the host via '
                    'ssh: timeout'])),
    ('a failed step',
     {'okt_step_failure': {'step': 'Check the settings', 'message': 'okt_prefix is x'},
      'okt_read': {'skipped': True}}, False,
     dict(status='failed', messages=['okt_prefix is x'], note='failed step: Check the settings',
          tools_installed=False)),
    ('check mode, tools not current', {'okt_read': {'skipped': True}}, True,
     dict(status='checked', exit_status=None, modules=None, check_mode=True,
          messages=['the tools are missing or of another version than the package: nothing was '
                    'read; a run without --check installs them first'])),
    ('check mode, tools current',
     {'okt_read': registered('OKT-IDREC-STATUS=0', 'OKT-IDREC-JSON=' + DOCUMENT)}, True,
     dict(status='read', modules=MODULES, check_mode=True)),
]

# what each line costs in its command (its quoted JSON text and a blank), the limit, the costs
# in each command
CHUNKS = [
    ([], 100, []),
    ([10, 10, 10], 100, [[10, 10, 10]]),
    ([40, 60], 100, [[40, 60]]),
    ([40, 61], 100, [[40], [61]]),
    ([40, 40, 40], 100, [[40, 40], [40]]),
    ([150, 10, 10], 100, [[150], [10, 10]]),
    ([10, 150, 10], 100, [[10], [150], [10]]),
]


def main():
    failures = []
    for name, host_vars, check_mode, want in RECORDS:
        got = inventory.okt_inventory_record({'inventory_hostname': 'b1', **host_vars},
                                             check_mode, 'T')
        for key, value in {'host': 'b1', 'time': 'T', **want}.items():
            if got.get(key) != value:
                failures.append(f'{name}: {key} is {got.get(key)!r}, want {value!r}')
    for costs, limit, want in CHUNKS:
        # a string of n - 5 letters: its JSON text "..." quoted for the shell '"..."', a blank
        records = [f'{n:03d}'.ljust(n - 5, 'x') for n in costs]
        chunks = report_lines.okt_json_line_chunks(records, limit)
        got = [[len(line) + 3 for line in chunk] for chunk in chunks]
        if got != want or [json.loads(line) for c in chunks for line in c] != records:
            failures.append(f'chunks of {costs} within {limit}: got {got}, want {want}')
    long_line = [{'text': "it's"}]
    quoted = report_lines.okt_json_line_chunks(long_line)
    if shlex.split(' '.join(shlex.quote(line) for line in quoted[0])) != [json.dumps(long_line[0])]:
        failures.append(f'a quote in a line: {quoted!r}')
    return finish(failures)


if __name__ == '__main__':
    sys.exit(main())
