// Linux keeps the decoded application icon; every SDL window the program opens shows it.
#include <optional>

#include "platform/linux/linux_internal.h"

namespace platform {

namespace {
std::optional<IconImage> application_icon;
}

void SetApplicationIcon(const IconImage& icon) { application_icon = icon; }

const IconImage* ApplicationIcon() { return application_icon ? &*application_icon : nullptr; }

}  // namespace platform
