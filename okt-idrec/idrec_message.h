// okt-idrec's messages on standard error: errors, warnings and notes, each after the program's
// name.
#pragma once

// Prints "okt-idrec: " and then what `format` makes of the arguments, on standard error. The ID
// record inventory takes the lines that start so for the board's messages
// (deploy/ansible/filter_plugins/idrec_inventory.py, IDREC_PREFIX): change both together.
void idrec_message(const char *format, ...) __attribute__((format(printf, 1, 2)));
