// The memories of the simulated AVR and the stamp check over them.
#include "avrsim_memory.h"

#include "avr_bootsim.h"
#include "byte_order.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int avrsim_stamp_matches(const avrsim *sim, std::size_t received_end)
{
    const unsigned char *s = sim->eeprom + AVRSIM_STAMP_OFFSET;
    std::uint32_t stored = get_be32(s);
    if (s[4] != 0 || s[5] != 0 || (s[6] & 0x03) != 0)
        return 0;
    // Only the low 16 bits of the length are stamped; the flash that arrived tells the rest.
    std::size_t len = get_le16(s + 6);
    if (received_end != 0) {
        while (len + 0x10000 <= received_end)
            len += 0x10000;
        if (len > received_end)
            return 0;
    }
    if (len > AVRSIM_FLASH_SIZE)
        return 0;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= len; i += 4)
        sum += get_le32(sim->flash + i);
    return sum == stored ? 1 : 0;
}

std::size_t avrsim_flash_received_end(const avrsim *sim)
{
    std::size_t end = 0;
    for (const avrsim_block_write &w : sim->writes)
        if (w.memory == AVRSIM_FLASH)
            end = std::max(end, (std::size_t)(w.block + 1) * AVRSIM_BLOCK_SIZE);
    return end;
}

void avrsim_store_block(avrsim *sim, bool flash, int block, const unsigned char *data)
{
    unsigned char *mem = flash ? sim->flash : sim->eeprom;
    memcpy(mem + (std::size_t)block * AVRSIM_BLOCK_SIZE, data, AVRSIM_BLOCK_SIZE);
    sim->writes.push_back({flash ? AVRSIM_FLASH : AVRSIM_EEPROM, block});
}

long avrsim_load(const char *path, unsigned char *memory, std::size_t size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    std::vector<unsigned char> buf(size + 1); // one byte more tells a file that is too long
    std::size_t got = 0;
    while (got < buf.size()) {
        ssize_t r = read(fd, buf.data() + got, buf.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            close(fd);
            return -1;
        }
        if (r == 0)
            break;
        got += (std::size_t)r;
    }
    close(fd);
    if (got > size)
        return -2;
    memcpy(memory, buf.data(), got);
    return (long)got;
}

int avrsim_save(const char *path, const unsigned char *data, std::size_t len)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    std::size_t done = 0;
    while (done < len) {
        ssize_t w = write(fd, data + done, len - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            close(fd);
            return -1;
        }
        done += (std::size_t)w;
    }
    return close(fd) == 0 ? 0 : -1;
}
