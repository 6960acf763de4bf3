// The command line capturing a real DNS exchange: dig in one network
// namespace of the test's own asks dnsmasq in the other, across a veth pair,
// while quorvanet-cli captures on the server's end and prints JSON. Nothing
// leaves the two namespaces; the server lives at most 20 s, the capture at
// most 10 s, and the client asks a bounded number of times.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "shell_command.h"
#include "veth_namespace.h"

extern char** environ;

namespace qv {
namespace {

using testing::PeerNamespace;
using testing::VethNamespace;

constexpr const char* kServer = "192.0.2.1";  // qv0, where dnsmasq answers and the capture runs
constexpr const char* kClient = "192.0.2.2";  // qv1, in the peer namespace
constexpr int kFrames = 4;                    // an A and an AAAA query with their answers

// A program started for the test, ended (SIGTERM) and reaped with the object.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

bool Installed(const char* tool) {
  return testing::RunShell(std::string("command -v ") + tool + " >/dev/null").status == 0;
}

// Every "field"/"value" pair of a JSON tree, depth first.
void CollectFields(const QJsonArray& lines, std::multiset<std::pair<std::string, std::string>>& out) {
  for (const QJsonValue& v : lines) {
    const QJsonObject line = v.toObject();
    if (line.contains("field")) {
      out.emplace(line["field"].toString().toStdString(), line["value"].toString().toStdString());
    }
    CollectFields(line["children"].toArray(), out);
  }
}

TEST(LiveDns, DigAgainstDnsmasqShowsTheNamesAndAddresses) {
  for (const char* tool : {"dnsmasq", "dig", "timeout"}) {
    if (!Installed(tool)) GTEST_SKIP() << tool << " is not installed (packages dnsmasq-base, bind9-dnsutils)";
  }
  VethNamespace server("qvdns");
  if (const std::string why = server.Make(); !why.empty()) {
    GTEST_SKIP() << "live capture needs network namespaces (root or CAP_NET_ADMIN): " << why;
  }
  PeerNamespace client("qvdnsc");
  ASSERT_EQ(client.TakeLink(server.Name(), "qv1"), "");
  std::string out;
  ASSERT_TRUE(testing::Run("ip -n " + server.Name() + " addr add " + kServer + "/24 dev qv0", &out)) << out;
  ASSERT_TRUE(testing::Run("ip -n " + client.Name() + " addr add " + kClient + "/24 dev qv1", &out)) << out;

  const Child dnsmasq({"ip", "netns", "exec", server.Name(), "timeout", "20", "dnsmasq", "--keep-in-foreground",
                       "--conf-file=/dev/null", "--no-resolv", "--no-hosts", "--no-poll", "--user=root",
                       "--group=root", "--pid-file=", "--bind-interfaces", "--interface=qv0",
                       "--log-facility=/dev/null", "--local-ttl=60",
                       "--host-record=www.example.test,192.0.2.80,2001:db8::80"});
  ASSERT_TRUE(dnsmasq.Started());
  const std::string dig = "ip netns exec " + client.Name() + " dig +tries=1 +time=1 @" + kServer + " ";
  // Until dnsmasq answers (at most 20 tries of 1 s each), before the capture starts.
  bool answering = false;
  for (int i = 0; i < 20 && !answering; ++i) {
    answering = testing::RunShell(dig + "+short www.example.test A", false).out == "192.0.2.80\n";
    if (!answering) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(answering) << "dnsmasq did not answer in the server's namespace";

  // The capture ends after kFrames frames, or after 10 s whatever happens.
  const std::string capture = "ip netns exec " + server.Name() + " timeout -s INT 10 " +
                              std::string(QUORVANET_CLI_PATH) + " -i qv0 -c " + std::to_string(kFrames) +
                              " -f 'udp port 53' -T json 2>/dev/null";
  std::FILE* pipe = ::popen(capture.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string json;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) json.append(chunk, n);
    done = true;
  });
  // Both queries again and again until the capture has its frames (the
  // capture may start a little late): at most 40 rounds.
  for (int round = 0; round < 40 && !done; ++round) {
    testing::RunShell(dig + "www.example.test A", false);
    testing::RunShell(dig + "www.example.test AAAA", false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  reader.join();
  ::pclose(pipe);

  // Any kFrames frames in a row of the alternating exchange hold both answers.
  std::multiset<std::pair<std::string, std::string>> fields;
  int frames = 0;
  std::size_t at = 0;
  while (at < json.size()) {
    std::size_t end = json.find('\n', at);
    if (end == std::string::npos) end = json.size();
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json.data() + at, static_cast<int>(end - at)));
    at = end + 1;
    if (!doc.isObject()) continue;
    ++frames;
    CollectFields(doc.object()["tree"].toArray(), fields);
  }
  ASSERT_EQ(frames, kFrames) << json;
  EXPECT_EQ(fields.count({"dns.qry.name", "www.example.test"}), static_cast<std::size_t>(kFrames)) << json;
  EXPECT_EQ(fields.count({"dns.flags.response", "1"}), 2u) << json;
  EXPECT_EQ(fields.count({"dns.a", "192.0.2.80"}), 1u) << json;
  EXPECT_EQ(fields.count({"dns.aaaa", "2001:db8::80"}), 1u) << json;
  EXPECT_EQ(fields.count({"dns.resp.name", "www.example.test"}), 2u) << json;
}

}  // namespace
}  // namespace qv
