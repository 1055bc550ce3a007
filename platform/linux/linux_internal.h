// Shared between the Linux platform files only.
#pragma once

#include "platform/app_icon.h"

namespace platform {

// The icon set by SetApplicationIcon, or null before start-up has set one.
const IconImage* ApplicationIcon();

// The WinSock number of an errno value, kept as the last socket error.
void NoteSocketErrno(int error);
// The WinSock number of an errno value.
int WinSockErrorOfErrno(int error);

// From now on SIGTERM, SIGINT and SIGHUP are only noted, so that the program can end
// in order, as with the close button; a second one ends it at once. Called again, it
// does nothing.
void CatchEndSignals();

// True once for each noted end signal.
bool TakeEndSignal();

}  // namespace platform
