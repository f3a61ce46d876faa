"""Fleet cases with a hostile side: another user logged into the boards, and inventory values
made to reach a shell. Each board of the fleet is one row: its setup and the outcome it must
have. Whatever the row, nothing the other side planted or wrote runs, and no file the update
must not touch changes."""

import glob
import os
import pwd
import shutil
import subprocess
import time

from fleet_checks import PATH_RULE, SETTINGS_STEP, UPDATED_LINE, Skip, refused, updated
from fleet_rollout import PLAYBOOK_LIMIT

# The work folder of former releases, the same on every board.
OLD_FIXED_DIR = '/tmp/okt-avr-rollout'
PLANT_LIMIT = 10.0  # seconds to wait for the first planting

# Runs as the other user until the stop file appears (or the playbook's time limit passed): in
# every folder given, and every folder in them it may write into, it keeps a fake watch script
# and update logs that are symbolic links to the victim file.
PLANTER = r'''
fake=$1 victim=$2 stop=$3 limit=$4
shift 4
end=$(($(date +%s) + limit))
while [ ! -e "$stop" ] && [ "$(date +%s)" -lt "$end" ]; do
    for top in "$@"; do
        for dir in "$top" "$top"/*/; do
            dir=${dir%/}
            [ -d "$dir" ] && [ -w "$dir" ] && [ -x "$dir" ] || continue
            cp "$fake" "$dir/.plant.$$" 2>/dev/null &&
                mv -f "$dir/.plant.$$" "$dir/avr-update-watch.sh" 2>/dev/null
            for log in update-1.log update-2.log; do
                [ -L "$dir/$log" ] || ln -sfn "$victim" "$dir/$log" 2>/dev/null
            done
        done
    done
    sleep 0.02
done
'''


def _as_user(account):
    def drop():
        os.setgroups([])
        os.setgid(account.pw_gid)
        os.setuid(account.pw_uid)
    return drop


def _remove(path):
    if os.path.islink(path):
        os.unlink(path)
    elif os.path.lexists(path):
        shutil.rmtree(path, ignore_errors=True)


def _run_as(account, script, *args):
    subprocess.run(['/bin/sh', '-c', script, 'sh', *args], preexec_fn=_as_user(account),
                   cwd='/', stdin=subprocess.DEVNULL, check=True)


def case_attack(ctx):
    """Another user (nobody) on every board: it made the work folder base of board01 (mode
    0777), board03's base is writable by all without the sticky bit, board04's base is its
    symbolic link to a folder of root's; board02's base is shared like /tmp (root, 1777) and
    board05 works in its login's home. While the rollout runs, the other user keeps planting a
    fake watch script (it would write a marker and report success) and update logs that are
    symbolic links to a victim file, in every base and at the former fixed work folder. The
    unsafe bases are refused before anything is copied; the others are updated from their own
    private folders; nothing planted runs and the victim stays as it was."""
    if os.geteuid() != 0:
        raise Skip('the other user is the nobody account, which only root can become')
    nobody = pwd.getpwnam('nobody')
    pack = ctx.new_pack()
    ctx.start_fleet(count=5)
    attack = os.path.join(ctx.temp, 'attack')
    os.makedirs(attack)
    for folder in (ctx.temp, os.path.dirname(ctx.boards[0].folder), attack,
                   *(b.folder for b in ctx.boards)):
        os.chmod(folder, 0o755)  # the other user may look around, as on a board
    victim = os.path.join(attack, 'victim')
    marker = os.path.join(attack, 'planted-watch-ran')
    fake = os.path.join(attack, 'fake-watch.sh')
    stop = os.path.join(attack, 'stop')
    victim_text = 'root wrote this; nobody may change it\n'
    with open(victim, 'w') as f:
        f.write(victim_text)
    with open(fake, 'w') as f:
        f.write(f"#!/bin/sh\ntouch '{marker}'\necho '{UPDATED_LINE}'\n"
                "printf '\\nOKT-AVR-UPDATE status=0 stopped=none seconds=0.01\\n'\n")

    b1, b2, b3, b4, _ = ctx.boards
    for board in (b1, b4):
        os.makedirs(os.path.join(board.folder, 'share'))
        os.chmod(os.path.join(board.folder, 'share'), 0o1777)
    base1 = os.path.join(b1.folder, 'share', 'base')
    base2 = os.path.join(b2.folder, 'shared')
    base3 = os.path.join(b3.folder, 'open')
    base4 = os.path.join(b4.folder, 'share', 'link')
    os.makedirs(os.path.join(b4.folder, 'root-only'))
    os.makedirs(base2)
    os.chmod(base2, 0o1777)
    os.makedirs(base3)
    os.chmod(base3, 0o777)
    _remove(OLD_FIXED_DIR)
    ctx.cleanups.append(lambda: _remove(OLD_FIXED_DIR))
    _run_as(nobody, 'mkdir "$1" "$2" && chmod 0777 "$1" "$2" && ln -s "$3" "$4"',
            base1, OLD_FIXED_DIR, os.path.join(b4.folder, 'root-only'), base4)

    planter = subprocess.Popen(
        ['/bin/sh', '-c', PLANTER, 'planter', fake, victim, stop, str(int(PLAYBOOK_LIMIT)),
         base1, base2, base3, base4, OLD_FIXED_DIR],
        preexec_fn=_as_user(nobody), cwd='/', stdin=subprocess.DEVNULL)

    def stop_planter():
        with open(stop, 'w'):
            pass
        try:
            planter.wait(timeout=5)
        except subprocess.TimeoutExpired:
            planter.kill()
            planter.wait()
    ctx.cleanups.append(stop_planter)
    deadline = time.monotonic() + PLANT_LIMIT
    planted = [os.path.join(d, 'update-1.log') for d in (base1, base2, base3, OLD_FIXED_DIR)]
    while not all(os.path.islink(p) for p in planted) and time.monotonic() < deadline:
        time.sleep(0.05)
    ctx.failures.expect(all(os.path.islink(p) for p in planted),
                        'the other user did not manage to plant its files')

    bases = {b1.name: base1, b2.name: base2, b3.name: base3, b4.name: base4}
    run = ctx.run_playbook(pack, batch_size=5, max_fail=100,
                           hosts={name: {'okt_board_work_base': base}
                                  for name, base in bases.items()}
                           | {'board05': {'okt_board_work_base': None}})
    stop_planter()
    ctx.stop_fleet()
    expected = {
        'board01': refused(f'the work folder base {base1} belongs to user id {nobody.pw_uid}, '
                           'not to the login user or root'),
        'board02': updated(),
        'board03': refused(f'the work folder base {base3} can be written by other users and '
                           'has no sticky bit'),
        'board04': refused(f'the work folder base {base4} is a symbolic link or no folder'),
        'board05': updated(),
    }
    ctx.check_report(run, expected)
    for board in ctx.boards:
        if expected[board.name]['status'] == 'updated':
            ctx.check_updated(board)
            ctx.check_logs(run, board.name, [UPDATED_LINE])
        else:
            ctx.check_untouched(board)
    ctx.check_no_work_folder(base2, ctx.home)
    ctx.failures.expect(not os.path.exists(marker), 'a planted watch script ran')
    with open(victim) as f:
        ctx.failures.equal(f.read(), victim_text, 'the victim file')
    return run.output


def case_injection(ctx):
    """Board and scp variables with command substitutions, backticks and `;`: a base folder
    (three ways), the former okt_board_dir as an old inventory sets it, and scp options once as
    one word (scp gets it as an argument: the board is updated) and once split into words (scp
    takes them for files and fails: the board fails at the copy). No value reaches a shell:
    no marker appears on the board or the controller."""
    pack = ctx.new_pack()
    ctx.start_fleet()
    markers = os.path.join(ctx.temp, 'markers')
    os.makedirs(markers)
    m = [os.path.join(markers, f'marker{n}') for n in range(8)]
    work = ctx.boards[0].work
    rows = {
        'board01': ('okt_board_work_base', f'{work};touch${{IFS}}{m[0]};#'),
        'board02': ('okt_board_work_base', f'$(touch {m[1]})'),
        'board03': ('okt_board_work_base', f'{work}/`touch {m[2]}`'),
        'board04': ('okt_board_dir', f'{work};touch${{IFS}}{m[3]};#'),
        'board05': ('ansible_scp_extra_args',
                    f'-oSetEnv=OKT_X=$(touch${{IFS}}{m[4]});`touch${{IFS}}{m[5]}`'),
        'board06': ('ansible_scp_extra_args', f'$(touch {m[6]}) ; `touch {m[7]}`'),
    }
    run = ctx.run_playbook(pack, batch_size=6, max_fail=100,
                           hosts={host: {name: value} for host, (name, value) in rows.items()})
    ctx.stop_fleet()
    expected = {
        host: refused(f"okt_board_work_base is '{value}': {PATH_RULE}", SETTINGS_STEP)
        for host, (_, value) in rows.items() if host in ('board01', 'board02', 'board03')}
    expected['board04'] = refused(
        f"okt_board_dir is no longer read ('{rows['board04'][1]}'): set okt_board_work_base, the "
        'folder in which each rollout makes its own private work folder', SETTINGS_STEP)
    expected['board05'] = updated()
    # scp's own message about the words it took for files
    expected['board06'] = refused(run.by_host.get('board06', {}).get('last_line'), SETTINGS_STEP)
    ctx.check_report(run, expected)
    ctx.failures.expect(str(expected['board06']['last_line']).endswith(
        'No such file or directory'), f"board06 last line: {expected['board06']['last_line']!r}")
    for board in ctx.boards:
        if board.name == 'board05':
            ctx.check_updated(board)
        else:
            ctx.check_untouched(board)
    ctx.failures.equal(sorted(glob.glob(os.path.join(markers, '*'))), [], 'marker files')
    return run.output
