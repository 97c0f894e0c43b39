// Small move-only owners for the Win32 handles the program holds. Each frees its handle exactly once
// and is empty afterwards, so an early return can never leak one or close one twice.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Empty(); }
    explicit operator bool() const { return IsValid(); }

    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) {
            Traits::Free(old);
        }
    }

private:
    Handle handle_ = Traits::Empty();
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(Handle h) { ::CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static void Free(Handle h) { ::RegCloseKey(h); }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Empty() { return nullptr; }
    static void Free(Handle h) { ::DeleteObject(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;

// An existing key opened with the given access; empty when it can't be opened.
inline RegistryKey OpenRegistryKey(HKEY parent, const char* subkey, REGSAM access) {
    HKEY key = nullptr;
    return RegistryKey(::RegOpenKeyExA(parent, subkey, 0, access, &key) == ERROR_SUCCESS ? key : nullptr);
}

// A screen device context borrowed for the length of a scope.
class ScreenDC {
public:
    ScreenDC() : dc_(::GetDC(nullptr)) {}
    ~ScreenDC() {
        if (dc_ != nullptr) {
            ::ReleaseDC(nullptr, dc_);
        }
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// BeginPaint/EndPaint as one scope.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window_, &paint_); }
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace framework
