#pragma once
// The bytes of a file or a stream as a reader walks through them: a window
// over the input that slides forward, refilled with read(2) in large pieces,
// so that parsing a record is a look at memory and the frames it holds can be
// handed on without a copy. Offsets are those of the input, from its first
// byte. The window grows only to hold bytes that have really arrived: a
// length read from the input never sizes an allocation by itself.
//
// Used by one thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace qv {

class InputWindow {
 public:
  // Reads `fd` (not owned) after the bytes `alreadyRead`, which were taken
  // from it before (to look at a magic number; a pipe cannot give them back).
  InputWindow(int fd, std::span<const std::uint8_t> alreadyRead);
  ~InputWindow();
  InputWindow(const InputWindow&) = delete;
  InputWindow& operator=(const InputWindow&) = delete;

  // Makes `count` bytes from the current offset available; false when the
  // input ends (or fails) before. Failure() then says why, when it failed.
  bool Ensure(std::size_t count);
  // The bytes from the current offset; Ensure() said how many are there.
  const std::uint8_t* Here() const { return data_.get() + position_; }
  std::size_t Available() const { return filled_ - position_; }
  // Moves on by `count` bytes, at most Available().
  void Advance(std::size_t count) { position_ += count; }
  // Moves on by `count` bytes, reading through what the window does not
  // hold; false when the input ends before.
  bool Skip(std::uint64_t count);

  // The input offset of Here().
  std::uint64_t Offset() const { return base_ + position_; }
  // Every byte read from the input so far (for progress).
  std::uint64_t Consumed() const { return base_ + filled_; }
  const std::string& Failure() const { return failure_; }

  // Reads never go past this input offset (a file still being written,
  // whose complete part is known): there the input pauses rather than ends,
  // and reading goes on once the limit is raised.
  void SetLimit(std::uint64_t offset) { limit_ = offset; }

  // The most a single Ensure() may ask for.
  static constexpr std::size_t kLargest = 64u << 20;

 private:
  // Reads once into the free room at the end; false at the end of the
  // input or on a failure.
  bool Fill();

  static constexpr std::size_t kReadSize = 1u << 20;
  const int fd_;
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t position_ = 0;  // of Here() in data_
  std::size_t filled_ = 0;    // bytes of data_ holding input
  std::uint64_t base_ = 0;    // the input offset of data_[0]
  bool ended_ = false;
  std::uint64_t limit_ = UINT64_MAX;
  std::string failure_;
};

}  // namespace qv
