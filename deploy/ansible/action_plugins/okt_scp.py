"""okt_scp: runs scp on the controller with an argument list, no shell and no module process.

    - name: Copy the PACK file
      okt_scp:
        argv: [scp, -q, -p, --, /srv/firmware/new.pack,
               'service@10.20.3.11:/tmp/okt-avr-rollout.Xy12Ab/']

argv is the whole command line, scp first: every word reaches scp as it is. refuse, when not
empty, is a reason not to run scp at all: the task then fails with it as its msg. The result is
the command module's: rc, stdout, stderr, their _lines, cmd; it fails when scp exits with another
status than 0. The transfers of a rollout run a few hundred times, so they run straight from
ansible's worker process: a module would start a Python interpreter for each of them.
"""

import subprocess

from ansible.plugins.action import ActionBase

TIMEOUT = 600  # seconds for one transfer


class ActionModule(ActionBase):
    TRANSFERS_FILES = False
    _VALID_ARGS = frozenset(('argv', 'refuse'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        refuse = self._task.args.get('refuse')
        if refuse:
            result.update(failed=True, msg=str(refuse))
            return result
        argv = self._task.args.get('argv')
        if (not isinstance(argv, list) or not argv or str(argv[0]) != 'scp'
                or not all(isinstance(word, (str, int)) for word in argv)):
            result.update(failed=True, msg=f'okt_scp: argv must be a list of words starting with '
                                           f'scp, not {argv!r}')
            return result
        argv = [str(word) for word in argv]
        try:
            run = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True, errors='replace',
                                 timeout=TIMEOUT)
            rc, stdout, stderr = run.returncode, run.stdout, run.stderr
        except OSError as e:
            rc, stdout, stderr = 127, '', f'cannot run scp: {e}'
        except subprocess.TimeoutExpired:
            rc, stdout, stderr = 124, '', f'scp took longer than {TIMEOUT} s'
        result.update(cmd=argv, rc=rc, stdout=stdout, stderr=stderr,
                      stdout_lines=stdout.splitlines(), stderr_lines=stderr.splitlines(),
                      changed=rc == 0, failed=rc != 0)
        if rc != 0:
            result['msg'] = 'non-zero return code'
        return result
