#pragma once
// Filters on a capture handle. At Start the capture thread compiles and sets
// its filter itself. Later a new filter comes from the interface thread while
// the capture thread reads: the interface compiles it on the open handle (the
// compiler only reads the handle's link type and options) and hands the
// program over through a FilterSlot; the capture thread sets it between two
// reads, so pcap_setfilter never runs beside pcap_next_ex.

#include <pcap/pcap.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/user_prompt.h"

namespace qv {

inline constexpr const char* kFilterCompileFailed = "Niemożebnym li jest kompilacja filtru:\n";
inline constexpr const char* kFilterSetFailed = "Jakowyś błąd przy ustawianiu li filtru:\n";
inline constexpr const char* kFilterNotApplied = "Nie udało się założyć filtra:(";

// 255.255.255.0 in network byte order: the netmask when an adapter has none.
std::uint32_t DefaultNetmask();
// The IPv4 netmask of the adapter's address (network byte order), or the
// default when it has none.
std::uint32_t AdapterNetmask(const std::string& adapter);

// A compiled filter program, freed once.
class CompiledFilter {
 public:
  CompiledFilter() = default;
  ~CompiledFilter();
  CompiledFilter(CompiledFilter&& other) noexcept;
  CompiledFilter& operator=(CompiledFilter&& other) noexcept;
  CompiledFilter(const CompiledFilter&) = delete;
  CompiledFilter& operator=(const CompiledFilter&) = delete;

  bpf_program* Program() { return &program_; }
  const bpf_program* Program() const { return &program_; }
  bool Valid() const { return valid_; }
  // pcap_compile on `handle` into this program; false on failure.
  bool Compile(pcap_t* handle, const std::string& text, bool optimise, std::uint32_t netmask);

 private:
  bpf_program program_{};
  bool valid_ = false;
};

struct FilterCompile {
  CompiledFilter filter;
  std::string error;  // the library's text when compiling failed
  bool ok = false;
};

// pcap_compile on `handle`; the handle's error text on failure.
FilterCompile CompileFilter(pcap_t* handle, const std::string& text, bool optimise, std::uint32_t netmask);

// Compiles and sets `text` on a handle this thread reads; on failure shows
// the compile or set message with the library's text and returns false.
bool SetFilterOnHandle(pcap_t* handle, const std::string& text, std::uint32_t netmask, UserPrompt& prompt);

class FilterSlot {
 public:
  ~FilterSlot();
  // --- the capture thread ---
  void Attach(pcap_t* handle);
  // For a source that sets its filters elsewhere (the capture helper
  // compiles and sets them itself): the interface thread compiles on a
  // handle of the slot's own for the source's link type, so that its
  // messages stay as they are, and the text goes to the source.
  void AttachElsewhere(int linkType, int snapshotLength);
  // The text handed over since the last call, if one was; Served() then
  // tells the interface thread how it went.
  std::optional<std::string> TakeHandedText();
  void Served(bool ok, std::string error);
  // Before the handle is closed; waits for a compile on it to end.
  void Detach();
  // Between reads: sets a program handed over since the last call.
  void ServePending();

  // --- the interface thread ---
  bool Attached() const;
  // Compiles on the attached handle; none when no handle is attached.
  std::optional<FilterCompile> Compile(const std::string& text, bool optimise, std::uint32_t netmask);

  enum class HandOver { Set, SetFailed, Pending, NoHandle };
  struct HandResult {
    HandOver result = HandOver::NoHandle;
    std::string error;  // the library's text for SetFailed
  };
  // Hands `filter` to the capture thread and waits up to `wait` for it to be
  // set. When the wait runs out the program stays pending and is set at the
  // capture thread's next turn.
  HandResult Hand(CompiledFilter filter, std::chrono::milliseconds wait, std::string text = {});

 private:
  mutable std::mutex mutex_;
  std::condition_variable served_;
  pcap_t* handle_ = nullptr;
  pcap_t* ownHandle_ = nullptr;  // the handle of AttachElsewhere()
  std::optional<std::string> handedText_;
  bool textTaken_ = false;  // handed to the source, its answer awaited
  std::unique_ptr<CompiledFilter> pending_;
  std::uint64_t handed_ = 0;  // programs handed over so far
  std::uint64_t done_ = 0;    // of them, served (set or failed)
  HandResult last_;
};

}  // namespace qv
