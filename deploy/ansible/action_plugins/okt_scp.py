"""okt_scp: runs scp on the controller with an argument list, no shell and no module process, and
then, if asked, one command on the board.

    - name: Copy the PACK file
      okt_scp:
        argv: [scp, -q, -p, --, /srv/firmware/new.pack,
               'service@10.20.3.11:/tmp/okt-avr-rollout.Xy12Ab/']

argv is the whole command line, scp first: every word reaches scp as it is; an empty list runs
no scp. refuse, when not empty, is a reason not to run anything at all: the task then fails with
it as its msg. board_command, when given, is run on the board after the transfer, whatever its
outcome, the way the raw module runs a command (through ansible's connection, in the login
user's shell): one step where a transfer and a board command would be two.

The result is the command module's for scp: rc, stdout, stderr, their _lines, cmd (none of them
when no scp ran); board_command's rc, stdout and stderr are in `board`. The task fails when scp
exits with another status than 0. The transfers of a rollout run a few hundred times, so they
run straight from ansible's worker process: a module would start a Python interpreter for each
of them.
"""

import subprocess

from ansible.plugins.action import ActionBase

TIMEOUT = 600  # seconds for one transfer


def _scp(argv):
    """rc, stdout, stderr of scp run with argv."""
    try:
        run = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, errors='replace', timeout=TIMEOUT)
        return run.returncode, run.stdout, run.stderr
    except OSError as e:
        return 127, '', f'cannot run scp: {e}'
    except subprocess.TimeoutExpired:
        return 124, '', f'scp took longer than {TIMEOUT} s'


class ActionModule(ActionBase):
    TRANSFERS_FILES = False
    _VALID_ARGS = frozenset(('argv', 'refuse', 'board_command'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        refuse = self._task.args.get('refuse')
        if refuse:
            result.update(failed=True, msg=str(refuse))
            return result
        argv = self._task.args.get('argv')
        board_command = self._task.args.get('board_command')
        if (not isinstance(argv, list) or (argv and str(argv[0]) != 'scp')
                or (not argv and not board_command)
                or not all(isinstance(word, (str, int)) for word in argv)):
            result.update(failed=True, msg=f'okt_scp: argv must be a list of words starting with '
                                           f'scp, not {argv!r}')
            return result
        if argv:
            argv = [str(word) for word in argv]
            rc, stdout, stderr = _scp(argv)
            result.update(cmd=argv, rc=rc, stdout=stdout, stderr=stderr,
                          stdout_lines=stdout.splitlines(), stderr_lines=stderr.splitlines(),
                          changed=rc == 0, failed=rc != 0)
            if rc != 0:
                result['msg'] = 'non-zero return code'
        if board_command:
            board = self._low_level_execute_command(str(board_command), executable=False)
            result['board'] = {key: board.get(key) for key in ('rc', 'stdout', 'stderr')}
            result['changed'] = True
        return result
