// A counted interface pointer: holds one reference and drops it on
// destruction. attach() adopts a reference the caller already owns; detach()
// gives the held reference away without releasing it.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own on `pointer`.
    explicit ComPtr(T* pointer) : pointer_(pointer) { addRef(); }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) { addRef(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        swap(copy);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr moved(std::move(other));
        swap(moved);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    friend bool operator==(const ComPtr& held, std::nullptr_t) { return held.pointer_ == nullptr; }
    friend bool operator!=(const ComPtr& held, std::nullptr_t) { return held.pointer_ != nullptr; }

    // Releases the held reference (if any) and holds nothing.
    void reset() {
        if (T* old = std::exchange(pointer_, nullptr)) {
            old->Release();
        }
    }
    // Releases the held reference and adopts `pointer`'s reference: no AddRef.
    void attach(T* pointer) {
        reset();
        pointer_ = pointer;
    }
    // Gives up the held reference without releasing it.
    [[nodiscard]] T* detach() { return std::exchange(pointer_, nullptr); }
    // For out-parameters: releases the held reference and returns the slot.
    T** put() {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Stores the pointer through `out` with a reference added.
    void copy_to(T** out) const {
        addRef();
        *out = pointer_;
    }
    void swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

    // QueryInterface for `U`; the result is empty when the object refuses.
    template <typename U> HRESULT query_to(ComPtr<U>& out) const {
        return pointer_->QueryInterface(__uuidof(U), out.put_void());
    }

private:
    void addRef() const {
        if (pointer_ != nullptr) {
            pointer_->AddRef();
        }
    }
    T* pointer_ = nullptr;
};
