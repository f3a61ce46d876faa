"""Reads what one run of avr-update-watch.sh printed on a board and decides its outcome.

The updater tells what happened only through its exit status and its last line, so both must
agree before a board counts as updated. A run that failed after the AVR had entered update mode
(the prepare exchange answered) left the AVR in its boot loader: such a board gets one more run.
"""

import re

RESULT_LINE = re.compile(
    r'^OKT-AVR-UPDATE status=(?P<status>\d+) stopped=(?P<stopped>none|hardware|timeout)'
    r' seconds=(?P<seconds>\d+\.\d+)$')
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


class FilterModule(object):
    def filters(self):
        return {'avr_update_result': avr_update_result}
