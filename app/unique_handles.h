// Small owners for Win32 handles, in the manner of WIL's unique_handle family:
// ownership shows in the type, and every early return closes what was opened.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

template <class T, T Invalid, class Close>
class UniqueResource {
public:
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
    explicit operator bool() const { return value_ != Invalid; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid)
    {
        if (value_ != Invalid) Close{}(value_);
        value_ = value;
    }
    // For out-parameters: closes what is held and hands out the slot.
    T* put()
    {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

struct CloseHandleFn { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct FindCloseFn { void operator()(HANDLE h) const { ::FindClose(h); } };
struct RegCloseKeyFn { void operator()(HKEY k) const { ::RegCloseKey(k); } };
struct CoTaskMemFreeFn { void operator()(wchar_t* p) const { ::CoTaskMemFree(p); } };

// Most kernel objects use null for "none"; files and snapshots use INVALID_HANDLE_VALUE.
using UniqueHandle = UniqueResource<HANDLE, nullptr, CloseHandleFn>;
struct UniqueFileHandle {
    HANDLE value = INVALID_HANDLE_VALUE;
    UniqueFileHandle() = default;
    explicit UniqueFileHandle(HANDLE h) : value(h) {}
    UniqueFileHandle(const UniqueFileHandle&) = delete;
    UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;
    UniqueFileHandle(UniqueFileHandle&& o) noexcept : value(std::exchange(o.value, INVALID_HANDLE_VALUE)) {}
    ~UniqueFileHandle() { reset(); }
    HANDLE get() const { return value; }
    explicit operator bool() const { return value != INVALID_HANDLE_VALUE; }
    void reset()
    {
        if (value != INVALID_HANDLE_VALUE) ::CloseHandle(value);
        value = INVALID_HANDLE_VALUE;
    }
};
struct UniqueFindHandle {
    HANDLE value = INVALID_HANDLE_VALUE;
    UniqueFindHandle() = default;
    explicit UniqueFindHandle(HANDLE h) : value(h) {}
    UniqueFindHandle(const UniqueFindHandle&) = delete;
    UniqueFindHandle& operator=(const UniqueFindHandle&) = delete;
    ~UniqueFindHandle()
    {
        if (value != INVALID_HANDLE_VALUE) ::FindClose(value);
    }
    HANDLE get() const { return value; }
    explicit operator bool() const { return value != INVALID_HANDLE_VALUE; }
};
using UniqueRegKey = UniqueResource<HKEY, nullptr, RegCloseKeyFn>;
using UniqueCoTaskMemString = UniqueResource<wchar_t*, nullptr, CoTaskMemFreeFn>;

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
