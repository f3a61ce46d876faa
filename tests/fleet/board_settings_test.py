#!/usr/bin/env python3
"""Which board settings the rollout refuses before it reaches a board, and with what line
(the okt_board_settings_problem filter), and how it splits scp options into words
(okt_shell_words): each value that would reach a shell unquoted, or a folder another user
could swap, is refused with the variable's name and value. And which values the controller
check takes for every board of a play (okt_play_settings_problems): the board's own, else the
defaults, only those its playbook uses."""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from filter_plugins_under_test import finish, load, source_dir  # noqa: E402

board_settings = load(source_dir(), 'board_settings')
shell_words = load(source_dir(), 'shell_words')

RULE = 'it must be an absolute path of letters, digits and ._/- without . or .. components'
GOOD = {
    'okt_avr_port': '/dev/ttyS1', 'okt_avr_baud': 115200, 'okt_prefix': '/opt/okt32',
    'okt_board_work_base': '', 'okt_board_env': ['LD_LIBRARY_PATH=/opt/okt32/lib'],
    'okt_update_timeout': 300, 'okt_scp_options': '-O',
    'ansible_ssh_common_args': "-o 'ProxyJump=jump host'", 'ansible_scp_extra_args': '',
    'ansible_host': '10.20.3.11', 'ansible_user': 'service', 'ansible_port': None,
}

# name, changes to GOOD (None: the inventory does not set it), the line the filter gives
SETTINGS = [
    ('all fit', {}, ''),
    ('a base of its own, an IPv6 host, a port, a value with blanks and quotes',
     {'okt_board_work_base': '/srv/okt-work', 'ansible_host': 'fe80::1%eth0', 'ansible_port': 22,
      'okt_board_env': ['A_1=x y \'z\' $(not run)', 'EMPTY='],
      'ansible_scp_extra_args': '-oSetEnv=X=$(touch${IFS}/tmp/m);`id`'}, ''),
    ('the former work folder',
     {'okt_board_dir': '/home/x/work;touch${IFS}/tmp/marker;#'},
     "okt_board_dir is no longer read ('/home/x/work;touch${IFS}/tmp/marker;#'): set "
     'okt_board_work_base, the folder in which each rollout makes its own private work folder'),
    ('the former command prefix', {'okt_board_command_prefix': 'LD_PRELOAD=/x.so'},
     "okt_board_command_prefix is no longer read ('LD_PRELOAD=/x.so'): set okt_board_env, a "
     'list of NAME=VALUE environment settings'),
    ('no AVR port', {'okt_avr_port': None}, 'okt_avr_port is not set for this board'),
    ('a relative port', {'okt_avr_port': 'ttyS1'}, f"okt_avr_port is 'ttyS1': {RULE}"),
    ('a prefix that climbs out', {'okt_prefix': '/opt/../etc'},
     f"okt_prefix is '/opt/../etc': {RULE}"),
    ('a base with ;', {'okt_board_work_base': '/w;touch${IFS}/m;#'},
     f"okt_board_work_base is '/w;touch${{IFS}}/m;#': {RULE}"),
    ('a base with a command substitution', {'okt_board_work_base': '$(touch /m)'},
     f"okt_board_work_base is '$(touch /m)': {RULE}"),
    ('a base with backticks', {'okt_board_work_base': '/w/`touch /m`'},
     f"okt_board_work_base is '/w/`touch /m`': {RULE}"),
    ('a base with a blank', {'okt_board_work_base': '/my work'},
     f"okt_board_work_base is '/my work': {RULE}"),
    ('a base with a trailing /', {'okt_board_work_base': '/work/'},
     f"okt_board_work_base is '/work/': {RULE}"),
    ('a base with a . component', {'okt_board_work_base': '/work/./x'},
     f"okt_board_work_base is '/work/./x': {RULE}"),
    ('a base with a letter beyond ASCII', {'okt_board_work_base': '/arbeit/\u00e4'},
     f"okt_board_work_base is '/arbeit/\u00e4': {RULE}"),
    ('environment as a string', {'okt_board_env': 'A=1 B=2'},
     "okt_board_env is 'A=1 B=2': it must be a list of NAME=VALUE settings"),
    ('a setting without =', {'okt_board_env': ['LD_PRELOAD']},
     "okt_board_env holds 'LD_PRELOAD': each setting must be NAME=VALUE with NAME made of "
     'letters, digits and _ (not starting with a digit)'),
    ('a name that is a command', {'okt_board_env': ['touch /m;X=1']},
     "okt_board_env holds 'touch /m;X=1': each setting must be NAME=VALUE with NAME made of "
     'letters, digits and _ (not starting with a digit)'),
    ('a name starting with a digit', {'okt_board_env': ['1X=1']},
     "okt_board_env holds '1X=1': each setting must be NAME=VALUE with NAME made of letters, "
     'digits and _ (not starting with a digit)'),
    ('a line rate that is no number', {'okt_avr_baud': '115200;id'},
     "okt_avr_baud is '115200;id': it must be a whole number from 1 to 10000000"),
    ('a time limit of 0', {'okt_update_timeout': 0},
     "okt_update_timeout is '0': it must be a whole number from 1 to 86400"),
    ('a port with a command', {'ansible_port': '22 -oProxyCommand=id'},
     "ansible_port is '22 -oProxyCommand=id': it must be a whole number from 1 to 65535"),
    ('a host that scp would take for an option', {'ansible_host': '-oProxyCommand=id'},
     "ansible_host is '-oProxyCommand=id': scp needs a host name or address"),
    ('a user with a blank', {'ansible_user': 'ser vice'},
     "ansible_user is 'ser vice': scp needs a user name of letters, digits and ._-"),
    ('scp options with an open quote', {'ansible_scp_extra_args': "-o 'Compression=yes"},
     "ansible_scp_extra_args is '-o 'Compression=yes': it cannot be split into words "
     '(No closing quotation)'),
]

# text, words
WORDS = [
    (None, []),
    ('', []),
    ('-O', ['-O']),
    ("-o 'ProxyJump=jump host'  -q", ['-o', 'ProxyJump=jump host', '-q']),
    ('$(touch /m) ; `id`', ['$(touch', '/m)', ';', '`id`']),
    (['-o', 'A B'], ['-o', 'A B']),
]


# The settings of every board of a play as the controller check sees them: each board's own
# variables (hostvars), else the roles' defaults. name, the board's own variables, the names the
# playbook uses, those it needs set, the line.
DEFAULTS = {'okt_prefix': '/opt/okt32', 'okt_board_work_base': '', 'okt_board_env': [],
            'okt_scp_options': '-O', 'okt_avr_baud': 115200, 'okt_update_timeout': 300}
INVENTORY_NAMES = ['okt_prefix', 'okt_board_work_base', 'okt_board_env', 'okt_scp_options',
                   'ansible_ssh_common_args', 'ansible_scp_extra_args', 'ansible_host',
                   'ansible_user', 'ansible_port']
ROLLOUT_NAMES = INVENTORY_NAMES + ['okt_avr_port', 'okt_avr_baud', 'okt_update_timeout']
PLAYS = [
    ('the defaults fill in', {'okt_avr_port': '/dev/ttyS1'}, ROLLOUT_NAMES, ['okt_avr_port'], ''),
    ('the rollout needs an AVR port', {}, ROLLOUT_NAMES, ['okt_avr_port'],
     'okt_avr_port is not set for this board'),
    ('the inventory does not', {}, INVENTORY_NAMES, [], ''),
    ('nor looks at one', {'okt_avr_port': 'tty;id', 'okt_avr_baud': 'x'}, INVENTORY_NAMES, [], ''),
    ("a board's own value counts, not the default", {'okt_prefix': '/opt/../etc'},
     INVENTORY_NAMES, [], f"okt_prefix is '/opt/../etc': {RULE}"),
    ('a former variable counts when it is set', {'okt_board_command_prefix': 'X=1'},
     INVENTORY_NAMES, [],
     "okt_board_command_prefix is no longer read ('X=1'): set okt_board_env, a list of "
     'NAME=VALUE environment settings'),
    ('the host is the inventory name', {'inventory_hostname': '-oProxyCommand=id'},
     INVENTORY_NAMES, [], "ansible_host is '-oProxyCommand=id': scp needs a host name or address"),
]


def main():
    failures = []
    for name, own, names, required, want in PLAYS:
        host = own.get('inventory_hostname', 'b1')
        got = board_settings.okt_play_settings_problems({host: own}, [host], DEFAULTS, names,
                                                        required)
        if got != {host: want}:
            failures.append(f'play, {name}: got {got!r}, want {want!r}')
    problems = {'b1': '', 'b2': 'okt_prefix is x', 'b3': 'ansible_host is y'}
    lines = board_settings.okt_refused_lines(problems)
    if lines != ['b2: okt_prefix is x', 'b3: ansible_host is y']:
        failures.append(f'refused lines: {lines!r}')
    for name, changes, want in SETTINGS:
        settings = dict(GOOD)
        for key, value in changes.items():
            if value is None:
                settings.pop(key, None)
            else:
                settings[key] = value
        got = board_settings.okt_board_settings_problem(settings)
        if got != want:
            failures.append(f'{name}: got {got!r}, want {want!r}')
    for text, want in WORDS:
        got = shell_words.okt_shell_words(text)
        if got != want:
            failures.append(f'words of {text!r}: got {got!r}, want {want!r}')
    return finish(failures)


if __name__ == '__main__':
    sys.exit(main())
