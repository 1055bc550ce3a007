#include "app/startup.h"

#include <cinttypes>
#include <cstdio>
#include <new>

#include "app/main_loop.h"
#include "audio/vario_audio.h"
#include "common/error.h"
#include "common/text.h"
#include "config/settings.h"
#include "gauge/icon_file.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace {
constexpr const char* kApplicationErrorCaption = "Application Error";
constexpr const char* kApplicationErrorText = "Exception %s in module %s at %p.\r\n%s%s\r\n";
}  // namespace

int StartProgram() {
    LoadApplicationIcon();
    ReadConfiguration();
    PositionMode = false;
    SizeMode = false;
    Recreating = true;
    // A window that cannot be built is a failure, so that a service manager starts the
    // gauge again (e.g. once the display is there); its message has been shown.
    // The sound is opened once, apart from the window, so that rebuilding the window
    // leaves no gap in it.
    if (Settings.AudioVario) StartVarioAudio({Settings.AudioDeadBand, Settings.AudioVolumePercent});
    int status = RunMainLoop() ? 0 : kFailureStatus;
    StopVarioAudio();
    return status;
}

std::string ApplicationErrorText(std::string_view kind, std::string_view module, const void* address,
                                 std::string_view message) {
    // The address as the platform's %p shows it: zero-padded upper-case hexadecimal.
    char address_text[2 * sizeof(void*) + 1];
    std::snprintf(address_text, sizeof address_text, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                  reinterpret_cast<uintptr_t>(address));
    std::string_view full_stop = (!message.empty() && message.back() == '.') ? "" : ".";
    return FormatText(kApplicationErrorText, {kind, module, address_text, message, full_stop});
}

int RunWithTopLevelReport(const std::function<int()>& body) {
    std::string text;
    try {
        return body();
    } catch (const EVarioError& error) {
        text =
            ApplicationErrorText(EVarioError::kKind, platform::ProgramFileName(), error.RaiseAddress(), error.what());
    } catch (const std::bad_alloc& error) {
        text = ApplicationErrorText("EOutOfMemory", platform::ProgramFileName(), nullptr, "Out of memory");
    } catch (const std::exception& error) {
        text = ApplicationErrorText("Exception", platform::ProgramFileName(), nullptr, error.what());
    }
    platform::ShowMessageBox(text, kApplicationErrorCaption,
                             platform::kBoxOk | platform::kBoxIconError | platform::kBoxTaskModal);
    platform::ExitProcess(kFailureStatus);
}
