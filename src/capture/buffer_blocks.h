#pragma once
// Where the packet buffer gets its memory. Blocks are large (megabytes), so
// getting one is slow: the kernel has to find and zero its pages. A capture
// thread that did this itself would stall for tens of milliseconds at a time
// while frames pile up in the kernel's buffer, so a helper thread keeps one
// block ready, and the capture thread only swaps it in.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace qv {

// The allocation seam: the program maps memory from the kernel; tests hand
// out memory until a limit and then refuse, as a full machine would.
class BlockAllocator {
 public:
  virtual ~BlockAllocator() = default;
  // `bytes` of writable memory, or null when none can be had. With `prefault`
  // the pages are made present at once (slow, but the copies into them then
  // never fault).
  virtual std::uint8_t* Allocate(std::size_t bytes, bool prefault) = 0;
  virtual void Release(std::uint8_t* block, std::size_t bytes) = 0;
};

// Anonymous mappings, backed by huge pages where the kernel allows.
class MappedBlockAllocator : public BlockAllocator {
 public:
  std::uint8_t* Allocate(std::size_t bytes, bool prefault) override;
  void Release(std::uint8_t* block, std::size_t bytes) override;
  static MappedBlockAllocator& Instance();
};

// Keeps one prefaulted block of a fixed size ready, made on a thread of its
// own. Take() never waits for the kernel: when the spare is not ready yet it
// returns null and the caller maps a block without prefaulting.
class SpareBlock {
 public:
  SpareBlock(BlockAllocator& allocator, std::size_t size);
  ~SpareBlock();
  SpareBlock(const SpareBlock&) = delete;
  SpareBlock& operator=(const SpareBlock&) = delete;

  std::uint8_t* Take();
  // The spare is given back to the allocator (when the buffer's memory
  // must shrink, or the allocator changes).
  void Drop();

 private:
  void Run();

  BlockAllocator& allocator_;
  const std::size_t size_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint8_t* spare_ = nullptr;
  bool wanted_ = true;
  bool stop_ = false;
  bool failed_ = false;  // the last attempt got nothing: wait until asked again
  std::thread thread_;
};

}  // namespace qv
