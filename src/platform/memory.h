#pragma once
// What the process holds in memory, and the budget a conversion may use.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace quillon::platform {

// Whether the build checks for leaks (the address sanitizer's leak checker):
// memory a process would otherwise leave to the system at exit is freed then.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kLeakChecked = true;
#else
inline constexpr bool kLeakChecked = false;
#endif
#else
inline constexpr bool kLeakChecked = false;
#endif

// Bytes of physical memory the process holds now (its resident set); 0 when
// the system does not say.
uint64_t ResidentBytes();

// Bytes of physical memory of the machine; 0 when unknown.
uint64_t PhysicalMemoryBytes();

// The budget of a conversion when none is set: the value given to
// SetDefaultMemoryBudget (the user's stored setting), else half the
// machine's memory, so one bad input can neither push the desktop into swap
// nor be killed without a word; 4 GiB when the machine's size is unknown.
uint64_t DefaultMemoryBudget();

// Makes bytes the default budget of every conversion the process starts from
// now on; 0 brings back the share of the machine's memory. The budget is the
// process's, as the resident memory it is checked against is.
void SetDefaultMemoryBudget(uint64_t bytes);

// For a process that converts file after file: memory a conversion frees
// stays with the allocator for the next one instead of going back to the
// system, so the next file's rasters do not fault in fresh zeroed pages (page
// faults of two conversions side by side also queue on the one address
// space's lock). Blocks above 32 MiB still come from and go back to the
// system at once, and at most 64 MiB of free memory is kept at the top of
// each heap, so what a long run holds stays near its largest conversion.
void KeepFreedMemoryForReuse();

// Gives the pages of freed heap blocks back to the system, wherever they lie
// in the heap (millions of small blocks freed at once leave whole pages free
// that the allocator would otherwise keep). Later allocations fault in fresh
// pages again, so only worth it where the freed memory is not needed soon.
void ReturnFreedMemory();

// Blocks for large arrays that one stage of a conversion fills and frees
// (millions of small records): mapped straight from the system and given
// back the moment they are freed, whatever the allocator keeps, in
// transparent huge pages where the system offers them on request, so that
// filling one costs a page fault per 2 MiB instead of per 4 KiB. Null when
// the system refuses.
inline constexpr size_t kLargeBlockBytes = size_t{2} << 20;
void* MapLargeBlock(size_t bytes);
void UnmapLargeBlock(void* block, size_t bytes);

// While one lives, the first large block freed on its thread is kept mapped
// and given to the next large block of its size or less that thread asks for
// (the rest of it goes back): a stage that trades one large array for another
// (a sort's scratch for the array built next) reuses pages already faulted in
// instead of having the system zero fresh ones. A block still kept at its end
// is unmapped then. Not nested.
class LargeBlockHandOver {
 public:
  LargeBlockHandOver();
  ~LargeBlockHandOver();
  LargeBlockHandOver(const LargeBlockHandOver&) = delete;
  LargeBlockHandOver& operator=(const LargeBlockHandOver&) = delete;
};

// While one lives, a thread of its own faults in the pages the C library's
// heap grows by, ahead of the first allocation that lands on them: the heap
// is asked to grow by `ahead` bytes more than each request, and the system
// zeroes the fresh pages on that thread instead of on the one allocating. For
// a stage that allocates a million small blocks on one core while the other
// idles (tracing a noisy scan), where zeroing fresh pages takes much of the
// allocating thread's time. The pages keep their contents (they are only
// faulted in), so nothing the program computes changes. Only for the
// program's first thread (the others allocate from arenas of their own): on
// any other, and where the system cannot fault pages in on request or no
// thread can be had, it does nothing. The heap's growth step goes back to the
// library's default at its end. Not nested.
class HeapPrefault {
 public:
  // Two huge pages: a few milliseconds of a noisy scan's polylines, and
  // little faulted in for nothing where the heap stays small.
  static constexpr size_t kDefaultAhead = size_t{4} << 20;
  explicit HeapPrefault(size_t ahead = kDefaultAhead);
  ~HeapPrefault();
  HeapPrefault(const HeapPrefault&) = delete;
  HeapPrefault& operator=(const HeapPrefault&) = delete;
  // Pages faulted in so far (for tests).
  size_t faultedBytes() const;

 private:
  struct State;
  State* state_ = nullptr;
};

// While one lives, a thread of its own faults in the pages of a freshly
// mapped block from its far end back, while the calling thread fills it from
// its start: the two cores share the zeroing of its pages, meeting about
// halfway. Contents are left alone. Does nothing where the system cannot
// fault pages in on request or no thread can be had.
class BlockPrefault {
 public:
  BlockPrefault(void* block, size_t bytes);
  ~BlockPrefault();
  BlockPrefault(const BlockPrefault&) = delete;
  BlockPrefault& operator=(const BlockPrefault&) = delete;

 private:
  struct State;
  State* state_ = nullptr;
};

// An allocator for std::vector that takes blocks of kLargeBlockBytes and
// more from MapLargeBlock, smaller ones from the ordinary heap.
template <typename T>
class LargeArrayAllocator {
 public:
  using value_type = T;
  LargeArrayAllocator() = default;
  template <typename U>
  LargeArrayAllocator(const LargeArrayAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    const size_t bytes = n * sizeof(T);
    if (bytes < kLargeBlockBytes) return static_cast<T*>(::operator new(bytes));
    void* block = MapLargeBlock(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }
  void deallocate(T* p, size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kLargeBlockBytes) {
      ::operator delete(p);
    } else {
      UnmapLargeBlock(p, bytes);
    }
  }
  template <typename U>
  bool operator==(const LargeArrayAllocator<U>&) const {
    return true;
  }
};

// For a program about to hold millions of small blocks (the polylines of a
// noisy scan): starts the program again, once, with the C library's heap in
// transparent huge pages (GLIBC_TUNABLES=glibc.malloc.hugetlb=1), which the
// library only reads at start-up. That saves most page faults and TLB misses
// of a large conversion (noisy A0 scan: about a sixth of its CPU time). Does
// nothing and returns when GLIBC_TUNABLES is set already (by the user, or
// by the restart itself), when the system has no transparent huge pages, or
// when the program cannot be started again; otherwise it does not return.
void RestartWithHugePageHeap(char** argv);

}  // namespace quillon::platform
