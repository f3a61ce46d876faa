#include "field_dialogs.h"

#include "console.h"
#include "number_text.h"
#include "packed_date.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr size_t TEXT_BYTES = OKT_EEP_TEXT_BYTES; // copied between a text field and its buffer
constexpr int MANUF_DATE_SIZE = 15;               // line editor size: at most 14 typed characters
constexpr int MAINT_DATE_SIZE = 16;               // at most 15
constexpr int DESC_SIZE = OKT_EEP_TEXT_BYTES + 1; // at most 15: the whole text
constexpr int SERIAL_SIZE = 15;                   // at most 14

void print_current(const char *text)
{
    printf(" Current is [%-*s]\n", OKT_EEP_TEXT_BYTES, text);
}

// The start of each text dialog: the field's text bytes at the start of the zeroed edit buffer, the
// dialog's header line and the current text.
void offer_text(char (&buf)[EDIT_BUFFER_SIZE], const char (&field)[OKT_EEP_TEXT_FIELD_SIZE],
                const char *header)
{
    memcpy(buf, field, TEXT_BYTES);
    puts(header);
    print_current(buf);
}

// Both date dialogs: the current date as editable text, stored again only when it packs.
void edit_date(okt_eep_modinfo *entry, unsigned char (&date)[OKT_EEP_DATE_SIZE], const char *header,
               int size)
{
    char buf[EDIT_BUFFER_SIZE] = {};
    // An invalid date leaves whatever part was converted before the converter gave up.
    unpack_date(date, buf);
    puts(header);
    puts(" Format      DD.MM.YY-HH:MM");
    print_current(buf);
    if (ask_s(" Enter new  :", buf, size) != 0)
        return;
    unsigned char packed[PACKED_DATE_SIZE];
    if (pack_date(buf, packed) != 0) {
        puts(" INVALID DATE");
        return;
    }
    memcpy(date, packed, sizeof date);
    okt_eep_sanitize_entry(entry);
}

} // namespace

void clear_bootcntr(okt_eep_modinfo *entry)
{
    okt_eep_set_bootcntr(&entry->data, 0);
}

void edit_bootcntr(okt_eep_modinfo *entry)
{
    unsigned long counter = okt_eep_get_bootcntr(&entry->data);
    char buf[EDIT_BUFFER_SIZE] = {};
    puts(" -- edit bootcounter -- ");
    printf("current bootcounter value is %08lu (0x%08lx)\n", counter, counter);
    printf("enter new value (0xHEX or DECIMAL): ");
    if (read_word(buf))
        okt_eep_set_bootcntr(&entry->data, read_number(buf));
}

void edit_manuf_date(okt_eep_modinfo *entry)
{
    edit_date(entry, entry->data.manuf_date, " -- edit Manufacture Date String -- ",
              MANUF_DATE_SIZE);
}

void edit_maint_date(okt_eep_modinfo *entry)
{
    edit_date(entry, entry->data.maint_date, " -- edit Maintainance Date String -- ",
              MAINT_DATE_SIZE);
}

void select_desc_string(okt_eep_modinfo *entry)
{
    char buf[EDIT_BUFFER_SIZE] = {};
    offer_text(buf, entry->data.desc_string, "\n --- select module description --- ");
    if (ask_s(" Enter new  :", buf, DESC_SIZE) != 0)
        return;
    // strncpy over the text bytes: the text, then zeros to the end of them.
    size_t len = strnlen(buf, TEXT_BYTES);
    memcpy(entry->data.desc_string, buf, len);
    memset(entry->data.desc_string + len, 0, TEXT_BYTES - len);
    okt_eep_sanitize_entry(entry);
}

void edit_rev_string(okt_eep_modinfo *entry)
{
    char buf[EDIT_BUFFER_SIZE] = {};
    offer_text(buf, entry->data.rev_string, " -- edit Revision String -- ");
    printf(" Enter new  [");
    if (!read_word(buf))
        return;
    // A short word keeps the field's old bytes after its zero: the buffer began as the field.
    memcpy(entry->data.rev_string, buf, TEXT_BYTES);
    okt_eep_sanitize_entry(entry);
}

void edit_serial(okt_eep_modinfo *entry)
{
    char buf[EDIT_BUFFER_SIZE] = {};
    offer_text(buf, entry->data.serial, " -- edit Serial Number String -- ");
    if (ask_s(" Enter new  :", buf, SERIAL_SIZE) != 0)
        return;
    memcpy(entry->data.serial, buf, TEXT_BYTES);
    okt_eep_sanitize_entry(entry);
}
