"""Reads what one run of avr-update-watch.sh printed on a board and decides its outcome, and sums
up a board's whole rollout for the report.

The updater tells what happened only through its exit status and its last line, so both must
agree before a board counts as updated. A run that failed after the AVR had entered update mode
(the prepare exchange answered) left the AVR in its boot loader: such a board gets one more run.
"""

import re
from collections.abc import Mapping

RESULT_LINE = re.compile(
    r'^OKT-AVR-UPDATE status=(?P<status>\d+) stopped=(?P<stopped>none|hardware|timeout)'
    r' seconds=(?P<seconds>\d+\.\d+)$')
# The updater's own lines, as avr-fwupdate/link/avr_protocol.cpp (UPDATE_COMPLETED,
# PREPARE_TITLE and PREPARE_DONE, HARDWARE_WARNING, the countdown) and avr_protocol.h
# (CURRENT_FIRMWARE_TITLE, NEW_FIRMWARE_TITLE) print them: change both together.
UPDATED_LINE = 'AVR FIRMWARE UPDATE COMPLETED SUCCESSFULLY'
PREPARED_LINE = 'Preparing AVR for firmware update... OK'
MISMATCH_LINE = 'WARNING: Firmware is for different Hardware!!'
# the ten-second countdown after the mismatch warning: "10 9 8 ..."
COUNTDOWN_LINE = re.compile(r'^[0-9]+( [0-9]+)*$')
CURRENT_PREFIX = 'Current Firmware on AVR: '
NEW_PREFIX = 'New Firmware Data      : '


def _clean_lines(text):
    """The output's lines without line ends, trailing blanks and the NUL padding a hardware id
    of fewer than 8 characters prints as; empty lines dropped."""
    lines = []
    for raw in (text or '').replace('\r', '').split('\n'):
        line = raw.replace('\0', '').rstrip()
        if line:
            lines.append(line)
    return lines


def _after(lines, prefix):
    for line in lines:
        if line.startswith(prefix):
            return line[len(prefix):]
    return None


def avr_update_result(text):
    """One run's outcome as a dict:
      status     the updater's exit status (None when the watch printed no result line)
      stopped    'none', 'hardware' (the AVR reported other hardware) or 'timeout'
      seconds    the run's duration on the board
      last_line  the updater's last line of text (never a countdown number); for a run the
                 watch ended because of other hardware, the updater's warning line
      old, new   the installed and the new firmware's identification (None when not shown)
      prepared   the AVR answered the prepare exchange
      updated    exit status 0 and the success line
      retry      the run failed after the AVR entered update mode: the AVR waits in its boot
                 loader and one more run may complete the update
      note       why the watch stopped the run, or None
    """
    lines = _clean_lines(text)
    result = None
    for line in reversed(lines):
        result = RESULT_LINE.match(line)
        if result:
            break
    updater_lines = [line for line in lines if not RESULT_LINE.match(line)]
    text_lines = [line for line in updater_lines if not COUNTDOWN_LINE.match(line)]
    last_line = text_lines[-1] if text_lines else None
    prepared = any(line.startswith(PREPARED_LINE) for line in updater_lines)

    if not result:
        return {
            'status': None, 'stopped': None, 'seconds': None, 'last_line': last_line,
            'old': _after(updater_lines, CURRENT_PREFIX), 'new': _after(updater_lines, NEW_PREFIX),
            'prepared': prepared, 'updated': False, 'retry': False,
            'note': 'the board printed no update result',
        }

    status = int(result.group('status'))
    stopped = result.group('stopped')
    if stopped == 'hardware':
        last_line = next((line for line in text_lines if line.startswith(MISMATCH_LINE)),
                         last_line)
    updated = status == 0 and stopped == 'none' and last_line == UPDATED_LINE
    note = None
    if stopped == 'hardware':
        note = 'stopped: the AVR reports other hardware than the new firmware'
    elif stopped == 'timeout':
        note = 'stopped: the update took longer than its time limit'
    return {
        'status': status,
        'stopped': stopped,
        'seconds': float(result.group('seconds')),
        'last_line': last_line,
        'old': _after(updater_lines, CURRENT_PREFIX),
        'new': _after(updater_lines, NEW_PREFIX),
        'prepared': prepared,
        'updated': updated,
        'retry': not updated and prepared and stopped != 'hardware',
        'note': note,
    }


# The board steps after the work folder, as tasks/main.yml names them, with what they register.
BOARD_STEPS = (
    ('okt_run1', 'Check the copied files, install the tools where needed, read the serial '
                 'number, update the AVR firmware (run 1)'),
    ('okt_run2', 'Update the AVR firmware (run 2)'),
)
VERIFIED_LINE = 'OKT-AVR-VERIFIED'
SERIAL_DONE_LINE = 'OKT-AVR-SERIAL-STATUS=0'
SERIAL_STATUS_PREFIX = 'OKT-AVR-SERIAL-STATUS='
# What okt-eepromtool serialbb prints when it cannot read the module table
# (okt-eepromtool/eepromtool_main.cpp, PROBE_ERROR_LINE): change both together.
PROBE_ERROR_LINE = 'probe error'


def _registered(host_vars, name):
    """What a task registered, None when it did not run (never reached, or skipped)."""
    value = host_vars[name] if name in host_vars else None
    return value if isinstance(value, Mapping) and not value.get('skipped') else None


def _first_run_output(run1, check_mode):
    """What the first update run printed: the part of the first run's command after the serial
    number's status line; None when the command did not get that far, or in check mode."""
    if run1 is None or check_mode:
        return None
    lines = run1.get('stdout_lines', [])
    for i, line in enumerate(lines):
        if line.strip().startswith(SERIAL_STATUS_PREFIX):
            return '\n'.join(lines[i + 1:])
    return None


def okt_first_run_result(run1, check_mode):
    """The first update run's outcome (avr_update_result); status None when there was none."""
    output = _first_run_output(run1 if isinstance(run1, Mapping) and not run1.get('skipped')
                               else None, check_mode)
    return avr_update_result(output) if output is not None else {'status': None, 'retry': False}


def _serial(verify):
    """The last line okt-eepromtool printed when it succeeded; None when it did not, or when it
    said "probe error" (the motherboard's EEPROM did not answer)."""
    lines = [line.strip() for line in (verify or {}).get('stdout_lines', [])]
    if VERIFIED_LINE not in lines or SERIAL_DONE_LINE not in lines:
        return None
    own = [line for line in lines[lines.index(VERIFIED_LINE) + 1:lines.index(SERIAL_DONE_LINE)]
           if line]
    return own[-1] if own and PROBE_ERROR_LINE not in own else None


def okt_board_record(host_vars, pack, check_mode, time):
    """A board's report line (a dict) from its variables: what its tasks registered, the step
    that failed (okt_step_failure: step, message), and `pack`, what the controller check found.
    A step that found the board gone fails it like a failed step."""
    outputs = [_first_run_output(_registered(host_vars, 'okt_run1'), check_mode)]
    run2 = _registered(host_vars, 'okt_run2')
    if run2 is not None:
        outputs.append(run2.get('stdout', ''))
    runs = [avr_update_result(output) for output in outputs if output is not None]
    last = runs[-1] if runs else {}
    failure = host_vars['okt_step_failure'] if 'okt_step_failure' in host_vars else None
    if not failure:
        for name, step in BOARD_STEPS:
            result = _registered(host_vars, name)
            if result is not None and result.get('unreachable'):
                failure = {'step': step, 'message': 'the board cannot be reached over ssh: '
                                                    + str(result.get('msg', ''))}
                break
    if failure:
        status = 'failed'
    elif check_mode:
        status = 'checked'
    else:
        status = 'updated' if last.get('updated') else 'failed'
    host = host_vars['inventory_hostname']
    logs = _registered(host_vars, 'okt_cleanup')
    return {
        'host': host,
        'serial': _serial(_registered(host_vars, 'okt_run1')),
        'old_firmware': runs[0]['old'] if runs else None,
        'new_firmware': last.get('new') or pack.get('new_firmware') or None,
        'status': status,
        'exit_status': last.get('status'),
        'last_line': failure['message'] if failure else last.get('last_line'),
        'attempts': len(runs),
        'seconds': round(sum(run['seconds'] for run in runs
                             if isinstance(run['seconds'], float)), 2),
        'note': f"failed step: {failure['step']}" if failure else last.get('note'),
        'log': pack['log_dirs'][host] if logs is not None and logs.get('rc') == 0 else None,
        'check_mode': bool(check_mode),
        'pack': pack['pack_name'],
        'time': time,
    }


class FilterModule(object):
    def filters(self):
        return {
            'avr_update_result': avr_update_result,
            'okt_first_run_result': okt_first_run_result,
            'okt_board_record': okt_board_record,
        }
