// GL on Linux through SDL2: the one pixel format of a window, rendering contexts and
// the buffer swap, with the Win32 semantics the gauge window relies on.
#include <set>

#include "platform/linux/window_linux_internal.h"

namespace platform {

using namespace sdl;

namespace {

std::set<SDL_GLContext> render_contexts;

}  // namespace

bool SwapGaugeBuffers(DeviceContext device_context) {
    if (Find(device_context) == nullptr) return false;
    SDL_GL_SwapWindow(static_cast<SDL_Window*>(device_context));
    return true;
}

int ChooseWindowPixelFormat(DeviceContext device_context, const PixelFormatRequest& request) {
    auto* window = static_cast<SDL_Window*>(device_context);
    if (Find(window) == nullptr) return 0;
    const uint32_t needed = kPfdDrawToWindow | kPfdSupportOpenGl;
    if ((request.flags & needed) != needed || request.pixel_type != 0 || request.layer_type != 0) return 0;
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) return 0;
    // One format: the closest to the request that the window was made with.
    return 1;
}

bool SetWindowPixelFormat(DeviceContext device_context, int format, const PixelFormatRequest&) {
    return Find(device_context) != nullptr && format == 1;
}

RenderContext CreateRenderContext(DeviceContext device_context) {
    if (Find(device_context) == nullptr) return nullptr;
    // SDL makes a new context current; wglCreateContext does not, so the previous one is put back.
    SDL_Window* previous_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(static_cast<SDL_Window*>(device_context));
    if (context == nullptr) return nullptr;
    render_contexts.insert(context);
    SDL_GL_MakeCurrent(previous_window, previous);
    return context;
}

bool MakeRenderContextCurrent(DeviceContext device_context, RenderContext render_context) {
    if (render_context == nullptr) {
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
        return true;
    }
    if (Find(device_context) == nullptr || !render_contexts.count(render_context)) return false;
    return SDL_GL_MakeCurrent(static_cast<SDL_Window*>(device_context), render_context) == 0;
}

bool DeleteRenderContext(RenderContext render_context) {
    auto found = render_contexts.find(render_context);
    if (found == render_contexts.end()) return false;
    if (SDL_GL_GetCurrentContext() == render_context) SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    SDL_GL_DeleteContext(render_context);
    render_contexts.erase(found);
    return true;
}

}  // namespace platform
