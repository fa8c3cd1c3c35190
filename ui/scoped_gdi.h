// Owners for GDI objects and for their selection into a device context, so
// that "select, draw, restore, delete" holds on every path. Declare the
// object before its selection: the selection is then undone first, and an
// object is never deleted while it is still selected.
#pragma once

#include <windows.h>

#include <utility>

namespace zalo {

// Sole owner of one GDI object (pen, brush, font); deletes it on reset and
// on destruction. A null handle (a failed creation) is simply not drawn with.
template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle h) : handle(h) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle, nullptr));
        return *this;
    }
    ~GdiObject() { reset(); }

    void reset(Handle h = nullptr) {
        if (handle != nullptr) DeleteObject(handle);
        handle = h;
    }
    Handle get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    Handle handle = nullptr;
};

using ScopedPen = GdiObject<HPEN>;
using ScopedBrush = GdiObject<HBRUSH>;
using ScopedFont = GdiObject<HFONT>;

// Selects an object into a DC for the scope and puts the previous one back.
// Selecting a null handle does nothing.
class SelectionScope {
public:
    SelectionScope(HDC dc, HGDIOBJ object)
        : dc(dc), previous(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;
    ~SelectionScope() {
        if (previous != nullptr) SelectObject(dc, previous);
    }

private:
    HDC dc;
    HGDIOBJ previous;
};

}  // namespace zalo
