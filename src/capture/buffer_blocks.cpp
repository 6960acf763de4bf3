#include "capture/buffer_blocks.h"

#include <sys/mman.h>

namespace qv {

namespace {
constexpr std::size_t kPage = 4096;
std::size_t Rounded(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }
}  // namespace

std::uint8_t* MappedBlockAllocator::Allocate(std::size_t bytes, bool prefault) {
  const std::size_t rounded = Rounded(bytes);
  void* memory = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  // Both are hints: an older kernel refuses them and faults pages in as usual.
  // Huge pages only when prefaulting: finding one may mean compacting memory,
  // which must not happen on the capture thread's first touch.
  if (prefault) {
#ifdef MADV_HUGEPAGE
    madvise(memory, rounded, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(memory, rounded, MADV_POPULATE_WRITE);
#endif
  }
  return static_cast<std::uint8_t*>(memory);
}

void MappedBlockAllocator::Release(std::uint8_t* block, std::size_t bytes) { munmap(block, Rounded(bytes)); }

MappedBlockAllocator& MappedBlockAllocator::Instance() {
  static MappedBlockAllocator allocator;
  return allocator;
}

SpareBlock::SpareBlock(BlockAllocator& allocator, std::size_t size)
    : allocator_(allocator), size_(size), thread_([this] { Run(); }) {}

SpareBlock::~SpareBlock() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (spare_ != nullptr) allocator_.Release(spare_, size_);
}

std::uint8_t* SpareBlock::Take() {
  std::uint8_t* block = nullptr;
  {
    std::lock_guard lock(mutex_);
    block = spare_;
    spare_ = nullptr;
    wanted_ = true;
    failed_ = false;
  }
  wake_.notify_all();
  return block;
}

void SpareBlock::Drop() {
  std::uint8_t* block = nullptr;
  {
    std::lock_guard lock(mutex_);
    block = spare_;
    spare_ = nullptr;
    wanted_ = false;
  }
  if (block != nullptr) allocator_.Release(block, size_);
}

void SpareBlock::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || (wanted_ && spare_ == nullptr && !failed_); });
    if (stop_) return;
    lock.unlock();
    std::uint8_t* block = allocator_.Allocate(size_, true);
    lock.lock();
    if (block == nullptr) {
      failed_ = true;
    } else if (stop_ || !wanted_ || spare_ != nullptr) {
      lock.unlock();
      allocator_.Release(block, size_);
      lock.lock();
    } else {
      spare_ = block;
    }
  }
}

}  // namespace qv
