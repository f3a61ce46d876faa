"""A real OpenSSH server for the fleet tests: its own host and user keys and configuration in a
temporary folder, listening on a free loopback port only, and letting in only the user who runs
the test, with the generated key. Its sessions get the given HOME, so that a board's home folder
is the test's own."""

import getpass
import glob
import os
import signal
import socket
import subprocess
import time

SSHD = '/usr/sbin/sshd'  # sshd re-executes itself and so must be started by its full path
START_LIMIT = 10.0  # seconds for sshd to listen
PORT_TRIES = 5


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def _keygen(path):
    subprocess.run(['ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', 'okt-fleet-test',
                    '-f', path], check=True, stdin=subprocess.DEVNULL)


class Sshd:
    def __init__(self, folder, home):
        self.folder = folder
        self.home = home
        self.user = getpass.getuser()
        self.host_key = os.path.join(folder, 'host_key')
        self.user_key = os.path.join(folder, 'user_key')
        self.known_hosts = os.path.join(folder, 'known_hosts')
        self.control_dir = os.path.join(folder, 'cp')
        self.log = os.path.join(folder, 'sshd.log')
        self.port = None
        self.proc = None

    def start(self):
        os.makedirs(self.control_dir, mode=0o700)
        _keygen(self.host_key)
        _keygen(self.user_key)
        with open(self.user_key + '.pub') as f:
            user_pub = f.read()
        with open(os.path.join(self.folder, 'authorized_keys'), 'w') as f:
            f.write(user_pub)
        if os.geteuid() == 0:
            # sshd running as root wants its privilege separation folder (the service makes it).
            os.makedirs('/run/sshd', mode=0o755, exist_ok=True)
        for _ in range(PORT_TRIES):
            self.port = free_port()
            if self._start_on_port():
                break
        else:
            raise RuntimeError(f'sshd did not start; its log:\n{self.log_text()}')
        with open(self.host_key + '.pub') as f:
            kind, key = f.read().split()[:2]
        with open(self.known_hosts, 'w') as f:
            f.write(f'[127.0.0.1]:{self.port} {kind} {key}\n')

    def _start_on_port(self):
        config = os.path.join(self.folder, 'sshd_config')
        with open(config, 'w') as f:
            f.write(f'''ListenAddress 127.0.0.1
Port {self.port}
HostKey {self.host_key}
PidFile {os.path.join(self.folder, 'sshd.pid')}
AuthorizedKeysFile {os.path.join(self.folder, 'authorized_keys')}
AllowUsers {self.user}
AuthenticationMethods publickey
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
UseDNS no
PrintMotd no
PrintLastLog no
X11Forwarding no
MaxSessions 64
MaxStartups 64:30:128
SetEnv HOME={self.home}
LogLevel VERBOSE
''')
        log = open(self.log, 'w')
        self.proc = subprocess.Popen([SSHD, '-D', '-e', '-f', config], stdin=subprocess.DEVNULL,
                                     stdout=log, stderr=subprocess.STDOUT)
        log.close()
        deadline = time.monotonic() + START_LIMIT
        while time.monotonic() < deadline:
            if f'Server listening on 127.0.0.1 port {self.port}' in self.log_text():
                return True
            if self.proc.poll() is not None:
                self.proc = None
                return False
            time.sleep(0.05)
        self.stop()
        return False

    def log_text(self):
        try:
            with open(self.log, errors='replace') as f:
                return f.read()
        except OSError:
            return ''

    def logins(self):
        return self.log_text().count('Accepted publickey for ')

    def ssh_common_args(self):
        """Options for ssh and scp: only this server's key is trusted. Connections are shared as
        the rollout's ansible.cfg sets it up, with their control sockets in control_dir (closed
        by stop())."""
        return (f'-F /dev/null -o UserKnownHostsFile={self.known_hosts} '
                f'-o StrictHostKeyChecking=yes -o IdentitiesOnly=yes -o BatchMode=yes')

    def stop(self):
        """Closes the shared connections, then stops the server and the sessions it still serves.
        Safe to call more than once."""
        for sock in glob.glob(os.path.join(self.control_dir, '*')):
            subprocess.run(['ssh', '-F', '/dev/null', '-o', f'ControlPath={sock}', '-O', 'exit',
                            'okt-fleet'], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=10)
        if self.proc is None:
            return
        sessions = _children(self.proc.pid)
        self.proc.terminate()
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        for pid in sessions:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        self.proc = None


def _children(pid):
    """Processes whose parent is `pid` (sshd's per-connection processes)."""
    found = []
    for stat in glob.glob('/proc/[0-9]*/stat'):
        try:
            with open(stat) as f:
                fields = f.read().rsplit(')', 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            found.append(int(stat.split('/')[2]))
    return found
