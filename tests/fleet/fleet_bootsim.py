"""avr-bootsim as a process of its own behind a link name, as the fleet scripts run it: started
once its link exists, ended with SIGTERM so that it saves its memories."""

import os
import signal
import subprocess
import time

LINK_LIMIT = 10.0  # seconds for a simulator to make its link
STOP_LIMIT = 10.0  # seconds for a simulator to save its memories and end after SIGTERM


def output_of(path):
    """The text of a simulator's output file; empty when there is none."""
    try:
        with open(path, errors='replace') as f:
            return f.read()
    except OSError:
        return ''


def start_bootsim(args, link, out_path, who=''):
    """Starts avr-bootsim with the command line `args` (which names `link`), its standard output
    and error into out_path; returns the process once the link exists. `who` starts the error
    message when it does not."""
    with open(out_path, 'w') as out:
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT)
    deadline = time.monotonic() + LINK_LIMIT
    while not os.path.islink(link):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f'{who}avr-bootsim made no link:\n{output_of(out_path)}')
        time.sleep(0.02)
    return proc


def stop_bootsim(proc):
    """Ends the simulator (it saves its memories on the way out), killed when it takes longer
    than STOP_LIMIT. Nothing to do for None."""
    if proc is None:
        return
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=STOP_LIMIT)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
