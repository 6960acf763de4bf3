// The capture session on frames the test controls: adapters are savefiles
// (or pipes) served by a fake backend, so the live path — adapter choice,
// limits, when-full actions, clearing — runs deterministically.

#include "capture/capture_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <thread>

#include "decode/text_format.h"
#include "decode_helpers.h"
#include "session_harness.h"

namespace qv {
namespace {

using namespace qv::testing;

// Protocol reports of all four layers (and the unnamed ones).
std::uint32_t LayerTotal(SessionStatistics& statistics) {
  std::uint32_t total = 0;
  for (int layer = 1; layer <= LayerCounters::kLayers; ++layer) {
    const LayerSnapshot s = statistics.layers.Snapshot(layer);
    total += s.others;
    for (const ProtocolCount& p : s.protocols) total += p.count;
  }
  return total;
}

std::uint32_t ReportsPerTaggedFrame() {
  const SummaryDecode d = DecodeSummaryOf(TaggedFrame(0));
  std::uint32_t n = 0;
  for (const std::string& p : d.sink.protocols) {
    const int layer = p.back() - '0';
    if (layer >= 1 && layer <= LayerCounters::kLayers) ++n;
  }
  return n;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Le32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Le16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

Bytes PcapFileHeader() {
  Bytes b;
  Le32(b, 0xa1b2c3d4);
  Le16(b, 2);
  Le16(b, 4);
  Le32(b, 0);
  Le32(b, 0);
  Le32(b, 65535);
  Le32(b, 1);
  return b;
}

Bytes PcapRecord(const Bytes& frame, std::uint32_t seconds, std::uint32_t microseconds, std::uint32_t wire = 0) {
  Bytes b;
  Le32(b, seconds);
  Le32(b, microseconds);
  Le32(b, static_cast<std::uint32_t>(frame.size()));
  Le32(b, wire != 0 ? wire : static_cast<std::uint32_t>(frame.size()));
  b.insert(b.end(), frame.begin(), frame.end());
  return b;
}

// A pcapng section: header block, one Ethernet interface, and one enhanced
// packet block per frame (time stamps in microseconds).
Bytes PcapngFile(const std::vector<Bytes>& frames, std::uint64_t firstMicroseconds) {
  Bytes b;
  Le32(b, 0x0A0D0D0A);  // section header block
  Le32(b, 28);
  Le32(b, 0x1A2B3C4D);
  Le16(b, 1);
  Le16(b, 0);
  Le32(b, 0xFFFFFFFF);  // section length unknown
  Le32(b, 0xFFFFFFFF);
  Le32(b, 28);
  Le32(b, 1);  // interface description block
  Le32(b, 20);
  Le16(b, 1);  // Ethernet
  Le16(b, 0);
  Le32(b, 0);
  Le32(b, 20);
  std::uint64_t ts = firstMicroseconds;
  for (const Bytes& f : frames) {
    const std::uint32_t padded = static_cast<std::uint32_t>((f.size() + 3) / 4 * 4);
    const std::uint32_t length = 32 + padded;
    Le32(b, 6);  // enhanced packet block
    Le32(b, length);
    Le32(b, 0);
    Le32(b, static_cast<std::uint32_t>(ts >> 32));
    Le32(b, static_cast<std::uint32_t>(ts));
    Le32(b, static_cast<std::uint32_t>(f.size()));
    Le32(b, static_cast<std::uint32_t>(f.size()));
    b.insert(b.end(), f.begin(), f.end());
    b.insert(b.end(), padded - f.size(), 0);
    Le32(b, length);
    ++ts;
  }
  return b;
}

// --- adapter choice -----------------------------------------------------------

TEST(CaptureSession, StartChoosesTheAdapter) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    bool listFails;
    std::string remembered;  // "CurrentDevice" before Start
    std::optional<std::size_t> dialogAnswer;
    const char* capturesOn;  // null: nothing starts
    const char* message;     // null: none
    int dialogs;
  };
  const Case cases[] = {
      {"one adapter, none remembered", {"eth0"}, false, "", std::nullopt, "eth0", nullptr, 0},
      {"remembered adapter", {"eth0", "eth1"}, false, "eth1", std::nullopt, "eth1", nullptr, 0},
      {"remembered adapter is gone", {"eth0", "eth1"}, false, "wlan0", 0, nullptr,
       "Wrong device. Neither selected.", 0},
      {"remembered name compared exactly", {"eth0", "eth1"}, false, "ETH1", 0, nullptr,
       "Wrong device. Neither selected.", 0},
      {"one adapter, another remembered", {"eth0"}, false, "eth7", 0, nullptr, "Wrong device. Neither selected.", 0},
      {"several adapters: the dialog", {"eth0", "eth1", "lo"}, false, "", 2, "lo", nullptr, 1},
      {"dialog cancelled", {"eth0", "eth1"}, false, "", std::nullopt, nullptr, nullptr, 1},
      {"listing fails", {}, true, "", std::nullopt, nullptr,
       "Błąd w funkcji \"pcap_findalldevs\"!  socket: Address family not supported by protocol", 0},
      {"no adapters", {}, false, "", std::nullopt, nullptr, "Nie znalazłem żadnych interfejsów sieciowych!", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    for (const std::string& name : c.names) {
      s.backend.adapters.adapters.push_back({name, "Adapter " + name});
      s.backend.files[name] = s.dir.File(name + ".pcap");
      WriteTaggedFile(s.backend.files[name], 1);
    }
    s.backend.adapters.failed = c.listFails;
    if (c.listFails) s.backend.adapters.error = "socket: Address family not supported by protocol";
    if (!c.remembered.empty()) s.settings.SetString("pcap", "CurrentDevice", c.remembered);
    s.prompt.adapterChoice = c.dialogAnswer;

    if (c.capturesOn != nullptr) {
      s.CaptureToEnd();
      EXPECT_EQ(s.backend.Opened(), std::vector<std::string>{c.capturesOn});
      EXPECT_EQ(s.settings.GetString("pcap", "CurrentDevice"), c.capturesOn);
      EXPECT_EQ(s.doc->PacketCount(), 1u);
      EXPECT_EQ(s.observer->started, 1);
      EXPECT_FALSE(s.observer->lastEndFailed);
    } else {
      EXPECT_FALSE(s.doc->Start());
      EXPECT_TRUE(s.doc->CanStart());
      EXPECT_EQ(s.observer->started, 0);
      EXPECT_TRUE(s.backend.Opened().empty());
      const std::optional<std::string> stored = s.settings.GetString("pcap", "CurrentDevice");
      EXPECT_EQ(stored.value_or(""), c.remembered);
    }
    EXPECT_EQ(s.prompt.AdapterDialogs(), c.dialogs);
    EXPECT_EQ(s.prompt.Messages(), c.message != nullptr ? std::vector<std::string>{c.message}
                                                         : std::vector<std::string>{});
  }
}

TEST(CaptureSession, AdapterIsChosenOnceAndLaterStartsAppend) {
  Session s;
  s.backend.adapters.adapters = {{"eth0", ""}, {"eth1", ""}};
  s.backend.files["eth1"] = s.dir.File("eth1.pcap");
  WriteTaggedFile(s.backend.files["eth1"], 2);
  s.prompt.adapterChoice = 1;

  s.CaptureToEnd();
  s.CaptureToEnd();
  EXPECT_EQ(s.prompt.AdapterDialogs(), 1);
  EXPECT_EQ(s.backend.listCalls.load(), 1);
  EXPECT_EQ(s.backend.Opened(), (std::vector<std::string>{"eth1", "eth1"}));
  EXPECT_TRUE(s.backend.OpenedAsSpecified());  // 65536 bytes, promiscuous, 100 ms
  EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 1, 0, 1}));
  s.ExpectInStep();
}

TEST(CaptureSession, FailedListingIsTriedAgainAtTheNextStart) {
  Session s;
  s.backend.adapters.failed = true;
  s.backend.adapters.error = "no permission";
  EXPECT_FALSE(s.doc->Start());
  s.OneAdapter(1);
  s.backend.adapters.failed = false;
  s.CaptureToEnd();
  EXPECT_EQ(s.backend.listCalls.load(), 2);
  EXPECT_EQ(s.doc->PacketCount(), 1u);
}

TEST(CaptureSession, AdapterThatCannotBeOpenedShowsTheLibrarysReason) {
  Session s;
  s.backend.adapters.adapters = {{"eth9", ""}};  // no file: the open fails
  ASSERT_TRUE(s.doc->Start());
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  EXPECT_EQ(s.prompt.Messages(), std::vector<std::string>{"Unable to open the adapter. eth9 is not supported by "
                                                          "WinPcap\n" + s.backend.openError});
  EXPECT_TRUE(s.observer->lastEndFailed);
  EXPECT_TRUE(s.doc->LastRunFailed());
  EXPECT_TRUE(s.doc->CanStart());
  EXPECT_FALSE(s.doc->CanStop());
  EXPECT_EQ(s.doc->PacketCount(), 0u);
}

TEST(CaptureSession, FilterAppliesToALiveCaptureAndABadOneIsReported) {
  {
    SCOPED_TRACE("a filter that compiles");
    Session s;
    s.backend.adapters.adapters = {{"eth0", ""}};
    s.backend.files["eth0"] = s.dir.File("eth0.pcap");
    {
      PcapWriter w(s.backend.files["eth0"]);
      w.Write(TaggedFrame(0), 1, 0);
      w.Write(FrameBuilder().Ethernet(framegen::kBroadcast, {2, 0, 0, 0, 0, 9}, 0x0806).Zeros(46).Build(), 2, 0);
      w.Write(TaggedFrame(2), 3, 0);
    }
    s.doc->SetFilterText("udp port 40001");
    s.CaptureToEnd();
    EXPECT_TRUE(s.prompt.Messages().empty());
    EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 2}));
    s.ExpectInStep();
  }
  {
    SCOPED_TRACE("a filter that does not");
    Session s;
    s.OneAdapter(2);
    s.doc->SetFilterText("udp port banana");
    s.CaptureToEnd();
    const std::vector<std::string> messages = s.prompt.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_FALSE(messages[0].empty());  // the library's reason
    EXPECT_EQ(messages[1], "Nie udało się założyć filtra:(");
    EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 1}));  // captured unfiltered
  }
}

// --- limits and when-full actions -------------------------------------------------

TEST(CaptureSession, WhenFullActionsOnTheCountLimit) {
  struct Case {
    const char* what;
    int action;
    bool withInterface;
    std::vector<std::uint32_t> numbers;  // of every row inserted, in order
    std::vector<std::uint32_t> listed;   // tags left in the list
    int packetClears;
    int statisticsClears;
    std::uint32_t statisticsFrames;  // frames the statistics still count
  };
  const Case cases[] = {
      {"1: remove packets", 1, true, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0}, {9}, 3, 0, 10},
      {"1 without an interface thread", 1, false, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0}, {9}, 3, 0, 10},
      {"2: remove packets and statistics", 2, true, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0}, {9}, 3, 3, 1},
      {"2 without an interface thread", 2, false, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0}, {9}, 3, 3, 1},
      {"0: stop, the filling frame stays", 0, true, {0, 1, 2}, {0, 1, 2}, 0, 0, 3},
      {"unknown action: nothing", 7, true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 0,
       10},
  };
  const std::uint32_t perFrame = ReportsPerTaggedFrame();
  ASSERT_GT(perFrame, 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s(c.withInterface);
    s.OneAdapter(10);
    s.doc->SetLimits(10000000, 3);
    s.doc->SetWhenFullAction(c.action);
    s.CaptureToEnd();

    std::vector<std::uint32_t> numbers;
    for (const SeenRow& r : s.observer->rows) numbers.push_back(r.number);
    EXPECT_EQ(numbers, c.numbers);
    EXPECT_EQ(s.ListedTags(), c.listed);
    EXPECT_EQ(s.observer->packetClears, c.packetClears);
    EXPECT_EQ(s.observer->statisticsClears, c.statisticsClears);
    EXPECT_EQ(LayerTotal(s.doc->Statistics()), c.statisticsFrames * perFrame);
    // With a window the clears run on its interface thread while the capture waits.
    const std::thread::id clearer = c.withInterface ? s.ui.Id() : s.observer->captureThread;
    for (std::thread::id t : s.observer->packetClearThreads) EXPECT_EQ(t, clearer);
    for (std::thread::id t : s.observer->statisticsClearThreads) EXPECT_EQ(t, clearer);
    EXPECT_EQ(s.observer->posted, c.withInterface ? c.packetClears + c.statisticsClears : 0);
    EXPECT_FALSE(s.observer->lastEndFailed);
    EXPECT_TRUE(s.prompt.Messages().empty());
    s.ExpectInStep();
  }
}

TEST(CaptureSession, ByteLimitIsExceededByAtMostOneFrame) {
  const std::vector<std::size_t> sizes = {60, 200, 1000, 100, 1514, 60, 700};
  {
    SCOPED_TRACE("action 1");
    Session s;
    s.OneAdapter(40, sizes);
    s.doc->SetLimits(1500, 5000);
    s.doc->SetWhenFullAction(1);
    s.CaptureToEnd();
    EXPECT_GT(s.observer->packetClears, 3);
    // Before each frame joined, the buffer was below the limit.
    std::uint64_t before = 0;
    for (const SessionObserver::Totals& t : s.observer->totals) {
      if (t.count != 0) {
        EXPECT_LT(before, 1500u);
      }
      before = t.bytes;
    }
    EXPECT_LE(s.observer->maxBytesSeen, 1500u + 1514u);
    s.ExpectInStep();
  }
  {
    SCOPED_TRACE("action 0");
    Session s;
    s.OneAdapter(40, sizes);
    s.doc->SetLimits(1500, 5000);
    s.doc->SetWhenFullAction(0);
    s.CaptureToEnd();
    // 60 + 200 + 1000 + 100 stays below; the 1514-byte frame fills it and stays.
    EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(s.doc->BufferedBytes(), 2874u);
    s.ExpectInStep();
  }
}

TEST(CaptureSession, ReadingAFileIgnoresTheLimitsAndEndsByItself) {
  for (int action : {0, 1, 2}) {
    SCOPED_TRACE(action);
    Session s;
    const std::string path = s.dir.File("ten.log");
    const std::vector<Bytes> frames = WriteTaggedFile(path, 10);
    s.doc->SetLimits(100, 3);
    s.doc->SetWhenFullAction(action);
    s.ReadToEnd(path);
    EXPECT_TRUE(s.observer->lastStartReadingFile);
    EXPECT_FALSE(s.observer->lastEndFailed);
    EXPECT_TRUE(s.doc->CanStart());
    EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(s.observer->packetClears, 0);
    EXPECT_EQ(s.observer->statisticsClears, 0);
    EXPECT_EQ(s.backend.listCalls.load(), 0);  // no adapter is involved
    EXPECT_TRUE(s.prompt.Messages().empty());
    s.ExpectInStep();
  }
}

// --- rows, save, show ---------------------------------------------------------------

TEST(CaptureSession, RowsCarryTheFramesTexts) {
  Session s;
  s.backend.adapters.adapters = {{"eth0", ""}};
  s.backend.files["eth0"] = s.dir.File("eth0.pcap");
  s.backend.address = {0x02, 0x51, 0x56, 0, 0, 0x20};  // the tagged frames' destination
  const Bytes frame = TaggedFrame(7, 80);
  {
    PcapWriter w(s.backend.files["eth0"]);
    w.Write(frame, 9 * 3600 + 5 * 60 + 3, 7, 1514);  // 80 of 1514 bytes captured
  }
  s.CaptureToEnd();
  ASSERT_EQ(s.observer->rows.size(), 1u);
  const SeenRow& row = s.observer->rows[0];
  EXPECT_EQ(row.columns[kColumnTime], "09:05:03:000007");
  EXPECT_EQ(row.columns[kColumnSize], "1514");
  EXPECT_EQ(row.columns[kColumnSrcMac], "2:51:56:0:0:1");
  EXPECT_EQ(row.columns[kColumnDestMac], "2:51:56:0:0:20");
  EXPECT_EQ(row.columns[kColumnSrcIp], "169.254.1.1");
  EXPECT_EQ(row.columns[kColumnDestIp], "169.254.1.2");
  EXPECT_EQ(row.columns[kColumnSrcPort], "40000");
  EXPECT_EQ(row.columns[kColumnDestPort], "40001");
  EXPECT_EQ(row.colour, kRowSentToUs);
  EXPECT_EQ(row.bytes, frame);
  EXPECT_EQ(s.doc->BufferedBytes(), 80u);
  EXPECT_EQ(s.doc->OwnAddress(), s.backend.address);
}

TEST(CaptureSession, SaveWritesNewestFirst) {
  Session s;
  const std::vector<Bytes> frames = s.OneAdapter(3);
  s.CaptureToEnd();
  const std::string path = s.dir.File("saved.log");
  ASSERT_TRUE(s.doc->Save(path));

  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  ASSERT_NE(p, nullptr) << errbuf;
  EXPECT_EQ(pcap_snapshot(p), 1514);
  EXPECT_EQ(pcap_datalink(p), 1);
  for (std::uint32_t tag : {2u, 1u, 0u}) {
    pcap_pkthdr* h;
    const u_char* data;
    ASSERT_EQ(pcap_next_ex(p, &h, &data), 1);
    EXPECT_EQ(h->ts.tv_sec, static_cast<long>(1000 + tag));
    EXPECT_EQ(h->ts.tv_usec, static_cast<long>(tag));
    EXPECT_EQ(Bytes(data, data + h->caplen), frames[tag]);
  }
  pcap_pkthdr* h;
  const u_char* data;
  EXPECT_EQ(pcap_next_ex(p, &h, &data), PCAP_ERROR_BREAK);
  pcap_close(p);
}

TEST(CaptureSession, ShowPacketDecodesARecordOnce) {
  Session s;
  const std::vector<Bytes> frames = s.OneAdapter(3);
  s.CaptureToEnd();

  EXPECT_TRUE(s.doc->ShowPacket(1));
  EXPECT_FALSE(s.doc->ShowPacket(1));  // already shown
  EXPECT_FALSE(s.doc->ShowPacket(7));  // no such record
  EXPECT_EQ(s.doc->ShownPacket(), 1);
  EXPECT_TRUE(s.doc->ShowPacket(0));
  ASSERT_EQ(s.observer->shown.size(), 2u);
  EXPECT_EQ(s.observer->shown[0].number, 1);
  EXPECT_EQ(s.observer->shown[0].bytes, frames[1]);
  EXPECT_NE(s.observer->shown[0].tree.find("169.254.1.1"), std::string::npos) << s.observer->shown[0].tree;
  EXPECT_EQ(s.observer->shown[1].number, 0);

  // Numbers restart after a clear: packet 0 is another frame now.
  s.doc->ClearPackets();
  EXPECT_FALSE(s.doc->ShowPacket(0));
  s.CaptureToEnd();
  EXPECT_TRUE(s.doc->ShowPacket(0));
  ASSERT_EQ(s.observer->shown.size(), 3u);
  EXPECT_EQ(s.observer->shown[2].number, 0);
  s.ExpectInStep();
}

// --- clearing while a capture runs -------------------------------------------------

// Lets a capture thread held at a gate go on before the session is finished,
// whatever way the test leaves.
struct OpenOnExit {
  Gate& gate;
  ~OpenOnExit() { gate.Open(); }
};

TEST(CaptureSession, ClearingDuringACaptureIsARequestExceptStatisticsWhileReading) {
  for (bool live : {true, false}) {
    SCOPED_TRACE(live ? "live" : "reading a file");
    Gate gate;
    Session s;
    const OpenOnExit release{gate};
    s.OneAdapter(5);
    s.observer->afterPacket = [&](const PacketRecord& r) {
      if (r.number == 0 && TagOf(Bytes(r.bytes.begin(), r.bytes.end())) == 0) gate.Arrive();
    };
    if (live) {
      ASSERT_TRUE(s.doc->Start());
    } else {
      ASSERT_TRUE(s.doc->Open(s.backend.files["eth0"]));
    }
    ASSERT_TRUE(gate.WaitForArrival());
    s.ui.Call([&] { s.doc->ClearAll(); });
    s.observer->Locked([&] {
      EXPECT_EQ(s.observer->packetClears, 0);
      EXPECT_EQ(s.observer->statisticsClears, live ? 0 : 1);
      return 0;
    });
    gate.Open();
    ASSERT_TRUE(s.observer->WaitForEnd());
    s.doc->WaitForCapture();
    s.ui.Drain();

    EXPECT_EQ(s.observer->packetClears, 1);
    EXPECT_EQ(s.observer->statisticsClears, 1);
    // Packets are cleared by the interface while the capture thread waits.
    ASSERT_EQ(s.observer->packetClearThreads.size(), 1u);
    EXPECT_EQ(s.observer->packetClearThreads[0], s.ui.Id());
    // Statistics: served by the capture thread, or at once while reading.
    ASSERT_EQ(s.observer->statisticsClearThreads.size(), 1u);
    EXPECT_EQ(s.observer->statisticsClearThreads[0], live ? s.observer->captureThread : s.ui.Id());
    EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{1, 2, 3, 4}));
    s.ExpectInStep();
  }
}

TEST(CaptureSession, ClearAfterStopWaitsForTheFrameBeingAppended) {
  Gate gate;
  Session s;
  const OpenOnExit release{gate};
  s.OneAdapter(5);
  s.observer->beforeTotals = [&](std::uint32_t count) {
    if (count == 2) gate.Arrive();  // frame 1 is in the buffer, its row not yet
  };
  ASSERT_TRUE(s.doc->Start());
  ASSERT_TRUE(gate.WaitForArrival());
  s.doc->Stop();
  s.ui.Call([&] { s.doc->ClearPackets(); });
  gate.Open();
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();
  EXPECT_EQ(s.observer->packetClears, 1);
  EXPECT_EQ(s.doc->PacketCount(), 0u);
  s.ExpectInStep();
}

// A pipe the capture reads as its adapter: frames arrive when the test writes.
class PipeAdapter {
 public:
  explicit PipeAdapter(const std::string& path) : path_(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  ~PipeAdapter() { Close(); }
  PipeAdapter(const PipeAdapter&) = delete;
  PipeAdapter& operator=(const PipeAdapter&) = delete;

  // Blocks until the capture has opened the other end.
  void Connect() {
    fd_ = ::open(path_.c_str(), O_WRONLY);
    if (fd_ < 0) throw std::runtime_error("open fifo failed");
    Write(PcapFileHeader());
  }
  void Write(const Bytes& bytes) {
    if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("write fifo failed");
    }
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

TEST(CaptureSession, ClearRequestedJustBeforeStopIsNotLeftPending) {
  Session s;
  s.backend.adapters.adapters = {{"eth0", ""}};
  s.backend.files["eth0"] = s.dir.File("pipe");
  PipeAdapter pipe(s.backend.files["eth0"]);
  ASSERT_TRUE(s.doc->Start());
  pipe.Connect();
  pipe.Write(PcapRecord(TaggedFrame(0), 1000, 0));
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->rows.size() == 1; }));
  ASSERT_TRUE(WaitUntilAsleep(s.observer->Locked([&] { return s.observer->captureTask; })));

  // The capture thread waits for its next frame: the clear is a request.
  s.ui.Call([&] {
    s.doc->ClearPackets();
    s.doc->ClearStatistics();
    s.doc->Stop();
  });
  pipe.Close();  // the read returns, the loop ends
  ASSERT_TRUE(s.observer->WaitForEnd());
  s.doc->WaitForCapture();
  s.ui.Drain();
  EXPECT_EQ(s.doc->PacketCount(), 0u);
  EXPECT_EQ(s.observer->packetClears, 1);
  EXPECT_EQ(s.observer->statisticsClears, 1);
  EXPECT_EQ(LayerTotal(s.doc->Statistics()), 0u);

  // Nothing may linger to empty the buffer during the next capture.
  s.backend.files["eth0"] = s.dir.File("eth0.pcap");
  WriteTaggedFile(s.backend.files["eth0"], 3);
  s.CaptureToEnd();
  EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(s.observer->packetClears, 1);
  EXPECT_EQ(s.observer->statisticsClears, 1);
  s.ExpectInStep();
}

TEST(CaptureSession, AStoppedRunStillEndingIsNeverRevivedByStartOrOpen) {
  Session s;
  s.backend.adapters.adapters = {{"eth0", ""}};
  s.backend.files["eth0"] = s.dir.File("pipe");
  const std::string file = s.dir.File("three.pcap");
  WriteTaggedFile(file, 3);
  PipeAdapter pipe(s.backend.files["eth0"]);
  ASSERT_TRUE(s.doc->Start());
  pipe.Connect();
  pipe.Write(PcapRecord(TaggedFrame(0), 1000, 0));
  ASSERT_TRUE(s.observer->WaitUntil([&] { return s.observer->rows.size() == 1; }));
  ASSERT_TRUE(WaitUntilAsleep(s.observer->Locked([&] { return s.observer->captureTask; })));
  s.doc->Stop();  // the capture waits for its next frame and has not seen the Stop
  EXPECT_FALSE(s.doc->CanStart());
  EXPECT_FALSE(s.doc->CanOpen());
  EXPECT_FALSE(s.doc->Start());
  EXPECT_FALSE(s.doc->Open(file));

  // The frame that wakes it arrived after the Stop: the old run ends without it.
  pipe.Write(PcapRecord(TaggedFrame(1), 1001, 0));
  ASSERT_TRUE(s.observer->WaitForEnd(1));
  EXPECT_FALSE(s.observer->lastEndFailed);
  EXPECT_EQ(s.observer->Locked([&] { return s.observer->rows.size(); }), 1u);
  EXPECT_TRUE(s.doc->CanStart());

  // The next run is a run of its own, to its own end.
  s.ReadToEnd(file);
  EXPECT_EQ(s.ListedTags(), (std::vector<std::uint32_t>{0, 0, 1, 2}));
  EXPECT_EQ(s.observer->started, 2);
  EXPECT_EQ(s.observer->ended, 2);
  EXPECT_TRUE(s.prompt.Messages().empty()) << ::testing::PrintToString(s.prompt.Messages());
  EXPECT_EQ(s.backend.Opened().size(), 1u);
  s.ExpectInStep();
}

// Hands out blocks until `limit` bytes are out, then refuses, as a machine
// whose memory (or address space) is used up would.
class LimitedAllocator : public BlockAllocator {
 public:
  explicit LimitedAllocator(std::size_t limit) : limit_(limit) {}
  std::uint8_t* Allocate(std::size_t bytes, bool prefault) override {
    std::lock_guard lock(mutex_);
    if (out_ + bytes > limit_) return nullptr;
    out_ += bytes;
    return MappedBlockAllocator::Instance().Allocate(bytes, prefault);
  }
  void Release(std::uint8_t* block, std::size_t bytes) override {
    std::lock_guard lock(mutex_);
    out_ -= bytes;
    MappedBlockAllocator::Instance().Release(block, bytes);
  }

 private:
  std::mutex mutex_;
  std::size_t limit_;
  std::size_t out_ = 0;
};

// Out of memory or over the budget, a run stops, keeps every frame it has
// and says how many; the next frame is not lost silently.
TEST(CaptureSession, ARunThatCannotGetMemoryStopsAndKeepsItsFrames) {
  constexpr std::uint32_t kFrames = 20000;  // 1500-byte frames: 30 MB, beyond the limits below
  struct Case {
    const char* what;
    bool live;
    bool budget;  // else the allocator runs dry
    const char* message;
  };
  const Case cases[] = {
      {"file, out of memory", false, false, "Out of memory: stopped after %u packets."},
      {"live, out of memory", true, false, "Out of memory: stopped after %u packets."},
      {"file, over the budget", false, true, "Memory budget of 8 MB reached: stopped after %u packets."},
  };
  Session fileMaker;
  const std::string path = fileMaker.dir.File("big.pcap");
  WriteTaggedFile(path, kFrames, {1500});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LimitedAllocator allocator(c.budget ? std::size_t{1} << 40 : std::size_t{12} << 20);
    Session s;
    s.doc->SetBlockAllocator(allocator);
    if (c.budget) s.doc->SetMemoryBudget(8u << 20);
    s.backend.adapters.adapters = {{"eth0", ""}};
    s.backend.files["eth0"] = path;
    s.doc->SetLimits(0xFFFFFFFFu, 0xFFFFFFFFu);
    if (c.live) {
      s.CaptureToEnd();
    } else {
      // A savefile's frames stay in the file; through a pipe they are copied,
      // and the copies are what runs out of memory.
      std::signal(SIGPIPE, SIG_IGN);  // the reading stops before the writer does
      const std::string fifo = s.dir.File("pipe");
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
      std::thread writer([&] {
        const int in = ::open(path.c_str(), O_RDONLY);
        const int out = ::open(fifo.c_str(), O_WRONLY);
        char chunk[1 << 16];
        for (ssize_t n; in >= 0 && out >= 0 && (n = ::read(in, chunk, sizeof chunk)) > 0;) {
          if (::write(out, chunk, static_cast<std::size_t>(n)) != n) break;
        }
        if (out >= 0) ::close(out);
        if (in >= 0) ::close(in);
      });
      s.ReadToEnd(fifo);
      writer.join();
    }
    const std::uint32_t kept = s.doc->PacketCount();
    EXPECT_GT(kept, 1000u);
    EXPECT_LT(kept, kFrames);
    EXPECT_EQ(s.prompt.Messages(), std::vector<std::string>{Format(c.message, kept)});
    EXPECT_TRUE(s.observer->lastEndFailed);
    EXPECT_TRUE(s.doc->LastRunFailed());
    EXPECT_TRUE(s.doc->CanStart());
    EXPECT_EQ(s.doc->Drops().ours, c.live ? 1u : 0u);
    if (c.budget) {
      EXPECT_LE(s.doc->Buffer().HeldBytes(), 8u << 20);
    }
    // Every kept frame is whole, in order.
    std::vector<std::uint32_t> expected(kept);
    for (std::uint32_t i = 0; i < kept; ++i) expected[i] = i;
    EXPECT_EQ(s.ListedTags(), expected);
    s.ExpectInStep();
  }
}

TEST(CaptureSession, LiveCaptureAsksForTheKernelBufferAndCountsDrops) {
  Session s;
  s.OneAdapter(5);
  s.backend.openWarning = "eth0: That device doesn't support promiscuous mode";
  s.backend.SetStats(pcap_stat{100, 7, 3});
  s.doc->SetKernelBufferMB(64);
  s.CaptureToEnd();
  EXPECT_EQ(s.backend.LastBufferBytes(), 64u << 20);
  DropCounts drops = s.doc->Drops();
  EXPECT_TRUE(drops.known);
  EXPECT_EQ(drops.kernel, 7u);
  EXPECT_EQ(drops.interface, 3u);
  EXPECT_EQ(drops.Total(), 10u);
  // The warning goes to the status line, not into a message box.
  EXPECT_EQ(s.observer->notices, std::vector<std::string>{"eth0: That device doesn't support promiscuous mode"});
  EXPECT_TRUE(s.prompt.Messages().empty());

  s.doc->ClearAll();
  EXPECT_EQ(s.doc->Drops(), DropCounts{});

  // A kernel that refuses the size: the capture runs on the default, and
  // says so once for that size.
  s.backend.openWarning.clear();
  s.backend.refuseBuffer = true;
  s.CaptureToEnd();
  s.CaptureToEnd();
  EXPECT_EQ(s.observer->notices.size(), 2u);
  EXPECT_EQ(s.observer->notices.back(),
            "The kernel refused a capture buffer of 64 MB; capturing with the library's default buffer.");
  EXPECT_EQ(s.doc->Drops().Total(), 10u);  // each Start counts afresh

  // A file read has no counters.
  s.doc->ClearAll();
  s.ReadToEnd(s.backend.files["eth0"]);
  EXPECT_FALSE(s.doc->Drops().known);
}

TEST(CaptureSession, ClearsAndShowsFromTheInterfaceNeverCutIntoAnAppend) {
  for (bool live : {true, false}) {
    SCOPED_TRACE(live ? "live" : "reading a file");
    Session s;
    s.OneAdapter(3000);
    s.doc->SetLimits(10000000, 64);
    s.doc->SetWhenFullAction(2);
    if (live) {
      ASSERT_TRUE(s.doc->Start());
    } else {
      ASSERT_TRUE(s.doc->Open(s.backend.files["eth0"]));
    }
    for (std::uint32_t i = 0; s.doc->CanStop(); ++i) {
      s.ui.Call([&] {
        switch (i % 4) {
          case 0:
            s.doc->ClearPackets();
            break;
          case 1:
            s.doc->ClearStatistics();
            break;
          case 2:
            s.doc->ClearAll();
            break;
          default:
            s.doc->ShowPacket(i % 16);
            break;
        }
      });
    }
    ASSERT_TRUE(s.observer->WaitForEnd());
    s.doc->WaitForCapture();
    s.ui.Drain();
    EXPECT_EQ(s.observer->rows.size(), 3000u);
    EXPECT_GT(s.observer->packetClears, 0);
    s.ExpectInStep();
  }
}

// --- damaged files ---------------------------------------------------------------------

TEST(CaptureSession, DamagedFilesEndCleanly) {
  const Bytes good = [] {
    Bytes b = PcapFileHeader();
    for (std::uint32_t i = 0; i < 2; ++i) {
      const Bytes r = PcapRecord(TaggedFrame(i), 1000 + i, 0);
      b.insert(b.end(), r.begin(), r.end());
    }
    return b;
  }();
  auto withTail = [&](const Bytes& tail) {
    Bytes b = good;
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Bytes third = PcapRecord(TaggedFrame(2), 1002, 0);
  Bytes absurd;
  Le32(absurd, 1002);
  Le32(absurd, 0);
  Le32(absurd, 0x7FFFFFFF);
  Le32(absurd, 0x7FFFFFFF);
  absurd.insert(absurd.end(), 64, 0xAB);
  Bytes wrongMagic = good;
  wrongMagic[0] = 'G';
  wrongMagic[1] = 'I';
  wrongMagic[2] = 'F';
  const Bytes ng = PcapngFile({TaggedFrame(0), TaggedFrame(1)}, 1000000000ull);
  const Bytes ngCut(ng.begin(), ng.end() - 20);

  struct Case {
    const char* what;
    Bytes file;
    bool openFails;
    std::vector<std::uint32_t> kept;  // tags of the frames read
  };
  const Case cases[] = {
      {"empty file", {}, true, {}},
      {"global header cut", Bytes(good.begin(), good.begin() + 10), true, {}},
      {"wrong magic", wrongMagic, true, {}},
      {"record header cut", withTail(Bytes(third.begin(), third.begin() + 7)), false, {0, 1}},
      {"record data cut", withTail(Bytes(third.begin(), third.begin() + 26)), false, {0, 1}},
      {"absurd captured length", withTail(absurd), false, {0, 1}},
      {"pcapng block cut", ngCut, false, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    const std::string path = s.dir.File("damaged.log");
    WriteBytes(path, c.file);
    s.ReadToEnd(path);
    const std::vector<std::string> messages = s.prompt.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string expectedStart = c.openFails
                                          ? "Unable to open the file " + path + ".\nThe following error occured: "
                                          : "The file " + path + " is damaged at byte ";
    EXPECT_EQ(messages[0].substr(0, expectedStart.size()), expectedStart) << messages[0];
    EXPECT_GT(messages[0].size(), expectedStart.size()) << "the library's reason is missing";
    EXPECT_EQ(s.ListedTags(), c.kept);
    EXPECT_TRUE(s.observer->lastEndFailed);
    EXPECT_TRUE(s.doc->CanStart());
    s.ExpectInStep();
  }
}

TEST(CaptureSession, ShortFramesAreKeptAsCaptured) {
  Session s;
  const Bytes full = TaggedFrame(0, 60);
  const std::string path = s.dir.File("short.log");
  const std::size_t lengths[] = {0, 1, 6, 13, 14, 20, 34, 41, 42, 60};
  Bytes file = PcapFileHeader();
  for (std::size_t n : lengths) {
    const Bytes r = PcapRecord(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)), 1, 0, 60);
    file.insert(file.end(), r.begin(), r.end());
  }
  WriteBytes(path, file);
  s.ReadToEnd(path);
  EXPECT_TRUE(s.prompt.Messages().empty());
  const std::vector<SeenRow> rows = s.observer->ListedRows();
  ASSERT_EQ(rows.size(), std::size(lengths));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].bytes.size(), lengths[i]);
    EXPECT_EQ(rows[i].columns[kColumnSize], "60");
    EXPECT_TRUE(s.doc->ShowPacket(static_cast<std::uint32_t>(i)));
  }
  for (const SessionObserver::Shown& shown : s.observer->shown) {
    EXPECT_EQ(shown.bytes.size(), lengths[shown.number]);
  }
  s.ExpectInStep();
}

TEST(CaptureSession, PcapngFileOpens) {
  Session s;
  const std::string path = s.dir.File("tiny.pcapng");
  const Bytes frame = TaggedFrame(5, 61);  // odd length: the block is padded
  WriteBytes(path, PcapngFile({frame}, 1000ull * 1000000 + 5));
  s.ReadToEnd(path);
  EXPECT_TRUE(s.prompt.Messages().empty());
  EXPECT_FALSE(s.observer->lastEndFailed);
  ASSERT_EQ(s.observer->rows.size(), 1u);
  EXPECT_EQ(s.observer->rows[0].bytes, frame);
  EXPECT_EQ(s.observer->rows[0].columns[kColumnTime], "00:16:40:000005");
  EXPECT_EQ(s.observer->rows[0].columns[kColumnSrcIp], "169.254.1.1");
}

}  // namespace
}  // namespace qv
