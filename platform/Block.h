// A fill block: a byte string whose storage starts on a 4096-byte boundary, so that the
// unbuffered bulk write can hand it to the device without copying it first.
#pragma once

#include <cstddef>
#include <new>
#include <string>

template <class T>
struct PageAlignedAllocator {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{4096};

    PageAlignedAllocator() noexcept = default;
    template <class U>
    PageAlignedAllocator(const PageAlignedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new(n * sizeof(T), kAlignment));
    }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, kAlignment); }

    template <class U>
    bool operator==(const PageAlignedAllocator<U>&) const noexcept {
        return true;
    }
};

using Block = std::basic_string<char, std::char_traits<char>, PageAlignedAllocator<char>>;
