#include "config/dial_choice.h"

#include "common/error.h"
#include "common/text.h"

namespace {
constexpr const char* kNotInWorkingDirectory = "'%s' is not a DIALIMAGE file name (a file in the working directory)";
}  // namespace

DialScale ChooseDial(std::string_view dial, std::string_view scale, std::string_view units) {
    DialScale chosen = BuiltInDial(dial);
    const DialUnits scale_units = DialUnitsNamed(units);
    if (!scale.empty()) chosen = ParseDialScale(scale, scale_units);
    return chosen;
}

void CheckDialImageName(std::string_view name) {
    if (name.find_first_of("/\\:") != std::string_view::npos)
        throw EVarioError(FormatText(kNotInWorkingDirectory, {QuotedValue(name)}));
}
