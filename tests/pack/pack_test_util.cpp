#include "pack_test_util.h"

#include "capture_stdout.h"

#include <bzlib.h>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

pack_head head_for(uint32_t version, const std::string &eep, const std::string &fw,
                   uint32_t fw_raw_size)
{
    pack_head h;
    memset(&h, 0, sizeof h);
    h.magic = PACK_MAGIC;
    h.version = version;
    h.eep_size = static_cast<uint32_t>(eep.size());
    h.fw_size = static_cast<uint32_t>(fw.size());
    h.eep_cksum = checksum_of(eep);
    h.fw_cksum = checksum_of(fw);
    h.fw_raw_size = fw_raw_size;
    return h;
}

std::string pack_bytes(const pack_head &head, const std::string &eep, const std::string &fw)
{
    unsigned char bytes[PACK_HEAD_SIZE];
    pack_head_encode(&head, bytes);
    return slice(bytes, sizeof bytes) + eep + fw;
}

uint32_t checksum_of(const std::string &bytes)
{
    return pack_checksum(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

std::string bz2_of(const std::string &raw)
{
    std::vector<char> out(raw.size() + raw.size() / 64 + 600);
    std::vector<char> in(raw.begin(), raw.end());
    in.push_back('\0'); // bzip2 refuses a null source, even for no bytes
    unsigned int len = static_cast<unsigned int>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &len, in.data(), static_cast<unsigned int>(raw.size()),
                                 9, 0, 250) != BZ_OK)
        return {};
    return std::string(out.data(), len);
}

read_outcome read_pack(const std::string &file)
{
    read_outcome r;
    unique_fd fd(memfd_create("pack", MFD_CLOEXEC));
    if (fd.get() < 0 ||
        write(fd.get(), file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
        lseek(fd.get(), static_cast<off_t>(PACK_HEAD_SIZE), SEEK_SET) < 0)
        return r;
    unsigned char bytes[PACK_HEAD_SIZE] = {};
    memcpy(bytes, file.data(), file.size() < sizeof bytes ? file.size() : sizeof bytes);
    pack_head head;
    pack_head_decode(bytes, &head);

    unsigned char *fw = nullptr;
    unsigned char *eep = nullptr;
    unsigned char *fw_map = nullptr;
    unsigned char *eep_map = nullptr;
    capture_stdout capture;
    r.rc = pack_read(fd.get(), &head, &fw, &eep, &fw_map, &eep_map);
    r.out = capture.text();
    r.fw_image.reset(fw);
    r.eep_image.reset(eep);
    r.fw_map.reset(fw_map);
    r.eep_map.reset(eep_map);
    return r;
}

std::string slice(const unsigned char *p, std::size_t n)
{
    return std::string(reinterpret_cast<const char *>(p), n);
}
