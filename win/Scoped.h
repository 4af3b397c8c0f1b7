// Move-only owners for Win32 handles: every handle the program opens is
// closed by its owner, on every path.
#pragma once

#include <windows.h>
// WinHTTP and CNG for the update module; these headers only declare, so
// includers that use neither link nothing extra. (winhttp.h and wininet.h
// cannot be included together: code of ours that needs WinINet cannot use this header.)
#include <bcrypt.h>
#include <winhttp.h>

#include <utility>

namespace win {

// Traits: `Type`, `invalid()` and `close(Type)`.
template <typename Traits>
class Scoped {
public:
    using Type = typename Traits::Type;

    Scoped() noexcept : h_(Traits::invalid()) {}
    explicit Scoped(Type h) noexcept : h_(h) {}
    ~Scoped() { reset(); }

    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : h_(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const noexcept { return h_; }
    bool valid() const noexcept { return h_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    Type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(Type h = Traits::invalid()) noexcept {
        Type old = std::exchange(h_, h);
        if (old != Traits::invalid())
            Traits::close(old);
    }
    // For out-parameters of the platform's calls: closes what it held first.
    Type* receive() noexcept {
        reset();
        return &h_;
    }

private:
    Type h_;
};

struct KernelHandleTraits {  // threads, processes, events, pipes: null when absent
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE when absent
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::RegCloseKey(h); }
};

struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::GlobalFree(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::FindClose(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::FreeLibrary(h); }
};

struct WinHttpHandleTraits {  // sessions, connections and requests alike
    using Type = HINTERNET;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::WinHttpCloseHandle(h); }
};

struct BCryptAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct BCryptHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::BCryptDestroyHash(h); }
};

using UniqueHandle = Scoped<KernelHandleTraits>;
using UniqueFile = Scoped<FileHandleTraits>;
using UniqueKey = Scoped<RegKeyTraits>;
using UniqueGlobal = Scoped<GlobalMemoryTraits>;
using UniqueFind = Scoped<FindHandleTraits>;
using UniqueModule = Scoped<ModuleTraits>;
using UniqueInternet = Scoped<WinHttpHandleTraits>;
using UniqueAlgorithm = Scoped<BCryptAlgorithmTraits>;
using UniqueHash = Scoped<BCryptHashTraits>;

}  // namespace win
