// What a flash or EEPROM cell holds when nothing has been written to it since it was erased.
#pragma once

constexpr unsigned char ERASED_BYTE = 0xFF;
