"""Simulated boards for the fleet tests. A board is a folder on this machine: the AVR is an
avr-bootsim of its own behind a fixed link name (the board's serial device), its I2C ID EEPROMs
are files for the i2c-dev emulation, and the tools are installed into its own prefix. Every board
is reached as its own inventory host over the test's sshd."""

import os
import re

from fleet_bootsim import output_of, start_bootsim, stop_bootsim
SANITIZER_SETTINGS = ('ASAN_OPTIONS', 'UBSAN_OPTIONS', 'LSAN_OPTIONS')


def _record(boot_count, description, revision, serial):
    """A 256-byte ID EEPROM: the 128-byte module record, then erased bytes."""
    text = b''.join(t.encode('ascii').ljust(16, b'\0') for t in (description, revision, serial))
    rec = (boot_count.to_bytes(4, 'little') + bytes.fromhex('140625200930') +
           bytes.fromhex('021225201645') + text + bytes(64))
    return rec + b'\xff' * 128


class Board:
    def __init__(self, root, index, installed):
        self.name = f'board{index:02d}'
        self.folder = os.path.join(root, self.name)
        self.serial = f'BB-2025-{index:05d}'
        self.installed = installed  # firmware the simulated AVR starts with
        self.port = os.path.join(self.folder, 'ttyAVR')
        self.prefix = os.path.join(self.folder, 'opt')
        self.work = os.path.join(self.folder, 'work')  # base of the rollout's work folders
        self.eeproms = os.path.join(self.folder, 'i2c')
        self.flash_out = os.path.join(self.folder, 'avr-flash.bin')
        self.eeprom_out = os.path.join(self.folder, 'avr-eeprom.bin')
        self.sim_out = os.path.join(self.folder, 'avr-bootsim.out')
        self.sim_log = os.path.join(self.folder, 'avr-bootsim.log')
        self.proc = None
        os.makedirs(self.eeproms)
        os.makedirs(self.work)
        with open(os.path.join(self.eeproms, 'i2c-0-50'), 'wb') as f:
            f.write(_record(42, 'WLD OKT-CPU-B1', 'R2', f'CPU-2025-{index:05d}'))
        with open(os.path.join(self.eeproms, 'i2c-1-50'), 'wb') as f:
            f.write(_record(7, 'WLD OKT-MOBO-L', 'C', self.serial))

    def start_avr(self, bootsim, faults=(), sessions=2, ident=None, options=()):
        """Starts the simulated AVR with the installed firmware's memories; `ident` overrides
        the identification it reports, `options` are more simulator options (pacing)."""
        flash_in = os.path.join(self.folder, 'installed-flash.bin')
        eeprom_in = os.path.join(self.folder, 'installed-eeprom.bin')
        with open(flash_in, 'wb') as f:
            f.write(self.installed.flash)
        with open(eeprom_in, 'wb') as f:
            f.write(self.installed.eeprom)
        args = [bootsim, '--link', self.port, '--sessions', str(sessions),
                '--flash', flash_in, '--eeprom', eeprom_in,
                '--ident', (ident or self.installed.ident).sim_option(),
                '--quiet-timeout', '0', '--save-flash', self.flash_out,
                '--save-eeprom', self.eeprom_out, '--log', self.sim_log]
        for rule in faults:
            args += ['--fault', rule]
        args += list(options)
        self.proc = start_bootsim(args, self.port, self.sim_out, who=f'{self.name}: ')

    def stop_avr(self):
        """Ends the simulator (it saves its memories on the way out). Safe to call twice."""
        stop_bootsim(self.proc)
        self.proc = None

    def sim_text(self):
        return output_of(self.sim_out)

    def commands_received(self):
        """Commands the simulated AVR received over all its sessions."""
        return sum(int(n) for n in re.findall(r'^exchanges (\d+):', self.sim_text(), re.M))

    def memories(self):
        with open(self.flash_out, 'rb') as f:
            flash = f.read()
        with open(self.eeprom_out, 'rb') as f:
            eeprom = f.read()
        return flash, eeprom

    def touched_files(self):
        """What a rollout left in the board's own folders (prefix and work folder base): files,
        and folders with a trailing /."""
        found = []
        for top in (self.prefix, self.work):
            for base, dirs, files in os.walk(top):
                found += [os.path.relpath(os.path.join(base, f), self.folder) for f in files]
                found += [os.path.relpath(os.path.join(base, d), self.folder) + '/' for d in dirs]
        return sorted(found)

    def inventory_vars(self, build):
        # sshd starts sessions with a clean environment: sanitizer settings of the test's run
        # reach the board's programs through the environment list, as the i2c-dev emulation does.
        passed = [f'{name}={os.environ[name]}' for name in SANITIZER_SETTINGS
                  if name in os.environ]
        return {
            'okt_avr_port': self.port,
            'okt_prefix': self.prefix,
            'okt_board_work_base': self.work,
            'okt_board_env': [f'LD_PRELOAD={build}/lib/libi2cdev-sim.so',
                              f'I2CSIM_DIR={self.eeproms}'] + passed,
        }
