"""Firmware for the fleet tests: the installed (old) memories of a simulated AVR and the new
firmware as images, as Intel HEX files and packed into a PACK file by the updater. The images are
built here, independently of the code under test."""

import os
import subprocess
from dataclasses import dataclass

BLOCK = 256
FLASH_SIZE = 0x20000
EEPROM_SIZE = 4096
IDENT_SIZE = 16
STAMP_OFFSET = 16


@dataclass
class Ident:
    letter: str
    digits: tuple
    year: int  # within the century
    month: int
    day: int
    hardware: str  # up to 8 characters

    def record(self):
        hw = self.hardware.encode('ascii')
        return (bytes([ord(self.letter), *self.digits, self.year, self.month, self.day, 0])
                + hw + bytes(8 - len(hw)))

    def sim_option(self):
        """The simulator's --ident value."""
        d = self.digits
        return (f'{self.letter},{d[0]},{d[1]},{d[2]},{self.year},{self.month},{self.day},'
                f'{self.hardware}')

    def line(self):
        """The identification as the updater prints it after its 'Current Firmware on AVR: ' and
        'New Firmware Data      : ' labels."""
        d = self.digits
        return (f'{self.letter}{d[0]}{d[1]}{d[2]} Built on (DD.MM.YYYY) '
                f'{self.day:02d}.{self.month:02d}.20{self.year:02d} for Hardware '
                f'{self.hardware}')


@dataclass
class Firmware:
    ident: Ident
    flash: bytearray
    eeprom: bytearray
    flash_blocks: list
    eeprom_blocks: list
    pack: str = ''


def _pattern(seed, block, size=BLOCK):
    return bytes(((seed * 31 + block * 7 + i * 13) ^ (i >> 3)) & 0xFF for i in range(size))


def _stamp(eeprom, flash, fw_len):
    """Flash word sum (32-bit words, least significant byte first, most significant byte first
    in the stamp) and the length into EEPROM bytes 16-23."""
    total = 0
    for off in range(0, (fw_len // 4) * 4, 4):
        total = (total + int.from_bytes(flash[off:off + 4], 'little')) & 0xFFFFFFFF
    eeprom[STAMP_OFFSET:STAMP_OFFSET + 8] = bytes([
        total >> 24 & 0xFF, total >> 16 & 0xFF, total >> 8 & 0xFF, total & 0xFF,
        0, 0, fw_len & 0xFC, fw_len >> 8 & 0xFF])


def make_firmware(ident, flash_blocks, eeprom_blocks, seed):
    """Images with the given blocks filled by a pattern of `seed`, the ident at the start of the
    EEPROM and the flash stamp behind it (as the updater's loader stamps it)."""
    flash = bytearray(b'\xff' * FLASH_SIZE)
    eeprom = bytearray(b'\xff' * EEPROM_SIZE)
    for b in flash_blocks:
        flash[b * BLOCK:(b + 1) * BLOCK] = _pattern(seed, b)
    for b in eeprom_blocks:
        eeprom[b * BLOCK:(b + 1) * BLOCK] = _pattern(seed + 100, b)
    eeprom[0:IDENT_SIZE] = ident.record()
    fw_len = (max(flash_blocks) + 1) * BLOCK if flash_blocks else 0
    _stamp(eeprom, flash, fw_len)
    return Firmware(ident, flash, eeprom, sorted(flash_blocks), sorted(eeprom_blocks))


def _hex_record(rtype, address, data):
    body = bytes([len(data), address >> 8 & 0xFF, address & 0xFF, rtype]) + data
    return ':' + body.hex().upper() + f'{(-sum(body)) & 0xFF:02X}\n'


def hex_text(image, blocks):
    """Intel HEX of the given blocks: 16-byte data records, an extended linear address record
    whenever the upper address bits change, the end-of-file record."""
    out = []
    upper = 0
    for b in sorted(blocks):
        for off in range(b * BLOCK, (b + 1) * BLOCK, 16):
            if off >> 16 != upper:
                upper = off >> 16
                out.append(_hex_record(4, 0, upper.to_bytes(2, 'big')))
            out.append(_hex_record(0, off & 0xFFFF, bytes(image[off:off + 16])))
    out.append(_hex_record(1, 0, b''))
    return ''.join(out)


def write_pack(firmware, folder, name, updater):
    """Writes both HEX files and packs them with `updater -pack3`; sets firmware.pack."""
    os.makedirs(folder, exist_ok=True)
    flash_hex = os.path.join(folder, name + '-flash.hex')
    eeprom_hex = os.path.join(folder, name + '-eeprom.hex')
    with open(flash_hex, 'w') as f:
        f.write(hex_text(firmware.flash, firmware.flash_blocks))
    with open(eeprom_hex, 'w') as f:
        f.write(hex_text(firmware.eeprom, firmware.eeprom_blocks))
    pack = os.path.join(folder, name + '.pack')
    run = subprocess.run([updater, '-pack3', pack, flash_hex, eeprom_hex],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0:
        raise RuntimeError(f'packing {name} failed ({run.returncode}):\n{run.stdout}')
    firmware.pack = pack
    return pack
