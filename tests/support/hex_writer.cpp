#include "hex_writer.h"

#include <cstdio>

namespace
{

constexpr std::size_t SEGMENT_BYTES = 0x10000; // what one extended linear address covers

} // namespace

std::string hex_record(hex_record_type type, unsigned address, const std::string &data,
                       const char *line_end)
{
    char field[16];
    snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
             address & 0xFFFF, static_cast<unsigned>(type));
    std::string record = field;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8 & 0xFF) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    for (char c : data) {
        const unsigned b = static_cast<unsigned char>(c);
        snprintf(field, sizeof field, "%02X", b);
        record += field;
        sum += b;
    }
    snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return record + field + line_end;
}

std::string hex_text(const std::vector<unsigned char> &image, const std::vector<hex_range> &ranges,
                     const hex_layout &layout)
{
    std::string text;
    bool linear_known = !layout.linear_at_start;
    std::size_t upper = 0;
    for (const hex_range &r : ranges) {
        for (std::size_t at = r.start; at < r.start + r.length;) {
            if (!linear_known || at / SEGMENT_BYTES != upper) {
                upper = at / SEGMENT_BYTES;
                linear_known = true;
                const char base[2] = {static_cast<char>(upper >> 8), static_cast<char>(upper)};
                text += hex_record(HEX_LINEAR_ADDRESS, 0, std::string(base, 2), layout.line_end);
            }
            std::size_t n = layout.record_bytes;
            if (n > r.start + r.length - at)
                n = r.start + r.length - at;
            if (n > (upper + 1) * SEGMENT_BYTES - at)
                n = (upper + 1) * SEGMENT_BYTES - at;
            const char *data = reinterpret_cast<const char *>(image.data() + at);
            text += hex_record(HEX_DATA, static_cast<unsigned>(at), std::string(data, n),
                               layout.line_end);
            at += n;
        }
    }
    return text + hex_record(HEX_END_OF_FILE, 0, "", layout.line_end);
}

std::string hex_text(const std::vector<unsigned char> &image, const hex_layout &layout)
{
    return hex_text(image, {{0, image.size()}}, layout);
}
