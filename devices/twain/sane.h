/*
 * sane.h --
 *
 *	SANE devices as sources of the built-in TWAIN manager, through
 *	libsane.so.1 loaded at run time (none when it cannot be loaded).
 */
#ifndef TESK_DEVICES_TWAIN_SANE_H
#define TESK_DEVICES_TWAIN_SANE_H

#include <string>
#include <vector>
#include "devices/twain/sourceops.h"

/* The names of the devices libsane finds ("test:0", ...). */
std::vector<std::string> saneDeviceNames();
/* The operations of device name, opened; NULL when it cannot be opened. */
const SourceOps *saneSourceOpen(const char *name);

#endif /* TESK_DEVICES_TWAIN_SANE_H */
