#!/usr/bin/env python3
"""Times a rollout of a full firmware (all 512 flash and 16 EEPROM blocks) with the playbook in
deploy/ansible to a fleet of simulated boards over a local sshd, each AVR paced at 115200 baud
with 4.5 ms page time, and prints the rollout's wall time, its limit (the number of batches times
one board's line-rate limit, as bench_avr_update computes it), their ratio, and the controller's
CPU seconds per board (ansible-playbook and every process it waited for). The boards' tools are
installed and current, as in a fleet that had a rollout before; the machine's load average is
printed before and after.

The fleet is the one the fleet tests use (tests/fleet/). Run it as root or as a user sshd lets in.

usage: bench_fleet_rollout.py --build BUILD [--source SOURCE] [--boards N] [--batch N]
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'tests', 'fleet'))

from fleet_firmware import Ident, make_firmware, write_pack  # noqa: E402
from fleet_rollout import HARDWARE, Fleet, make_package  # noqa: E402

BAUD = 115200
PAGE_TIME_MS = 4.5  # programming time of one 256-byte block
BITS_PER_BYTE = 10  # start, 8 data, stop
BLOCK_BYTES = 256
FLASH_BLOCKS = 512
EEPROM_BLOCKS = 16
COMMAND_BYTES = 8
ANSWER_BYTES = 8
VERSION_ANSWER_BYTES = 24
UPDATED_LINE = 'AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY'


def board_limit():
    """One board's full update at line rate: every byte crosses the line once, one direction at
    a time (update mode, version, each block with its answer, the end exchange), plus each
    block's programming time; the same sum as bench_avr_update's."""
    blocks = FLASH_BLOCKS + EEPROM_BLOCKS
    wire_bytes = (2 * COMMAND_BYTES + ANSWER_BYTES + VERSION_ANSWER_BYTES
                  + blocks * (COMMAND_BYTES + BLOCK_BYTES + ANSWER_BYTES)
                  + COMMAND_BYTES + ANSWER_BYTES)
    return wire_bytes * BITS_PER_BYTE / BAUD + blocks * PAGE_TIME_MS / 1000


def load_average():
    with open('/proc/loadavg') as f:
        return ' '.join(f.read().split()[:3])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True)
    parser.add_argument('--source', default=os.path.join(HERE, '..', '..'))
    parser.add_argument('--boards', type=int, default=24)
    parser.add_argument('--batch', type=int, default=8)
    args = parser.parse_args()

    temp = tempfile.mkdtemp(prefix='okt-bench-', dir='/tmp')  # short: ssh control socket paths
    fleet = Fleet(args.build, args.source, os.path.join(temp, 'package'), temp)
    status = 1
    try:
        problem = make_package(fleet.build, fleet.package_dir)
        if problem:
            print(problem)
            return 1
        installed = make_firmware(Ident('B', (1, 0, 2), 25, 3, 1, HARDWARE),
                                  flash_blocks=range(4), eeprom_blocks=[0], seed=1)
        new = make_firmware(Ident('B', (1, 0, 4), 25, 9, 15, HARDWARE),
                            flash_blocks=list(range(FLASH_BLOCKS)),
                            eeprom_blocks=list(range(EEPROM_BLOCKS)), seed=2)
        pack = write_pack(new, os.path.join(temp, 'firmware'), 'full',
                          fleet.program('avr-fwupdate'))
        fleet.start(args.boards, installed,
                    sim_options=['--baud', str(BAUD), '--page-time', str(PAGE_TIME_MS)])
        for board in fleet.boards:
            os.makedirs(board.prefix)
            subprocess.run(['tar', '-xzf', fleet.package(), '--strip-components=1', '-C',
                            board.prefix], check=True)

        load_before = load_average()
        run = fleet.run_playbook(pack, batch_size=args.batch, max_fail=0)
        load_after = load_average()
        updated = [line for line in run.lines
                   if line.get('status') == 'updated' and line.get('last_line') == UPDATED_LINE]
        batches = math.ceil(args.boards / args.batch)
        limit = batches * board_limit()
        runs = [line['seconds'] for line in run.lines if isinstance(line.get('seconds'), float)]

        print(f'fleet rollout: {args.boards} boards in batches of {args.batch} ({batches} '
              f'batches), {FLASH_BLOCKS} + {EEPROM_BLOCKS} blocks each at {BAUD} baud, '
              f'{PAGE_TIME_MS} ms page time; tools current on every board')
        print(f'  ansible-playbook exit status {run.status}, boards updated {len(updated)} of '
              f'{args.boards}')
        print(f'  one board\'s line-rate limit   {board_limit():8.3f} s')
        if runs:
            print(f'  update runs on the boards      {min(runs):8.3f} s to {max(runs):.3f} s')
        print(f'  wall time                      {run.seconds:8.3f} s')
        print(f'  limit ({batches} x board limit)     {limit:8.3f} s')
        print(f'  wall / limit                   {run.seconds / limit:8.4f}  '
              f'({(run.seconds / limit - 1) * 100:+.1f} %)')
        print(f'  controller CPU                 {run.cpu_seconds:8.3f} s, '
              f'{run.cpu_seconds / args.boards:.3f} s a board')
        print(f'  load average before / after    {load_before} / {load_after}')
        status = 0 if run.status == 0 and len(updated) == args.boards else 1
        if status:
            print(run.output[-6000:])
    finally:
        fleet.stop()
        if status == 0:
            shutil.rmtree(temp, ignore_errors=True)
        else:
            print(f'the fleet\'s files are kept in {temp}')
    return status


if __name__ == '__main__':
    sys.exit(main())
