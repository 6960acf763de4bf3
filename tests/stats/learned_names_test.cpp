#include "stats/learned_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

IpAddress V4(std::uint8_t a, std::uint8_t b = 0) { return IpAddress::V4({10, 0, a, b}); }

// "address=name" from the least recently used on.
std::vector<std::string> Order(const LearnedNames& names) {
  std::vector<std::string> out;
  for (const LearnedNames::Entry& e : names.Entries()) out.push_back(e.address.Text() + "=" + e.name);
  return out;
}

std::string NameOf(LearnedNames& names, const IpAddress& address) {
  std::string name = "untouched";
  NameOrigin origin = NameOrigin::HttpHost;
  if (!names.Find(address, name, origin)) return name;
  return name + " (" + std::string(NameOriginText(origin)) + ")";
}

TEST(LearnedNames, TheLeastRecentlyUsedAddressMakesRoom) {
  LearnedNames names(3);
  names.Learn(V4(1), "one", NameOrigin::Dns);
  names.Learn(V4(2), "two", NameOrigin::Dns);
  names.Learn(V4(3), "three", NameOrigin::Dns);
  EXPECT_EQ(Order(names), (std::vector<std::string>{"10.0.1.0=one", "10.0.2.0=two", "10.0.3.0=three"}));
  // Looking one up and learning one again both count as a use.
  EXPECT_EQ(NameOf(names, V4(1)), "one (DNS answer)");
  names.Learn(V4(2), "two", NameOrigin::Dns);
  EXPECT_EQ(Order(names), (std::vector<std::string>{"10.0.3.0=three", "10.0.1.0=one", "10.0.2.0=two"}));

  names.Learn(V4(4), "four", NameOrigin::Dns);
  EXPECT_EQ(Order(names), (std::vector<std::string>{"10.0.1.0=one", "10.0.2.0=two", "10.0.4.0=four"}));
  EXPECT_EQ(NameOf(names, V4(3)), "untouched");
  EXPECT_EQ(names.Size(), 3u);
}

TEST(LearnedNames, ManyMoreAddressesThanSlotsKeepTheNewestAndStayFindable) {
  LearnedNames names;
  ASSERT_EQ(names.Capacity(), LearnedNames::kDefaultCapacity);
  const std::size_t total = 3 * LearnedNames::kDefaultCapacity + 17;
  for (std::size_t i = 0; i < total; ++i) {
    names.Learn(V4(static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)),
                "host" + std::to_string(i), NameOrigin::TlsServerName);
  }
  EXPECT_EQ(names.Size(), LearnedNames::kDefaultCapacity);
  std::size_t found = 0;
  for (std::size_t i = 0; i < total; ++i) {
    const IpAddress a = V4(static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i));
    std::string name;
    NameOrigin origin;
    const bool kept = i >= total - LearnedNames::kDefaultCapacity;
    ASSERT_EQ(names.Find(a, name, origin), kept) << i;
    if (kept) {
      EXPECT_EQ(name, "host" + std::to_string(i));
      ++found;
    }
  }
  EXPECT_EQ(found, LearnedNames::kDefaultCapacity);
}

TEST(LearnedNames, TheLatestNameWinsAndTheSameNameKeepsWhereItWasFirstHeard) {
  LearnedNames names(4);
  const std::uint64_t empty = names.Version();
  names.Learn(V4(1), "cdn.example.net", NameOrigin::Dns);
  const std::uint64_t first = names.Version();
  EXPECT_NE(first, empty);
  names.Learn(V4(1), "cdn.example.net", NameOrigin::Dns);
  EXPECT_EQ(names.Version(), first);
  names.Learn(V4(1), "cdn.example.net", NameOrigin::TlsServerName);  // the same name from elsewhere
  EXPECT_EQ(names.Version(), first);
  EXPECT_EQ(NameOf(names, V4(1)), "cdn.example.net (DNS answer)");
  names.Learn(V4(1), "www.example.com", NameOrigin::HttpHost);
  EXPECT_EQ(NameOf(names, V4(1)), "www.example.com (HTTP Host)");
  names.Learn(V4(1), "", NameOrigin::Dns);  // nothing to learn
  EXPECT_EQ(NameOf(names, V4(1)), "www.example.com (HTTP Host)");
  EXPECT_EQ(names.Size(), 1u);
}

TEST(LearnedNames, FamiliesNeverShareAnEntry) {
  LearnedNames names(8);
  Ipv6Address lookalike{10, 0, 1, 0};  // the IPv4 address's bytes, then zeros
  Ipv6Address mapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 1, 0};
  names.Learn(V4(1), "four", NameOrigin::Dns);
  names.Learn(IpAddress::V6(lookalike), "six", NameOrigin::Dns);
  EXPECT_EQ(NameOf(names, V4(1)), "four (DNS answer)");
  EXPECT_EQ(NameOf(names, IpAddress::V6(lookalike)), "six (DNS answer)");
  EXPECT_EQ(NameOf(names, IpAddress::V6(mapped)), "untouched");

  // As the decoders report them: an IPv4 answer's bytes after its four are
  // never looked at.
  LearnedName learned;
  learned.address = {10, 0, 1, 0, 0xAA, 0xBB};
  learned.name = "from a decoder";
  learned.origin = NameOrigin::Mdns;
  names.Learn(learned);
  EXPECT_EQ(NameOf(names, V4(1)), "from a decoder (mDNS answer)");
  learned.ipv6 = true;
  learned.address = lookalike;
  names.Learn(learned);
  EXPECT_EQ(NameOf(names, IpAddress::V6(lookalike)), "from a decoder (mDNS answer)");
  EXPECT_EQ(names.Size(), 2u);
}

TEST(LearnedNames, NamesAreCutToTheirSlotAndKeptOnOneLine) {
  struct Case {
    const char* what;
    std::string name;
    std::string kept;
  };
  const std::string e = "\xc3\xa9";  // é, two bytes
  const Case cases[] = {
      {"255 bytes fit", std::string(255, 'a'), std::string(255, 'a')},
      {"longer ones are cut", std::string(300, 'b'), std::string(255, 'b')},
      {"never inside a character", std::string(254, 'c') + e, std::string(254, 'c')},
      {"a character that fits stays", std::string(253, 'd') + e + "x", std::string(253, 'd') + e},
      {"control characters become ?", "evil\r\nhost\x7f\t", "evil??host??"},
  };
  for (const Case& c : cases) {
    LearnedNames names(2);
    names.Learn(V4(9), c.name, NameOrigin::HttpHost);
    std::string name;
    NameOrigin origin;
    ASSERT_TRUE(names.Find(V4(9), name, origin)) << c.what;
    EXPECT_EQ(name, c.kept) << c.what;
  }
}

TEST(LearnedNames, ClearForgetsAndTheSlotsServeAgain) {
  LearnedNames names(2);
  names.Learn(V4(1), "one", NameOrigin::Dns);
  names.Learn(V4(2), "two", NameOrigin::Dns);
  const std::uint64_t version = names.Version();
  names.Clear();
  EXPECT_NE(names.Version(), version);
  EXPECT_EQ(names.Size(), 0u);
  EXPECT_EQ(NameOf(names, V4(1)), "untouched");
  names.Learn(V4(3), "three", NameOrigin::Dns);
  names.Learn(V4(1), "one again", NameOrigin::Dns);
  names.Learn(V4(4), "four", NameOrigin::Dns);
  EXPECT_EQ(Order(names), (std::vector<std::string>{"10.0.1.0=one again", "10.0.4.0=four"}));
}

}  // namespace
}  // namespace qv
