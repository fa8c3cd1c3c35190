// An owning COM interface pointer: Release() once, when it is reset or goes
// out of scope, so that every early exit of an open sequence releases what it
// had obtained. Only the destructor and reset() call into the interface, so a
// class may hold ComPtr<I> of an interface its header only names, as long as
// that class's destructor is defined where I is complete.
#pragma once

namespace zalo {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return pointer; }
    T* operator->() const { return pointer; }

    // For the out-parameter of a call that hands over a reference: releases
    // the current one first.
    T** put() {
        reset();
        return &pointer;
    }
    // The same, typed for QueryInterface, Activate and CoCreateInstance.
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (pointer != nullptr) pointer->Release();
        pointer = nullptr;
    }

private:
    T* pointer = nullptr;
};

}  // namespace zalo
