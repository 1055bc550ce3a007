// Shared between the Linux platform files only.
#pragma once

#include "platform/app_icon.h"

namespace platform {

// The icon set by SetApplicationIcon, or null before start-up has set one.
const IconImage* ApplicationIcon();

}  // namespace platform
