#include "pack_test_util.h"

#include "capture_stdout.h"
#include "hex_writer.h"

#include <gtest/gtest.h>

#include <bzlib.h>
#include <cstdio>
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

std::string eep_hex_text()
{
    return ":1000000041010203180C01004F4B5433322D424280\n:00000001FF\n";
}

std::string flash_hex_text()
{
    // 31 records of 16 bytes and one of 3: ends at 0x1F3.
    std::vector<unsigned char> image(0x1F3);
    for (std::size_t addr = 0; addr < image.size(); ++addr)
        image[addr] = static_cast<unsigned char>(addr);
    return hex_text(image);
}

std::string pattern(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xFF);
    return s;
}

void expect_read_failures(const std::vector<read_failure> &cases)
{
    for (const read_failure &c : cases) {
        SCOPED_TRACE(c.name);
        read_outcome r = read_pack(c.file);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.fw_image, nullptr);
        EXPECT_EQ(r.eep_image, nullptr);
        EXPECT_EQ(r.fw_map, nullptr);
        EXPECT_EQ(r.eep_map, nullptr);
    }
}

std::string after_banner(const std::string &out)
{
    std::size_t at = out.find("\n\n");
    return at == std::string::npos ? out : out.substr(at + 2);
}
