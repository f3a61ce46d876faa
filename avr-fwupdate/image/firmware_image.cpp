#include "firmware_image.h"

void firmware_take(firmware_bundle *fw, avr_memory memory, unsigned char *image,
                   unsigned char *block_map, uint32_t len)
{
    const bool flash = memory == AVR_FLASH;
    (flash ? fw->fw_image : fw->eep_image).reset(image);
    (flash ? fw->fw_map : fw->eep_map).reset(block_map);
    (flash ? fw->fw_len : fw->eep_len) = len;
}

void firmware_release(firmware_bundle *fw, avr_memory memory, unsigned char **image,
                      unsigned char **block_map)
{
    const bool flash = memory == AVR_FLASH;
    *image = (flash ? fw->fw_image : fw->eep_image).release();
    *block_map = (flash ? fw->fw_map : fw->eep_map).release();
}
