"""The rollout's filter plugins as the table tests load them: straight from the source tree's
deploy/ansible/filter_plugins/, without ansible; and how such a test reports."""

import importlib.util
import os
import sys


def load(source, name):
    """The plugin module NAME (filter_plugins/NAME.py) of the source tree SOURCE."""
    path = os.path.join(source, 'deploy', 'ansible', 'filter_plugins', name + '.py')
    loader_spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return module


def finish(failures):
    """Prints each failure; the test's exit status."""
    for failure in failures:
        print(f'FAILED: {failure}')
    return 1 if failures else 0


def source_dir():
    """The source tree: the first argument, else the one this file lies in."""
    return sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..')
