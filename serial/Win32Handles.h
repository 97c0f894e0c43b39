// Tiny move-only owners of the Win32 handles this subsystem opens: each closes what it holds when
// it goes, and an emptied owner holds nothing, so closing twice is harmless.
#pragma once

#include <windows.h>

#include <utility>

// A file or device handle; INVALID_HANDLE_VALUE is the empty state, as CreateFileA reports it.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    FileHandle(FileHandle&& other) noexcept : m_handle(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Reset(); }

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (IsValid()) CloseHandle(m_handle);
        m_handle = handle;
    }
    HANDLE Release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// An open registry key; null is the empty state.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : m_key(key) {}
    RegistryKey(RegistryKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            Close();
            m_key = std::exchange(other.m_key, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    // Opens a subkey with the given access; false (and empty) when it can't be opened.
    bool Open(HKEY parent, const char* subkey, REGSAM access) {
        Close();
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, subkey, 0, access, &key) != ERROR_SUCCESS) return false;
        m_key = key;
        return true;
    }
    HKEY Get() const { return m_key; }
    bool IsValid() const { return m_key != nullptr; }
    void Close() {
        if (m_key != nullptr) RegCloseKey(std::exchange(m_key, nullptr));
    }

private:
    HKEY m_key = nullptr;
};
