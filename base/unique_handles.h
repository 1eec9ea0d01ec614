// Small owners for Win32 handles, in the manner of WIL's unique_handle family:
// ownership shows in the type, and every early return closes what was opened.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

// Traits name the "none" value and how to close; a traits class rather than
// a template value, because INVALID_HANDLE_VALUE is no constant expression.
template <class Traits>
class UniqueResource {
public:
    using T = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid())
    {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }
    // For out-parameters: closes what is held and hands out the slot.
    T* put()
    {
        reset();
        return &value_;
    }

private:
    T value_ = Traits::Invalid();
};

// Most kernel objects use null for "none"; files and find handles use INVALID_HANDLE_VALUE.
struct KernelHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY k) { ::RegCloseKey(k); }
};
struct CoTaskMemStringTraits {
    using Type = wchar_t*;
    static wchar_t* Invalid() { return nullptr; }
    static void Close(wchar_t* p) { ::CoTaskMemFree(p); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueCoTaskMemString = UniqueResource<CoTaskMemStringTraits>;

// A COM interface pointer that releases its reference.
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    I* get() const { return ptr_; }
    I* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    void reset()
    {
        if (ptr_) ptr_->Release();
        ptr_ = nullptr;
    }
    void** put_void()
    {
        reset();
        return reinterpret_cast<void**>(&ptr_);
    }
    I** put()
    {
        reset();
        return &ptr_;
    }

private:
    I* ptr_ = nullptr;
};
