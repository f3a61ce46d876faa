#!/usr/bin/env python3
"""The playbooks (the rollout and the ID record inventory) pass the checks an operator's CI runs
on them, from deploy/ansible/ with its ansible.cfg: `ansible-playbook --syntax-check` (also
with --limit, which picks no controller host) and Debian's ansible-lint with the folder's own
settings (production profile, offline).

Usage: playbook_check_test.py --source SOURCE [--launcher WORDS]
Exit status: 0 passed, 1 failed, 77 skipped (run under a launcher, or a program is missing).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
LIMIT = 300  # seconds for one check

PLAYBOOKS = ('avr-rollout.yml', 'idrec-inventory.yml')
CHECKS = [
    check for playbook in PLAYBOOKS for check in (
        (f'{playbook}: syntax check',
         ['ansible-playbook', '-i', 'inventory.example.yml', playbook, '--syntax-check']),
        (f'{playbook}: syntax check with --limit',
         ['ansible-playbook', '-i', 'inventory.example.yml', playbook, '--syntax-check',
          '--limit', 'plant1-line3-cell02']))
] + [('ansible-lint', ['ansible-lint', '--nocolor'])]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--source', required=True)
    parser.add_argument('--launcher', default='')
    args = parser.parse_args()
    launcher = os.environ.get('OKT_TEST_LAUNCHER', args.launcher).strip()
    if launcher:
        print(f'playbook checks: skipped: they start no program of ours (launcher {launcher!r})')
        return SKIP
    for program in ('ansible-playbook', 'ansible-lint'):
        if not shutil.which(program):
            print(f'playbook checks: skipped: {program} is not installed '
                  '(scripts/install-deps.sh installs it)')
            return SKIP
    folder = os.path.join(os.path.abspath(args.source), 'deploy', 'ansible')
    failed = 0
    with tempfile.TemporaryDirectory(prefix='okt-playbook-check-') as temp:
        env = {name: value for name, value in os.environ.items()
               if not name.startswith('ANSIBLE_')}
        env.update(ANSIBLE_HOME=os.path.join(temp, 'ansible'), XDG_CACHE_HOME=temp,
                   ANSIBLE_NOCOLOR='1', PYTHONDONTWRITEBYTECODE='1')
        for name, cmd in CHECKS:
            run = subprocess.run(cmd, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                 timeout=LIMIT)
            if run.returncode != 0:
                failed += 1
                print(f'FAILED: {name} (exit status {run.returncode}):\n{run.stdout}')
            else:
                print(f'{name}: passed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
