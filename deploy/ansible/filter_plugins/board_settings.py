"""Checks, on the controller, every board variable that reaches a board command or the scp
command line, before the board is reached. The board commands quote each value for the board's
shell, but paths must also pass unchanged through the classic scp protocol, which hands them to
the board's shell, and through the board's own checks: so paths are held to a plain alphabet."""

import re
import shlex

SAFE_PATH = re.compile(r'(/[A-Za-z0-9._-]+)+')
ENV_NAME = re.compile(r'[A-Za-z_][A-Za-z0-9_]*')
HOST = re.compile(r'[A-Za-z0-9._:%][A-Za-z0-9._:%-]*')
USER = re.compile(r'[A-Za-z0-9._][A-Za-z0-9._-]*')
PATH_RULE = 'an absolute path of letters, digits and ._/- without . or .. components'
REPLACED = {
    'okt_board_dir': 'set okt_board_work_base, the folder in which each rollout makes its own '
                     'private work folder',
    'okt_board_command_prefix': 'set okt_board_env, a list of NAME=VALUE environment settings',
}
PATHS = ('okt_avr_port', 'okt_prefix', 'okt_board_work_base')
OPTION_STRINGS = ('okt_scp_options', 'ansible_ssh_common_args', 'ansible_scp_extra_args')
NUMBERS = (('okt_avr_baud', 1, 10000000), ('okt_update_timeout', 1, 86400))


def okt_path_problem(value, name):
    """'' when `value` is a safe absolute path, else a line naming `name` and the value."""
    text = '' if value is None else str(value)
    parts = text.split('/')
    if SAFE_PATH.fullmatch(text) and '.' not in parts and '..' not in parts:
        return ''
    return f"{name} is '{text}': it must be {PATH_RULE}"


def _env_problem(settings):
    if not isinstance(settings, (list, tuple)):
        return f"okt_board_env is '{settings}': it must be a list of NAME=VALUE settings"
    for item in settings:
        name, equals, _ = str(item).partition('=')
        if not isinstance(item, str) or not equals or not ENV_NAME.fullmatch(name):
            return (f"okt_board_env holds '{item}': each setting must be NAME=VALUE with NAME "
                    f"made of letters, digits and _ (not starting with a digit)")
    return ''


def _number_problem(settings, name, low, high):
    value = settings.get(name)
    if value is None or not re.fullmatch(r'[0-9]+', str(value)) or not low <= int(value) <= high:
        return f"{name} is '{value}': it must be a whole number from {low} to {high}"
    return ''


def okt_board_settings_problem(settings, required=('okt_avr_port',)):
    """'' when the board's settings are fit to use, else one line naming the first variable that
    is not, with its value. `settings` maps the name of each variable the playbook uses to its
    value (None: the inventory does not set it, nor has it a default); the names in `required`
    must be set. Variables of former releases are refused with their replacement, so that an
    old inventory never silently works in another folder."""
    for name, replacement in REPLACED.items():
        if name in settings:
            return f"{name} is no longer read ('{settings[name]}'): {replacement}"
    for name in required:
        if settings.get(name) is None:
            return f'{name} is not set for this board'
    for name in PATHS:
        value = settings.get(name)
        if name not in settings or (name == 'okt_board_work_base' and value in (None, '')):
            continue
        problem = okt_path_problem(value, name)
        if problem:
            return problem
    problem = _env_problem(settings.get('okt_board_env', []))
    for name, low, high in NUMBERS:
        if not problem and name in settings:
            problem = _number_problem(settings, name, low, high)
    if problem:
        return problem
    if settings.get('ansible_port') is not None:
        problem = _number_problem(settings, 'ansible_port', 1, 65535)
        if problem:
            return problem
    host = str(settings.get('ansible_host') or '')
    if not HOST.fullmatch(host):
        return f"ansible_host is '{host}': scp needs a host name or address"
    user = settings.get('ansible_user')
    if user is not None and not USER.fullmatch(str(user)):
        return f"ansible_user is '{user}': scp needs a user name of letters, digits and ._-"
    for name in OPTION_STRINGS:
        try:
            shlex.split(str(settings.get(name) or ''))
        except ValueError as e:
            return f"{name} is '{settings.get(name)}': it cannot be split into words ({e})"
    return ''


def okt_play_settings_problems(hostvars, hosts, defaults, names, required=()):
    """For each of `hosts`: '' or the line okt_board_settings_problem gives for its settings,
    the variables `names` as the board sees them: its own variables (inventory, group and extra
    variables: what ansible's hostvars holds), else `defaults` (the roles' defaults, which
    hostvars lacks), else None; ansible_host defaults to the inventory name, and the replaced
    variables count when they are set."""
    problems = {}
    for host in hosts:
        own = hostvars[host]
        settings = {name: own[name] if name in own else defaults.get(name) for name in names}
        if 'ansible_host' in settings and settings['ansible_host'] is None:
            settings['ansible_host'] = host
        settings.update({name: own[name] for name in REPLACED if name in own})
        problems[host] = okt_board_settings_problem(settings, required)
    return problems


def okt_refused_lines(problems):
    """'HOST: line' for each board whose settings were refused, in the play's order."""
    return [f'{host}: {problem}' for host, problem in problems.items() if problem]


class FilterModule(object):
    def filters(self):
        return {
            'okt_board_settings_problem': okt_board_settings_problem,
            'okt_path_problem': okt_path_problem,
            'okt_play_settings_problems': okt_play_settings_problems,
            'okt_refused_lines': okt_refused_lines,
        }
