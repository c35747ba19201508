#pragma once

#include "FakeHttpServer.h"

#include <QStringList>

// Broken or hostile answers for the stand-alone fake radio (fake_radio --fault NAME): each
// fault replaces the sane answers of the endpoints it names. /system/info stays sane unless
// the fault is about discovery, so the program finds the radio and meets the fault in its
// tabs.
namespace RadioFaults {

// endless, oversized, hugelength: every answer but /system/info never ends, is 200 MB
//   long, or announces a terabyte (the log list stays sane but with oversized); endless
//   answers uploads too, in chunks;
// hugenames: model, network, log, image and app names and the serial of almost 1 MB;
// manyentries: log, image and app lists of tens of thousands of entries;
// hugepicture: 20000 x 20000 thumbnails, icons and screenshots;
// hugelog: a 300 MB flight log;
// trickle: /system/info at a byte a second;
// bidiserial: a serial with a right-to-left override.
QStringList names();

// Replaces the routes of radio for the fault; sane answers the requests it leaves alone
// among those that have no fixed route. False for an unknown name.
bool apply(FakeHttpServer &radio, const QString &fault, FakeHttpServer::Handler sane);

} // namespace RadioFaults
