#!/usr/bin/env python3
"""How the rollout playbook judges one update run on a board (the avr_update_result filter):
success needs both the exit status and the success line; only a run that failed after the AVR
entered update mode is run once more. And how it sums up a board for its report line
(okt_board_record) from what the board's tasks registered: a step that failed, or that found
the board gone, fails the board with its message; check mode never counts a run."""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from filter_plugins_under_test import finish, load, source_dir  # noqa: E402
from programs_under_test import Programs, updater_banner  # noqa: E402

avr_update = load(source_dir(), 'avr_update')

# Usage: update_result_test.py SOURCE BUILD [LAUNCHER]: the banner is the built updater's, with
# the line ends a board's terminal gives it.
BANNER = (updater_banner(Programs(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else ''))
          .replace('\n', '\r\n') + 'PACK-V3 (BZ2-BIN) detected.\r\n')
PREPARED = 'Preparing AVR for firmware update... OK\r\n'
IDENTS = ('Current Firmware on AVR: B102 Built on (DD.MM.YYYY) 01.03.2025 for Hardware OKT32\0\0\0'
          '\r\nNew Firmware Data      : B104 Built on (DD.MM.YYYY) 15.09.2025 for Hardware '
          'OKT32-BB\r\n')
BLOCKS = 'DATA   ....... DONE\r\nEEPROM .. DONE\r\n'
OLD = 'B102 Built on (DD.MM.YYYY) 01.03.2025 for Hardware OKT32'
NEW = 'B104 Built on (DD.MM.YYYY) 15.09.2025 for Hardware OKT32-BB'


def result(status, stopped='none', seconds='1.25'):
    return f'\r\nOKT-AVR-UPDATE status={status} stopped={stopped} seconds={seconds}\r\n'


# name, board output, expected fields
CASES = [
    ('completed',
     BANNER + PREPARED + IDENTS + BLOCKS + '\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY\n'
     + result(0),
     dict(status=0, updated=True, retry=False, old=OLD, new=NEW, seconds=1.25,
          last_line='AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY', note=None)),
    ('success status without the success line',
     BANNER + PREPARED + IDENTS + 'DATA   ...' + result(0),
     dict(status=0, updated=False, retry=True, last_line='DATA   ...')),
    ('flash upload broke off',
     BANNER + PREPARED + IDENTS + 'DATA   ...A DONE\r\n\r\n\r\nWARNING: CODE UPDATE FAILED! '
     'ABORTING!\r\n' + result(255),
     dict(status=255, updated=False, retry=True, last_line='WARNING: CODE UPDATE FAILED! ABORTING!')),
    ('EEPROM upload broke off',
     BANNER + PREPARED + IDENTS + BLOCKS + '\n\nWARNING: EEPROM UPDATE FAILED! ABORTING!\n'
     + result(254),
     dict(status=254, updated=False, retry=True)),
    ('end exchange unanswered',
     BANNER + PREPARED + IDENTS + BLOCKS + '\n\nAVR COMM ERROR OCCURED\n' + result(3),
     dict(status=3, updated=False, retry=True, last_line='AVR COMM ERROR OCCURED')),
    ('checksum check failed',
     BANNER + PREPARED + IDENTS + BLOCKS + '\n\nAVR FIRMWARE CHECKSUM CHECK FAILED\n' + result(1),
     dict(status=1, updated=False, retry=True)),
    ('silent AVR',
     BANNER + 'Preparing AVR for firmware update... cannot prepare AVR for update!\n' + result(5),
     dict(status=5, updated=False, retry=False, old=None, new=None,
          last_line='Preparing AVR for firmware update... cannot prepare AVR for update!')),
    ('port in use',
     BANNER + "comm port '/dev/ttyS1' is in use by another process\n" + result(2),
     dict(status=2, updated=False, retry=False)),
    ('other hardware stopped by the watch',
     BANNER + PREPARED + IDENTS + '\n\nWARNING: Firmware is for different Hardware!!\n'
     'Press CTRL-C NOW to abort or wait 10 seconds to continue!\n\n10 ' + result(143, 'hardware'),
     dict(status=143, updated=False, retry=False,
          last_line='WARNING: Firmware is for different Hardware!!',
          note='stopped: the AVR reports other hardware than the new firmware')),
    ('other hardware, the countdown cut off by the time limit',
     BANNER + PREPARED + IDENTS + '\n\nWARNING: Firmware is for different Hardware!!\n'
     'Press CTRL-C NOW to abort or wait 10 seconds to continue!\n\n10 9 8 '
     + result(143, 'timeout'),
     dict(status=143, updated=False, retry=True,
          last_line='Press CTRL-C NOW to abort or wait 10 seconds to continue!')),
    ('cut off by the time limit during the transfer',
     BANNER + PREPARED + IDENTS + 'DATA   ..' + result(143, 'timeout', '300.04'),
     dict(status=143, updated=False, retry=True, seconds=300.04,
          note='stopped: the update took longer than its time limit')),
    ('cut off by the time limit before update mode',
     BANNER + 'Preparing AVR for firmware update... ' + result(143, 'timeout'),
     dict(status=143, updated=False, retry=False)),
    ('no result line from the board',
     'sh: can\'t open avr-update-watch.sh\n',
     dict(status=None, updated=False, retry=False, note='the board printed no update result',
          last_line="sh: can't open avr-update-watch.sh")),
    ('nothing at all', '', dict(status=None, updated=False, retry=False, last_line=None)),
]

# What the board prints before the first run: the files checked, the serial number read.
CHECKED = 'OKT-AVR-VERIFIED\r\nBB-2025-00001\r\nOKT-AVR-SERIAL-STATUS=0\r\n'
COMPLETED = (BANNER + PREPARED + IDENTS + BLOCKS
             + '\n\nAVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY\n' + result(0))
BROKE_OFF = (BANNER + PREPARED + IDENTS + 'DATA   ...A DONE\r\n\r\n\r\nWARNING: CODE UPDATE '
             'FAILED! ABORTING!\r\n' + result(255))
PACK = {'pack_name': 'new.pack', 'new_firmware': NEW, 'log_dirs': {'b1': '/r.logs/T/b1'}}
STEP1 = ('Check the copied files, install the tools where needed, read the serial number, update '
         'the AVR firmware (run 1)')


def registered(stdout, **more):
    return {'stdout': stdout, 'stdout_lines': stdout.splitlines(), 'rc': 0, **more}


GONE = {'unreachable': True, 'msg': 'Failed to connect to the host via ssh: timeout'}
SKIPPED = {'skipped': True}
FETCHED = {'rc': 0}

# name, the board's variables, check mode, expected fields of its report line
RECORDS = [
    ('updated in one run',
     {'okt_run1': registered(CHECKED + COMPLETED), 'okt_run2': SKIPPED, 'okt_cleanup': FETCHED},
     False,
     dict(status='updated', serial='BB-2025-00001', old_firmware=OLD, new_firmware=NEW,
          exit_status=0, attempts=1, seconds=1.25, note=None, log='/r.logs/T/b1',
          last_line='AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY')),
    ('updated in the second run',
     {'okt_run1': registered(CHECKED + BROKE_OFF), 'okt_run2': registered(COMPLETED),
      'okt_cleanup': FETCHED},
     False, dict(status='updated', old_firmware=OLD, exit_status=0, attempts=2, seconds=2.5)),
    ('both runs failed, the logs not fetched',
     {'okt_run1': registered(CHECKED + BROKE_OFF), 'okt_run2': registered(BROKE_OFF),
      'okt_cleanup': {'rc': 1}},
     False, dict(status='failed', exit_status=255, attempts=2, log=None,
                 last_line='WARNING: CODE UPDATE FAILED! ABORTING!')),
    ('the PACK file arrived damaged',
     {'okt_run1': registered('the PACK file on the board has the sha256 "ab", the controller\'s '
                             'is cd\r\n', rc=1),
      'okt_step_failure': {'step': STEP1, 'message': 'the PACK file on the board has the sha256 '
                                                     '"ab", the controller\'s is cd'}},
     False, dict(status='failed', serial=None, attempts=0, exit_status=None, new_firmware=NEW,
                 note=f'failed step: {STEP1}', log=None,
                 last_line='the PACK file on the board has the sha256 "ab", the '
                           'controller\'s is cd')),
    ('settings refused before the board was reached',
     {'okt_step_failure': {'step': 'Check the settings and the work folder',
                           'message': 'okt_avr_port is not set for this board'}},
     False, dict(status='failed', serial=None, attempts=0, old_firmware=None,
                 last_line='okt_avr_port is not set for this board',
                 note='failed step: Check the settings and the work folder')),
    ('gone during the first run',
     {'okt_run1': GONE, 'okt_run2': SKIPPED},
     False, dict(status='failed', attempts=0, note=f'failed step: {STEP1}',
                 last_line='the board cannot be reached over ssh: Failed to connect to the host '
                           'via ssh: timeout')),
    ('gone during the second run',
     {'okt_run1': registered(CHECKED + BROKE_OFF), 'okt_run2': GONE},
     False, dict(status='failed', attempts=2, old_firmware=OLD,
                 note='failed step: Update the AVR firmware (run 2)')),
    ('check mode',
     {'okt_run1': registered(CHECKED), 'okt_run2': SKIPPED},
     True, dict(status='checked', serial='BB-2025-00001', attempts=0, exit_status=None,
                last_line=None, note=None, log=None, check_mode=True, new_firmware=NEW)),
    ('the motherboard EEPROM did not answer',
     {'okt_run1': registered('OKT-AVR-VERIFIED\r\nprobe error\r\nOKT-AVR-SERIAL-STATUS=0\r\n'
                             + COMPLETED)},
     False, dict(status='updated', serial=None)),
]


def main():
    failures = []
    for name, output, want in CASES:
        got = avr_update.avr_update_result(output)
        for key, value in want.items():
            if got.get(key) != value:
                failures.append(f'{name}: {key} is {got.get(key)!r}, want {value!r}')
    for name, host_vars, check_mode, want in RECORDS:
        got = avr_update.okt_board_record({'inventory_hostname': 'b1', **host_vars}, PACK,
                                          check_mode, 'T')
        for key, value in {'host': 'b1', 'pack': 'new.pack', 'time': 'T', **want}.items():
            if got.get(key) != value:
                failures.append(f'record, {name}: {key} is {got.get(key)!r}, want {value!r}')
    return finish(failures)


if __name__ == '__main__':
    sys.exit(main())
