// make's field options applied to a record: each value is checked strictly (idrec_checks.h) and
// either stored whole or refused with a message that names the option; nothing is cut or guessed.
#pragma once

#include "oktideep.h"

#include <ctime>

// The options as given on the command line; null for an option not given.
struct field_options {
    const char *bootcntr;
    const char *manuf_date; // DD.MM.YY-HH:MM or "now"
    const char *maint_date;
    const char *desc;
    const char *rev;
    const char *serial;
};

// Stores every given option's value in *record; `now` is the time that "now" stands for, taken
// in local time as the board's clock gives it. Each refused value is reported on standard error
// ("okt-idrec: --serial \"...\": 16 bytes; a text has at most 15") and leaves its field as it
// was. Returns the number of values refused.
int apply_field_options(const field_options &options, time_t now, okt_eep_data *record);
