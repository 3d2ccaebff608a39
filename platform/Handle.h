// CHandle: the owner of one system handle (a file descriptor, a service or
// registry handle of the seam, ...), closed when the owner goes. Move-only;
// kInvalid is the value that owns nothing.
// Thread safety: one owner belongs to one thread at a time.
#pragma once

#include <utility>

template <typename T, void (*pfnClose)(T), T kInvalid = T()>
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(T h) : m_h(h) {}
    ~CHandle() { Reset(); }

    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_h(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    T Get() const { return m_h; }
    bool IsValid() const { return m_h != kInvalid; }
    explicit operator bool() const { return IsValid(); }

    // Gives the handle up without closing it.
    T Release() { return std::exchange(m_h, kInvalid); }
    // Closes the handle held (if any) and takes h.
    void Reset(T h = kInvalid) {
        T hOld = std::exchange(m_h, h);
        if (hOld != kInvalid) pfnClose(hOld);
    }

private:
    T m_h = kInvalid;
};
