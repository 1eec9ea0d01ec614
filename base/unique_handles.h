// Small owners for Win32 handles, in the manner of WIL's unique_handle family:
// ownership shows in the type, and every early return closes what was opened.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace quro {

// Traits name the "none" value and how to close; a traits class rather than
// a template value, because INVALID_HANDLE_VALUE is no constant expression.
// HandleTraits below makes the traits of the usual handle types.
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

// The "none" value: null for most kernel objects, keys and memory;
// INVALID_HANDLE_VALUE for files and find handles.
template <class T>
T NullValue()
{
    return nullptr;
}
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Traits of a handle type from the call that closes it and its "none" value.
template <class T, auto close, T (*invalid)() = NullValue<T>>
struct HandleTraits {
    using Type = T;
    static T Invalid() { return invalid(); }
    static void Close(T value) { close(value); }
};

using UniqueHandle = UniqueResource<HandleTraits<HANDLE, ::CloseHandle>>;
using UniqueFileHandle = UniqueResource<HandleTraits<HANDLE, ::CloseHandle, InvalidHandleValue>>;
using UniqueFindHandle = UniqueResource<HandleTraits<HANDLE, ::FindClose, InvalidHandleValue>>;
using UniqueRegKey = UniqueResource<HandleTraits<HKEY, ::RegCloseKey>>;
using UniqueLocalMemory = UniqueResource<HandleTraits<HLOCAL, ::LocalFree>>;
using UniqueView = UniqueResource<HandleTraits<void*, ::UnmapViewOfFile>>;
using UniqueFont = UniqueResource<HandleTraits<HFONT, ::DeleteObject>>;
using UniqueCoTaskMemString = UniqueResource<HandleTraits<wchar_t*, ::CoTaskMemFree>>;

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

}  // namespace quro
