"""A fleet of simulated boards behind a real sshd, and the rollout playbook run against it as an
operator runs it: from deploy/ansible/ with its ansible.cfg, an inventory of one host a board, the
batch size and failure limit on the command line. The fleet tests and the fleet benchmark share
it."""

import glob
import json
import os
import resource
import subprocess
import time
from dataclasses import dataclass, field

from fleet_boards import Board
from fleet_sshd import Sshd, free_port

HARDWARE = 'OKT32-BB'
PACKAGE_PATTERN = 'okt32-service-tools_*_*.tar.gz'
PLAYBOOK_LIMIT = 240  # seconds for one ansible-playbook run


def make_package(build, package_dir):
    """Makes the tools package from the build with CPack, as the boards get it; returns ''
    or what went wrong."""
    config = os.path.join(build, 'CPackConfig.cmake')
    if not os.path.exists(config):
        return f'{config} is missing: the build makes no tools package'
    os.makedirs(package_dir, exist_ok=True)
    for old in glob.glob(os.path.join(package_dir, PACKAGE_PATTERN)):
        os.remove(old)
    # The package's own generator, as the board's package is made (the .deb comes along).
    run = subprocess.run(['cpack', '--config', config, '-B', package_dir],
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, timeout=300)
    return '' if run.returncode == 0 else f'cpack failed:\n{run.stdout}'


def find_package(package_dir):
    found = sorted(glob.glob(os.path.join(package_dir, PACKAGE_PATTERN)))
    if len(found) != 1:
        raise RuntimeError(f'expected one {PACKAGE_PATTERN} in {package_dir} (made by the '
                           f'fleet_package test), found {found}')
    return found[0]


@dataclass
class Run:
    """One ansible-playbook run: exit status, output, report lines, wall seconds, and the CPU
    seconds of ansible-playbook and every process it waited for."""
    status: int
    output: str
    lines: list
    seconds: float
    cpu_seconds: float
    report: str
    by_host: dict = field(default_factory=dict)

    def __post_init__(self):
        self.by_host = {line.get('host'): line for line in self.lines}


class Fleet:
    def __init__(self, build, source, package_dir, temp):
        self.build = os.path.abspath(build)
        self.source = os.path.abspath(source)
        self.package_dir = os.path.abspath(package_dir)
        self.temp = temp
        self.bin = os.path.join(self.build, 'bin')
        self.playbook_dir = os.path.join(self.source, 'deploy', 'ansible')
        self.home = os.path.join(temp, 'home')  # the login user's home on every board
        self.sshd = None
        self.boards = []
        self.unreachable = []  # inventory hosts without a board behind them
        self.runs = 0

    def program(self, name):
        return os.path.join(self.bin, name)

    def package(self):
        return find_package(self.package_dir)

    def start(self, count, installed, faults=None, idents=None, sim_options=()):
        """sshd and `count` boards whose AVRs hold `installed`; faults and idents map a board
        number to its simulator's fault rules and reported identification."""
        faults = faults or {}
        idents = idents or {}
        os.makedirs(self.home, mode=0o755)
        self.sshd = Sshd(os.path.join(self.temp, 'ssh'), self.home)
        os.makedirs(self.sshd.folder)
        self.sshd.start()
        root = os.path.join(self.temp, 'boards')
        for i in range(1, count + 1):
            board = Board(root, i, installed)
            self.boards.append(board)
            board.start_avr(self.program('avr-bootsim'), faults.get(i, ()), ident=idents.get(i),
                            options=sim_options)

    def stop(self):
        for board in self.boards:
            board.stop_avr()
        if self.sshd:
            self.sshd.stop()

    def board(self, name):
        return next(b for b in self.boards if b.name == name)

    def inventory(self, pack, report, hosts=None, rollout_vars=None):
        """hosts: board name -> variables that replace the board's own (None: unset it)."""
        inventory_hosts = {}
        for board in self.boards:
            host = board.inventory_vars(self.build)
            for name, value in (hosts or {}).get(board.name, {}).items():
                if value is None:
                    host.pop(name, None)
                else:
                    host[name] = value
            inventory_hosts[board.name] = host
        for name in self.unreachable:
            # a loopback port nobody listens on
            inventory_hosts[name] = {'ansible_port': free_port(), 'okt_avr_port': '/dev/null',
                                     **(hosts or {}).get(name, {})}
        return {
            'all': {
                'vars': {
                    'okt_pack': pack,
                    'okt_expected_hwid': HARDWARE,
                    'okt_package': self.package(),
                    'okt_fwinfo': self.program('avr-fwinfo'),
                    'okt_report': report,
                    'okt_inventory_report': report,
                    **(rollout_vars or {}),
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
                        'hosts': inventory_hosts,
                    },
                },
            },
        }

    def run_playbook(self, pack, batch_size=None, max_fail=None, check_mode=False, limit=None,
                     hosts=None, rollout_vars=None, playbook='avr-rollout.yml'):
        """Runs a playbook (the rollout; idrec-inventory.yml ignores `pack`) once from
        deploy/ansible/ with its ansible.cfg. The environment only moves ansible's own files and
        ssh's control sockets into the test's folder. One report file serves either playbook."""
        self.runs += 1
        run_dir = os.path.join(self.temp, f'run{self.runs}')
        os.makedirs(run_dir)
        report = os.path.join(run_dir, 'report.jsonl')
        inventory = os.path.join(run_dir, 'inventory.yml')
        with open(inventory, 'w') as f:
            json.dump(self.inventory(pack, report, hosts, rollout_vars), f, indent=1)
        env = {name: value for name, value in os.environ.items()
               if not name.startswith('ANSIBLE_')}
        env.update(ANSIBLE_HOME=os.path.join(run_dir, 'home'),
                   ANSIBLE_SSH_CONTROL_PATH_DIR=self.sshd.control_dir, ANSIBLE_NOCOLOR='1',
                   PYTHONDONTWRITEBYTECODE='1')
        cmd = ['ansible-playbook', '-i', inventory, playbook]
        if batch_size is not None:
            cmd += ['-e', f'okt_batch_size={batch_size}']
        if max_fail is not None:
            cmd += ['-e', f'okt_max_fail_percentage={max_fail}']
        if check_mode:
            cmd.append('--check')
        if limit:
            cmd += ['--limit', limit]
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        started = time.monotonic()
        run = subprocess.run(cmd, cwd=self.playbook_dir, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                             timeout=PLAYBOOK_LIMIT)
        seconds = time.monotonic() - started
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        with open(os.path.join(run_dir, 'ansible.out'), 'w') as f:
            f.write(run.stdout)
        lines = []
        if os.path.exists(report):
            with open(report) as f:
                lines = [json.loads(line) for line in f if line.strip()]
        return Run(run.returncode, run.stdout, lines, seconds, cpu, report)
