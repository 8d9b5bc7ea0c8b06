#pragma once

// The platform layer's opaque handles are the Win32 handles themselves,
// carried as pointers to incomplete types; they are never dereferenced.

#include <windows.h>

#include "platform/platform.h"

namespace win32 {

inline HINSTANCE ToHandle(platform::Module* module) { return reinterpret_cast<HINSTANCE>(module); }
inline HWND ToHandle(platform::Window* window) { return reinterpret_cast<HWND>(window); }
inline HDC ToHandle(platform::DeviceContext* dc) { return reinterpret_cast<HDC>(dc); }
inline HGLRC ToHandle(platform::GlContext* context) { return reinterpret_cast<HGLRC>(context); }

inline platform::Module* FromHandle(HINSTANCE module) { return reinterpret_cast<platform::Module*>(module); }
inline platform::Window* FromHandle(HWND window) { return reinterpret_cast<platform::Window*>(window); }
inline platform::DeviceContext* FromHandle(HDC dc) { return reinterpret_cast<platform::DeviceContext*>(dc); }
inline platform::GlContext* FromHandle(HGLRC context) { return reinterpret_cast<platform::GlContext*>(context); }

}  // namespace win32
