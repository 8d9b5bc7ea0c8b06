// The SDL event pump as a Win32-style message queue: keys become WM_KEYDOWN
// and WM_KEYUP with virtual-key codes, window events WM_ACTIVATE, WM_SIZE and
// WM_CLOSE. Events that mean nothing to the game are skipped.
#include <SDL.h>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/under_sdl.h"

namespace platform {
namespace {

bool quitPosted = false;
int quitCode = 0;

constexpr std::uintptr_t kVkMenu = 0x12;  // Alt
constexpr std::uintptr_t kVkF10 = 0x79;

// The virtual key each physical key held down was pressed as. The label of a
// key can change while it is held (the layout switched): its repeats and its
// release must still name the key that went down.
std::uintptr_t heldAs[SDL_NUM_SCANCODES] = {};

// The Windows virtual-key code of the key with this label, or 0.
std::uintptr_t VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + static_cast<std::uintptr_t>(key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + static_cast<std::uintptr_t>(key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + static_cast<std::uintptr_t>(key - SDLK_F1);
    }
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
        return 0x61 + static_cast<std::uintptr_t>(key - SDLK_KP_1);
    }
    switch (key) {
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_TAB: return 0x09;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return 0x0D;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return 0x10;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return 0x11;
        case SDLK_LALT:
        case SDLK_RALT: return kVkMenu;
        case SDLK_PAUSE: return 0x13;
        case SDLK_CAPSLOCK: return 0x14;
        case SDLK_ESCAPE: return 0x1B;
        case SDLK_SPACE: return 0x20;
        case SDLK_PAGEUP: return 0x21;
        case SDLK_PAGEDOWN: return 0x22;
        case SDLK_END: return 0x23;
        case SDLK_HOME: return 0x24;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        case SDLK_PRINTSCREEN: return 0x2C;
        case SDLK_INSERT: return 0x2D;
        case SDLK_DELETE: return 0x2E;
        case SDLK_LGUI: return 0x5B;
        case SDLK_RGUI: return 0x5C;
        case SDLK_APPLICATION: return 0x5D;
        case SDLK_KP_0: return 0x60;
        case SDLK_KP_MULTIPLY: return 0x6A;
        case SDLK_KP_PLUS: return 0x6B;
        case SDLK_KP_MINUS: return 0x6D;
        case SDLK_KP_PERIOD: return 0x6E;
        case SDLK_KP_DIVIDE: return 0x6F;
        case SDLK_NUMLOCKCLEAR: return 0x90;
        case SDLK_SCROLLLOCK: return 0x91;
        case SDLK_SEMICOLON: return 0xBA;
        case SDLK_EQUALS: return 0xBB;
        case SDLK_COMMA: return 0xBC;
        case SDLK_MINUS: return 0xBD;
        case SDLK_PERIOD: return 0xBE;
        case SDLK_SLASH: return 0xBF;
        case SDLK_BACKQUOTE: return 0xC0;
        case SDLK_LEFTBRACKET: return 0xDB;
        case SDLK_BACKSLASH: return 0xDC;
        case SDLK_RIGHTBRACKET: return 0xDD;
        case SDLK_QUOTE: return 0xDE;
        default: return 0;
    }
}

// Windows sends keys pressed with Alt held, Alt itself and F10 as system
// keys, which the game leaves alone.
bool IsSystemKey(const SDL_KeyboardEvent& event, std::uintptr_t virtualKey) {
    return virtualKey == kVkMenu || virtualKey == kVkF10 || (event.keysym.mod & KMOD_ALT) != 0;
}

// The virtual key of a key event: the key's label when it goes down, the
// same code until it comes up.
std::uintptr_t KeyOf(const SDL_KeyboardEvent& event) {
    const SDL_Scancode scancode = event.keysym.scancode;
    if (scancode <= SDL_SCANCODE_UNKNOWN || scancode >= SDL_NUM_SCANCODES) {
        return VirtualKey(event.keysym.sym);
    }
    std::uintptr_t& held = heldAs[scancode];
    const std::uintptr_t virtualKey = held != 0 && (event.type == SDL_KEYUP || event.repeat != 0)
                                          ? held
                                          : VirtualKey(event.keysym.sym);
    held = event.type == SDL_KEYDOWN ? virtualKey : 0;
    return virtualKey;
}

bool IsMinimised() {
    return sdlwindow::current != nullptr &&
           (SDL_GetWindowFlags(sdlwindow::current->handle) & SDL_WINDOW_MINIMIZED) != 0;
}

std::uintptr_t ActivateParam(std::uintptr_t state, bool minimised) {
    return state | (minimised ? std::uintptr_t{1} << 16 : 0);
}

bool Translate(const SDL_Event& event, Message* message) {
    Window* window = sdlwindow::current;
    *message = Message{window, 0, 0, 0};
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const std::uintptr_t virtualKey = KeyOf(event.key);
            if (virtualKey == 0 || window == nullptr) {
                return false;
            }
            const bool down = event.type == SDL_KEYDOWN;
            if (IsSystemKey(event.key, virtualKey)) {
                message->message = down ? kWmSysKeyDown : kWmSysKeyUp;
            } else {
                message->message = down ? kWmKeyDown : kWmKeyUp;
            }
            message->wParam = virtualKey;
            return true;
        }
        case SDL_QUIT:
            // The close request of the last window.
            if (window == nullptr) {
                return false;
            }
            message->message = kWmClose;
            return true;
        case SDL_WINDOWEVENT:
            if (window == nullptr || event.window.windowID != SDL_GetWindowID(window->handle)) {
                return false;
            }
            if (sdlwindow::keepMode != nullptr) {
                sdlwindow::keepMode(window, event.window.event);
            }
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    message->message = kWmClose;
                    return true;
                case SDL_WINDOWEVENT_DISPLAY_CHANGED:
                    message->message = kWmDisplayChange;
                    return true;
                case SDL_WINDOWEVENT_SIZE_CHANGED: {
                    const auto width = static_cast<std::intptr_t>(event.window.data1 & 0xFFFF);
                    const auto height = static_cast<std::intptr_t>(event.window.data2 & 0xFFFF);
                    message->message = kWmSize;
                    message->lParam = width | (height << 16);
                    return true;
                }
                case SDL_WINDOWEVENT_MINIMIZED:
                    message->message = kWmActivate;
                    message->wParam = ActivateParam(kWaInactive, true);
                    return true;
                case SDL_WINDOWEVENT_RESTORED:
                    message->message = kWmActivate;
                    message->wParam = ActivateParam(kWaActive, false);
                    return true;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    message->message = kWmActivate;
                    message->wParam = ActivateParam(kWaActive, IsMinimised());
                    return true;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    message->message = kWmActivate;
                    message->wParam = ActivateParam(kWaInactive, IsMinimised());
                    return true;
                default:
                    return false;
            }
        case SDL_DISPLAYEVENT:
            if (window == nullptr) {
                return false;
            }
            message->message = kWmDisplayChange;
            return true;
        default:
            if (window == nullptr || event.type != undersdl::DisplayChangedEvent()) {
                return false;
            }
            message->message = kWmDisplayChange;
            return true;
    }
}

}  // namespace

}  // namespace platform

namespace undersdl {

Uint32 DisplayChangedEvent() {
    static const Uint32 registered = SDL_RegisterEvents(1);
    return registered;
}

}  // namespace undersdl

namespace platform {

bool PeekNextMessage(Message* message) {
    sdlbackend::TendSoundDevice();
    if (quitPosted) {
        quitPosted = false;
        *message = Message{nullptr, kWmQuit, static_cast<std::uintptr_t>(quitCode), 0};
        return true;
    }
    // A signal asking the program to end closes the window, as the player can.
    if (sdlwindow::current != nullptr && sdlbackend::TakeEndRequest()) {
        *message = Message{sdlwindow::current, kWmClose, 0, 0};
        return true;
    }
    // The caller's record is written only when a message is taken: a skipped
    // event must leave it as the last message left it, for its wParam becomes
    // the exit status after Escape. Windows sends activation, size, close and
    // display-change messages to the window procedure without queueing them,
    // so they never reach the record: handled here likewise, a focus or a
    // mode change that comes with Escape cannot make itself the exit status.
    SDL_Event event;
    Message translated;
    while (SDL_PollEvent(&event) != 0) {
        if (!Translate(event, &translated)) {
            continue;
        }
        if (translated.message == kWmActivate || translated.message == kWmSize || translated.message == kWmClose ||
            translated.message == kWmDisplayChange) {
            DispatchToWindow(translated);
            continue;
        }
        *message = translated;
        return true;
    }
    return false;
}

void DispatchToWindow(const Message& message) {
    WindowProc(message.window, message.message, message.wParam, message.lParam);
}

void PostQuit(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

// Linux has no system behaviour behind these messages. SDL keeps the screen
// saver off while its video subsystem runs, which is what the game asks of
// the screen-saver and monitor-power commands.
std::intptr_t DefaultWindowProc(Window*, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

}  // namespace platform
