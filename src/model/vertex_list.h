#pragma once
// A polyline's vertex record and the list that holds them. A noisy scan
// makes a million polylines of two vertices each: the list keeps up to two
// vertices inside itself, in the space that otherwise holds the pointer to
// its heap array, so such a polyline costs one allocation instead of two.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "model/geometry.h"

namespace quillon::model {

// One polyline vertex (also the end records of a line). The bulge belongs to
// the segment that starts at this vertex. Kept to 56 bytes (no padding): a
// noisy scan holds millions of vertices at once.
struct PolyVertex {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double startWidth = 0.0;  // width at this vertex for the segment that starts here
  double endWidth = 0.0;    // width at the end of that segment
  int32_t flags = 0;        // copied, not interpreted
  // In a polyline's own vertices: a visited mark for circle recognition, 0
  // when the vertex is made. In a display approximation: the index of the
  // polyline vertex the point was generated from.
  int32_t mark = 0;
  double bulge = 0.0;  // |bulge| < kTolerance: straight

  Point3 point() const { return Point3{x, y, z}; }
  void setPoint(const Point3& p) {
    x = p.x;
    y = p.y;
    z = p.z;
  }
  bool hasBulge() const { return bulge >= kTolerance || bulge <= -kTolerance; }
};
static_assert(sizeof(PolyVertex) == 56, "a field that leaves padding costs every vertex of a noisy scan");

// A contiguous sequence of vertices with the interface of std::vector that
// the model and the stages use. Up to kInline vertices live in the list
// itself; beyond that they move to one heap array, which the list keeps
// (like a vector, clear() keeps its capacity). Iterators are pointers and,
// unlike a vector's, do not survive a move or swap of a list whose vertices
// are held inline.
class VertexList {
 public:
  using value_type = PolyVertex;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using reference = PolyVertex&;
  using const_reference = const PolyVertex&;
  using pointer = PolyVertex*;
  using const_pointer = const PolyVertex*;
  using iterator = PolyVertex*;
  using const_iterator = const PolyVertex*;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  static constexpr size_type kInline = 2;

  VertexList() noexcept = default;
  VertexList(std::initializer_list<PolyVertex> init) { assign(init.begin(), init.end()); }
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  VertexList(It first, It last) {
    assign(first, last);
  }
  VertexList(size_type count, const PolyVertex& value) { assign(count, value); }
  explicit VertexList(size_type count) { resize(count); }
  VertexList(const VertexList& other) { assign(other.begin(), other.end()); }
  VertexList(VertexList&& other) noexcept { takeFrom(other); }
  ~VertexList() { release(); }

  VertexList& operator=(const VertexList& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  VertexList& operator=(VertexList&& other) noexcept {
    if (this != &other) {
      release();
      takeFrom(other);
    }
    return *this;
  }
  VertexList& operator=(std::initializer_list<PolyVertex> init) {
    assign(init.begin(), init.end());
    return *this;
  }

  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  void assign(It first, It last) {
    // The source may lie in this list (assign from its own range): copy first.
    VertexList fresh;
    if constexpr (std::is_base_of_v<std::forward_iterator_tag, typename std::iterator_traits<It>::iterator_category>) {
      fresh.reserve(static_cast<size_type>(std::distance(first, last)));
    }
    for (; first != last; ++first) fresh.push_back(*first);
    if (fresh.size_ <= capacity_) {
      std::copy(fresh.begin(), fresh.end(), begin());
      size_ = fresh.size_;
    } else {
      *this = std::move(fresh);
    }
  }
  void assign(size_type count, const PolyVertex& value) {
    const PolyVertex copy = value;
    clear();
    reserve(count);
    std::fill_n(data(), count, copy);
    size_ = static_cast<uint32_t>(count);
  }

  // --- access ------------------------------------------------------------------
  PolyVertex* data() noexcept { return onHeap() ? store_.heap : local(); }
  const PolyVertex* data() const noexcept { return onHeap() ? store_.heap : local(); }
  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size_; }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size_; }
  const_iterator cbegin() const noexcept { return begin(); }
  const_iterator cend() const noexcept { return end(); }
  reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
  reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
  const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
  PolyVertex& operator[](size_type i) { return data()[i]; }
  const PolyVertex& operator[](size_type i) const { return data()[i]; }
  PolyVertex& front() { return data()[0]; }
  const PolyVertex& front() const { return data()[0]; }
  PolyVertex& back() { return data()[size_ - 1]; }
  const PolyVertex& back() const { return data()[size_ - 1]; }

  // --- size --------------------------------------------------------------------
  bool empty() const noexcept { return size_ == 0; }
  size_type size() const noexcept { return size_; }
  size_type capacity() const noexcept { return capacity_; }
  static constexpr size_type max_size() noexcept { return UINT32_MAX; }
  // Throws std::length_error beyond max_size(), std::bad_alloc when out of
  // memory (the list is then unchanged).
  void reserve(size_type count) {
    if (count > capacity_) reallocate(count);
  }
  // Back into the list itself when the vertices fit, else an array of
  // exactly size() vertices.
  void shrink_to_fit() {
    if (onHeap() && size_ < capacity_) reallocate(size_);
  }
  // Keeps the capacity, as a vector does.
  void clear() noexcept { size_ = 0; }
  void resize(size_type count) { resize(count, PolyVertex{}); }
  void resize(size_type count, const PolyVertex& value) {
    if (count <= size_) {
      size_ = static_cast<uint32_t>(count);
      return;
    }
    const PolyVertex copy = value;
    grow(count);
    std::fill(data() + size_, data() + count, copy);
    size_ = static_cast<uint32_t>(count);
  }

  // --- changes -----------------------------------------------------------------
  void push_back(const PolyVertex& v) {
    if (size_ == capacity_) {
      const PolyVertex copy = v;  // v may be one of ours
      grow(size_ + 1);
      data()[size_++] = copy;
      return;
    }
    data()[size_++] = v;
  }
  template <typename... Args>
  PolyVertex& emplace_back(Args&&... args) {
    PolyVertex v{std::forward<Args>(args)...};
    push_back(v);
    return back();
  }
  void pop_back() noexcept { --size_; }
  iterator insert(const_iterator at, const PolyVertex& v) { return insert(at, size_type{1}, v); }
  iterator insert(const_iterator at, size_type count, const PolyVertex& v) {
    const PolyVertex copy = v;
    const size_type index = static_cast<size_type>(at - begin());
    openGap(index, count);
    std::fill_n(data() + index, count, copy);
    return data() + index;
  }
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  iterator insert(const_iterator at, It first, It last) {
    const size_type index = static_cast<size_type>(at - begin());
    const VertexList copy(first, last);  // the range may lie in this list
    openGap(index, copy.size());
    std::copy(copy.begin(), copy.end(), data() + index);
    return data() + index;
  }
  iterator insert(const_iterator at, std::initializer_list<PolyVertex> init) {
    return insert(at, init.begin(), init.end());
  }
  iterator erase(const_iterator at) { return erase(at, at + 1); }
  iterator erase(const_iterator first, const_iterator last) {
    PolyVertex* from = begin() + (first - cbegin());
    PolyVertex* to = begin() + (last - cbegin());
    std::copy(to, end(), from);
    size_ -= static_cast<uint32_t>(to - from);
    return from;
  }
  void swap(VertexList& other) noexcept {
    VertexList t(std::move(other));
    other = std::move(*this);
    *this = std::move(t);
  }
  friend void swap(VertexList& a, VertexList& b) noexcept { a.swap(b); }


 private:
  static_assert(std::is_trivially_copyable_v<PolyVertex> && std::is_trivially_destructible_v<PolyVertex>,
                "vertices are moved by plain copies and never destroyed one by one");

  bool onHeap() const noexcept { return capacity_ > kInline; }
  PolyVertex* local() noexcept { return std::launder(reinterpret_cast<PolyVertex*>(store_.local)); }
  const PolyVertex* local() const noexcept {
    return std::launder(reinterpret_cast<const PolyVertex*>(store_.local));
  }

  void release() noexcept {
    if (onHeap()) ::operator delete(store_.heap);
    capacity_ = kInline;
    size_ = 0;
  }
  // Takes other's vertices (its array, or copies of its inline ones);
  // other is left empty. This list must hold nothing on the heap.
  void takeFrom(VertexList& other) noexcept {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (other.onHeap()) {
      store_.heap = other.store_.heap;
    } else {
      std::memcpy(store_.local, other.store_.local, sizeof store_.local);
    }
    other.capacity_ = kInline;
    other.size_ = 0;
  }
  // Room for `needed` vertices, growing by half as much again at least.
  void grow(size_type needed) {
    if (needed <= capacity_) return;
    reallocate(std::max(needed, static_cast<size_type>(capacity_) + capacity_ / 2));
  }
  void reallocate(size_type count) {
    if (count > max_size()) throw std::length_error("VertexList");
    if (count <= kInline) {
      if (!onHeap()) return;
      PolyVertex* old = store_.heap;
      std::memcpy(store_.local, old, size_ * sizeof(PolyVertex));
      ::operator delete(old);
      capacity_ = kInline;
      return;
    }
    auto* fresh = static_cast<PolyVertex*>(::operator new(count * sizeof(PolyVertex)));
    if (size_ > 0) std::memcpy(static_cast<void*>(fresh), data(), size_ * sizeof(PolyVertex));
    if (onHeap()) ::operator delete(store_.heap);
    store_.heap = fresh;
    capacity_ = static_cast<uint32_t>(count);
  }
  // Moves the vertices from index on `count` places back (growing as needed).
  void openGap(size_type index, size_type count) {
    if (count == 0) return;
    grow(size_ + count);
    PolyVertex* base = data();
    std::memmove(static_cast<void*>(base + index + count), base + index, (size_ - index) * sizeof(PolyVertex));
    size_ += static_cast<uint32_t>(count);
  }

  uint32_t size_ = 0;
  uint32_t capacity_ = kInline;  // kInline or less: the vertices are in store_.local
  union Store {
    PolyVertex* heap;
    alignas(PolyVertex) unsigned char local[kInline * sizeof(PolyVertex)];
  } store_{};
};

}  // namespace quillon::model
