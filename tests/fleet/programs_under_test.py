"""The programs a fleet table test runs as a board does: OKT_TEST_PROGRAM_DIR's (else the
build's bin folder), started under the launcher (OKT_TEST_LAUNCHER, else the build's choice),
so that valgrind or qemu see them as they see the C++ system tests' programs."""

import os
import subprocess


class Programs:
    def __init__(self, build, launcher=''):
        self.launcher = os.environ.get('OKT_TEST_LAUNCHER', launcher).split()
        self.dir = os.environ.get('OKT_TEST_PROGRAM_DIR') or os.path.join(build, 'bin')

    def command(self, name):
        """The command line that starts the program NAME, to which its arguments are added."""
        return self.launcher + [os.path.join(self.dir, name)]

    def run(self, name, args, timeout=120):
        """Runs NAME with ARGS, standard input from /dev/null; its output (standard error
        merged into it, as on a board's terminal) and exit status."""
        done = subprocess.run(self.command(name) + args, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors='replace', timeout=timeout, check=False)
        return done.stdout, done.returncode


def updater_banner(programs):
    """The updater's banner and notice as it prints them: everything before its usage line."""
    out, _ = programs.run('avr-fwupdate', [])
    return out[:out.find('usage:')]
