#include "module_view.h"

#include "hexdump.h"
#include "packed_date.h"
#include "tool_roles.h"

#include <cstdio>

namespace
{

constexpr int DATE_TEXT_BUFFER = 20; // bytes, zeroed before every conversion
static_assert(DATE_TEXT_BUFFER >= DATE_TEXT_MIN_BUFFER, "unpack_date needs the room");

} // namespace

void view_raw_module_info(const okt_eep_modinfo *entry)
{
    const okt_eep_data &d = entry->data;
    unsigned long counter = okt_eep_get_bootcntr(&d);
    char manuf[DATE_TEXT_BUFFER] = {};
    char maint[DATE_TEXT_BUFFER] = {};
    const char *manuf_text = unpack_date(d.manuf_date, manuf) ? manuf : " (invalid)";
    const char *maint_text = unpack_date(d.maint_date, maint) ? maint : "(invalid)";
    printf("BootCounter        : %08lu (0x%08lx)\n", counter, counter);
    printf("Manufacture Date   :  %s\n", manuf_text);
    printf("Maintainance Date  :  %s\n", maint_text);
    // Texts end at their zero byte; the precision keeps a record whose last field byte is not
    // yet forced to zero (a read that broke off midway) from running into the next field.
    printf("Module Description : [%-*.*s]\n", OKT_EEP_TEXT_BYTES, OKT_EEP_TEXT_FIELD_SIZE,
           d.desc_string);
    printf("Revision String    : [%-*.*s]\n", OKT_EEP_TEXT_BYTES, OKT_EEP_TEXT_FIELD_SIZE,
           d.rev_string);
    printf("Serial Number      : [%-*.*s]\n", OKT_EEP_TEXT_BYTES, OKT_EEP_TEXT_FIELD_SIZE,
           d.serial);
}

void print_module_line(const okt_eep_modinfo *entry)
{
    printf("Module-Role: %s, I2C bus %d address 0x%02x\n\n", role_name(entry->role), entry->bus,
           entry->addr);
}

void hexdump_module(const okt_eep_modinfo *entry)
{
    puts("\n------------- HEXDUMP MODULE ------------ \n");
    print_module_line(entry);
    hexdump(reinterpret_cast<const unsigned char *>(&entry->data), OKT_EEP_RECORD_SIZE);
    puts("\n------------- HEXDUMP ENDS   ------------ ");
}

void write_entry(const okt_eep_modinfo *entry)
{
    puts("\n\n---------- WRITE DATA ------------\n");
    print_module_line(entry);
    // Past a broken-off read the record holds zeros or older bytes; written, they would replace
    // the EEPROM's own.
    if (!entry->read_complete) {
        puts("record not read completely, nothing written; r reads it again");
        puts(" ** ERROR OCCURED!");
    } else if (okt_eep_write_modinfo(entry) == 0) {
        puts(" WRITE SUCCESS! ");
    } else {
        puts(" ** ERROR OCCURED!");
    }
    puts("\n\n---------- WRITE DATA END ------------\n");
}
