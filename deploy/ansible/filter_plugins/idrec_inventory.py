"""A board's line of the ID record inventory (idrec-inventory.yml), from what its tasks
registered: the four modules as `okt-idrec read all --json` reported them, or why the board
could not be read."""

import json
from collections.abc import Mapping

# The read step, as roles/idrec_inventory/tasks/main.yml names it.
READ_STEP = 'Check the copied tools package, install the tools where needed, read the modules'
STATUS_PREFIX = 'OKT-IDREC-STATUS='
JSON_PREFIX = 'OKT-IDREC-JSON='
INSTALLED_LINE = 'OKT-TOOLS-INSTALLED'
# What okt-idrec prints and how it ends, as okt-idrec/ has it (idrec_message.cpp, idrec_entry.cpp,
# idrec_module.cpp, the members in idrec_json.cpp): change both together.
IDREC_PREFIX = 'okt-idrec: '
# okt-idrec's exit statuses that come with the complete line: 0 every module read completely,
# 4 a module absent, incomplete or on a bus that cannot be opened.
READ_STATUSES = (0, 4)
MODULES = ('cpu', 'bb', 'ext0', 'ext1')
NOT_INSTALLED = ('the tools are missing or of another version than the package: nothing was '
                 'read; a run without --check installs them first')


def _registered(host_vars, name):
    """What a task registered, None when it did not run (never reached, or skipped)."""
    value = host_vars[name] if name in host_vars else None
    return value if isinstance(value, Mapping) and not value.get('skipped') else None


def _lines(result):
    """The lines the board printed (ssh's terminal merges standard error into them)."""
    return [line.strip() for line in (result.get('stdout_lines', [])
                                      + result.get('stderr_lines', []))]


def _document(lines):
    """okt-idrec's JSON line as a dict, when it is one with the four modules; else None."""
    text = next((line[len(JSON_PREFIX):] for line in lines if line.startswith(JSON_PREFIX)), '')
    try:
        document = json.loads(text)
    except ValueError:
        return None
    if not isinstance(document, dict) or not isinstance(document.get('modules'), list):
        return None
    if [m.get('module') if isinstance(m, dict) else None
            for m in document['modules']] != list(MODULES):
        return None
    return document


def _exit_status(lines):
    for line in lines:
        if line.startswith(STATUS_PREFIX) and line[len(STATUS_PREFIX):].isdigit():
            return int(line[len(STATUS_PREFIX):])
    return None


def okt_inventory_record(host_vars, check_mode, time):
    """A board's report line (a dict): host; status 'read' (okt-idrec gave its complete line),
    'failed' or 'checked' (check mode on a board whose tools are not current: nothing read);
    okt-idrec's exit status; messages (what okt-idrec printed on standard error, or why the board
    was not read); the step that failed; whether this run installed the tools; okt-idrec's
    version; check mode; the time; the modules as okt-idrec reported them."""
    failure = host_vars['okt_step_failure'] if 'okt_step_failure' in host_vars else None
    read = _registered(host_vars, 'okt_read')
    if not failure and read is not None and read.get('unreachable'):
        failure = {'step': READ_STEP,
                   'message': 'the board cannot be reached over ssh: ' + str(read.get('msg', ''))}
    lines = _lines(read) if read is not None and not read.get('unreachable') else []
    exit_status = _exit_status(lines)
    document = _document(lines)
    idrec_lines = [line[len(IDREC_PREFIX):] for line in lines if line.startswith(IDREC_PREFIX)]
    if failure:
        status, messages = 'failed', [failure['message']]
    elif read is None:
        status = 'checked' if check_mode else 'failed'
        messages = [NOT_INSTALLED if check_mode else 'the modules were not read']
    elif exit_status in READ_STATUSES and document is not None:
        status, messages = 'read', idrec_lines
    else:
        status = 'failed'
        messages = idrec_lines or [f'okt-idrec read all --json gave no complete line (exit '
                                   f'status {exit_status})']
    return {
        'host': host_vars['inventory_hostname'],
        'status': status,
        'exit_status': exit_status,
        'messages': messages,
        'note': f"failed step: {failure['step']}" if failure else None,
        'tools_installed': INSTALLED_LINE in lines,
        'tool_version': document.get('tool_version') if document and status == 'read' else None,
        'check_mode': bool(check_mode),
        'time': time,
        'modules': document['modules'] if document and status == 'read' else None,
    }


class FilterModule(object):
    def filters(self):
        return {'okt_inventory_record': okt_inventory_record}
