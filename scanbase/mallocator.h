// An allocator adapter over the guarded heap, so the deep scan's hit vectors count in the
// heap's usage and carry its guards. A size whose byte count overflows is the fatal
// allocation stop, as any failed allocation of the guarded heap is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/heap.h"
#include "platform/hooks.h"

template <class T, unsigned Tag = 67>
struct Mallocator {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = Mallocator<U, Tag>;
  };
  Mallocator() = default;
  template <class U>
  constexpr Mallocator(const Mallocator<U, Tag>&) noexcept {}

  // The guarded heap's size field has 32 bits.
  static constexpr size_t max_size() noexcept { return size_t(0xFFFFFF00u) / sizeof(T); }

  T* allocate(size_t n) {
    size_t bytes = 0;
    if (n > max_size() || __builtin_mul_overflow(n, sizeof(T), &bytes))
      ExitOnException(1, u"Mallocator<T>::allocate() - Integer overflow.");
    return static_cast<T*>(AllocMem(bytes, Tag));
  }
  void deallocate(T* p, size_t) noexcept { FreeMem(p); }

  template <class U>
  bool operator==(const Mallocator<U, Tag>&) const noexcept { return true; }
};
