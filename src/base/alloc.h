// The program's malloc-style allocations go through these few routines: a
// failed allocation takes one path (an exception caught by the command
// dispatcher), and a test can make any one allocation fail.
#pragma once

#include <cstddef>
#include <new>

// Running out of memory where the program has always named what it was
// allocating: the dispatcher prints this text instead of the generic one.
class alloc_error : public std::bad_alloc {
 public:
  explicit alloc_error(const char* text) noexcept : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;  // a literal of the program
};

// What leaves the process the least memory.
enum class memory_bound { machine, address_space, data_size, control_group };

struct memory_room {
  double bytes;
  memory_bound bound;
};

// A grid (or the drawing of one) that the process cannot hold, refused before
// any of it is taken: its points, the bytes it needs, the bytes left and what
// bounded them. The text is the allocation's own message, for commands that
// do not say more.
class memory_refusal : public alloc_error {
 public:
  memory_refusal(const char* text, double n, double need, memory_room left) noexcept
      : alloc_error(text), points(n), bytes(need), room(left.bytes), bound(left.bound) {}
  double points, bytes, room;
  memory_bound bound;
};

// Bytes the process may still take: the memory the machine has available
// (with the freed blocks the allocator keeps), bounded by what the process's
// address-space and data-size limits leave and by the memory limits of its
// control group and the groups above it, less what those groups use. The
// kernel lends untouched pages freely and ends a process that touches more
// than there is (or than its group may have), so a grid is measured against
// this before it is allocated.
memory_room kamemory_room();

// Throws memory_refusal(text or a generic message) when a grid of `points`
// points needing `bytes` more does not fit in kamemory_room(); small grids
// are not measured. `held` bytes the grid has already taken are counted in
// both what it needs and what was left, so the refusal speaks of the whole.
void kareserve(double points, double bytes, const char* text = nullptr, double held = 0);

// A block taken whose bytes are not all written yet. Its untouched pages
// show neither in the machine's available memory nor in a group's use until
// they are written, so what is left unwritten is set against the room of
// both for as long as the block is being filled.
class untouched_block {
 public:
  explicit untouched_block(double bytes) noexcept;
  ~untouched_block();
  untouched_block(const untouched_block&) = delete;
  untouched_block& operator=(const untouched_block&) = delete;
  // That many more of its bytes have been written.
  void written(double bytes) noexcept;

 private:
  double left_;
};

// Like std::malloc / std::calloc / std::realloc, but never return null: they
// throw alloc_error(text) when text is given, std::bad_alloc otherwise. A
// zero size still yields a block that kafree releases.
void* kamalloc(std::size_t size, const char* text = nullptr);
void* kacalloc(std::size_t count, std::size_t size, const char* text = nullptr);
void* karealloc(void* block, std::size_t size, const char* text = nullptr);
// Releases a block of the three above (null does nothing).
void kafree(void* block) noexcept;

// Typed forms for arrays of plain values.
template <class T>
T* kamalloc_n(std::size_t count, const char* text = nullptr) {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
  return static_cast<T*>(kamalloc(count * sizeof(T), text));
}
template <class T>
T* kacalloc_n(std::size_t count, const char* text = nullptr) {
  return static_cast<T*>(kacalloc(count, sizeof(T), text));
}
template <class T>
T* karealloc_n(T* block, std::size_t count, const char* text = nullptr) {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
  return static_cast<T*>(karealloc(block, count * sizeof(T), text));
}

// Test seam. before_alloc runs before every allocation (fresh: a new block,
// not the growth of one) and makes it fail by returning false; after_free
// runs after every release of a block.
struct alloc_observer {
  bool (*before_alloc)(bool fresh);
  void (*after_free)();
};
// Installs an observer (null: none); the caller keeps it alive.
void kaset_alloc_observer(const alloc_observer* observer);

// Keeps freed grid-sized blocks in the process instead of handing them back
// to the kernel, so that the steps of a time loop reuse the pages of the step
// before rather than faulting fresh ones in. Called once at start-up.
void kakeep_freed_blocks();

// Hands the freed pages kept above back to the kernel: called where the
// session lets go of grids for good or waits for its user, never between the
// steps of a loop.
void kagive_back_freed() noexcept;

// Before a grid is refused for want of room, what the session holds only to
// go faster (the buffers of reads past) is given back through this, and the
// room measured again; it returns true when it gave anything back. Null: none.
void kaset_memory_giver(bool (*give_back)());

// Test seam: /proc/meminfo, /proc/self/cgroup and /sys/fs/cgroup are read
// under root instead (null: the system's own). The process's own status and
// limits are always its own.
void kaset_system_root(const char* root);

// A copy of a C string in a block that kafree releases.
char* kastrdup(const char* text);
