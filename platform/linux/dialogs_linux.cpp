// The modal message box on Linux: SDL2's, or standard error when there is no display.
#include <SDL.h>

#include <cstdio>
#include <string>

#include "platform/dialogs.h"

namespace platform {

int NativeMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
    Uint32 sdl_flags = SDL_MESSAGEBOX_INFORMATION;
    if ((flags & 0xF0) == kBoxIconError) sdl_flags = SDL_MESSAGEBOX_ERROR;
    else if ((flags & 0xF0) == kBoxIconExclamation) sdl_flags = SDL_MESSAGEBOX_WARNING;
    std::string caption_text(caption), body(text);
    if (SDL_ShowSimpleMessageBox(sdl_flags, caption_text.c_str(), body.c_str(), nullptr) != 0) {
        std::fprintf(stderr, "[%s] %s\n", caption_text.c_str(), body.c_str());
        std::fflush(stderr);
    }
    return 1;  // IDOK
}

}  // namespace platform
