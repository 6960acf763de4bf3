// The Send page's frame operations and the Ethernet wizard's form, as tables.

#include <gtest/gtest.h>

#include "sender/ethernet_header_form.h"
#include "sender/frame_composer.h"

namespace qv {
namespace {

Frame Counting(std::size_t n) {
  Frame f(n);
  for (std::size_t i = 0; i < n; ++i) f[i] = static_cast<std::uint8_t>(i);
  return f;
}

TEST(FrameComposer, SetLengthGrowsWithFfShrinksOrRefuses) {
  struct Case {
    const char* text;
    bool accepted;
    std::size_t newLength;
  };
  const Case cases[] = {
      {"70", true, 70},   {"20", true, 20},    {"1", true, 1},        {"1514", true, 1514}, {"60", true, 60},
      {"0", false, 60},   {"1515", false, 60}, {"abc", false, 60},    {"-5", false, 60},    {"", false, 60},
      {"99999999999999999999", false, 60},     {" 12", true, 12},     {"12abc", true, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Frame frame = Counting(60);
    const auto refusal = SetFrameLength(frame, c.text);
    EXPECT_EQ(!refusal.has_value(), c.accepted);
    if (refusal) {
      EXPECT_EQ(*refusal, "Data length must be positive and less then 1514");
    }
    ASSERT_EQ(frame.size(), c.newLength);
    for (std::size_t i = 0; i < frame.size(); ++i) {
      ASSERT_EQ(frame[i], i < 60 ? static_cast<std::uint8_t>(i) : 0xFF) << "byte " << i;
    }
  }
}

TEST(FrameComposer, InitialFrameIsSixtyTimesFf) { EXPECT_EQ(InitialFrame(), Frame(60, 0xFF)); }

TEST(FrameComposer, PasteOverwritesInPlaceAndStopsAtTheEnd) {
  struct Case {
    std::size_t offset;
    std::size_t blockSize;
    std::size_t written;
  };
  const Case cases[] = {{58, 5, 2}, {0, 5, 5}, {59, 1, 1}, {60, 3, 0}, {10, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Frame frame(60, 0xFF);
    const Frame block(c.blockSize, 0x41);
    EXPECT_EQ(PasteOver(frame, c.offset, block), c.written);
    ASSERT_EQ(frame.size(), 60u);
    for (std::size_t i = 0; i < 60; ++i) {
      const bool pasted = i >= c.offset && i < c.offset + c.written;
      ASSERT_EQ(frame[i], pasted ? 0x41 : 0xFF) << i;
    }
  }
}

TEST(FrameComposer, SelectionAndResendAreClippedToTheFrame) {
  const Frame frame = Counting(60);
  EXPECT_EQ(SelectedBytes(frame, 2, 4), (Frame{2, 3, 4}));
  EXPECT_EQ(SelectedBytes(frame, 58, 100), (Frame{58, 59}));
  EXPECT_TRUE(SelectedBytes(frame, 60, 70).empty());
  EXPECT_TRUE(SelectedBytes({}, 0, 0).empty());
  EXPECT_EQ(FrameForResend(Counting(2000)), Counting(1514));
  EXPECT_EQ(FrameForResend(frame), frame);
}

TEST(EthernetWizard, OpensOverTheFreshFrame) {
  const auto form = FormFromFrame(Frame(60, 0xFF));
  ASSERT_TRUE(form);
  EXPECT_EQ(form->destination, "ff:ff:ff:ff:ff:ff");
  EXPECT_EQ(form->source, "ff:ff:ff:ff:ff:ff");
  EXPECT_EQ(form->length, "65535");
  EXPECT_EQ(form->protocol, LinkLayerProtocol::EthernetII);
  EXPECT_EQ(form->typeIndex, 0u);

  const Frame header = {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29, 0x02, 0, 0, 0, 0, 0x01, 0x05, 0xdc};
  EXPECT_EQ(FormFromFrame(header)->destination, "0:a0:c9:14:c8:29");
  EXPECT_EQ(FormFromFrame(header)->source, "2:0:0:0:0:1");
  EXPECT_EQ(FormFromFrame(header)->length, "1500");
  EXPECT_FALSE(FormFromFrame(Frame(13, 0)));
}

TEST(EthernetWizard, MacForms) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"0:a0:c9:14:c8:29", true},   {"00:A0:C9:14:C8:29", true}, {"ff:ff:ff:ff:ff:ff", true},
      {"00-a0-c9-14-c8-29", false}, {"0:a0:c9:14:c8", false},    {"0:a0:c9:14:c8:29:1", false},
      {"0:a0:c9:14:c8:", false},    {"0::c9:14:c8:29", false},   {"000:a0:c9:14:c8:29", false},
      {"0:a0:c9:14:c8:2g", false},  {"", false},                 {"0:a0:c9:14:c8:29:", false},
      {" 0:a0:c9:14:c8:29", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseMac(c.text).has_value(), c.valid) << c.text;
  EXPECT_EQ(*ParseMac("0:a0:c9:14:c8:29"), (std::array<std::uint8_t, 6>{0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29}));
}

TEST(EthernetWizard, FinishWritesTheHeaderOrRefusesInOrder) {
  struct Case {
    const char* name;
    LinkLayerProtocol protocol;
    const char* length;
    std::size_t type;
    const char* destination;
    const char* source;
    const char* caption;  // null: accepted
    std::uint8_t b12, b13;
  };
  const Case cases[] = {
      {"ARP", LinkLayerProtocol::EthernetII, "99999", 2, "0:a0:c9:14:c8:29", "2:0:0:0:0:1", nullptr, 0x08, 0x06},
      {"IPX", LinkLayerProtocol::EthernetII, "", 4, "0:a0:c9:14:c8:29", "2:0:0:0:0:1", nullptr, 0x81, 0x37},
      {"1500", LinkLayerProtocol::Ieee8022, "1500", 2, "0:a0:c9:14:c8:29", "2:0:0:0:0:1", nullptr, 0x05, 0xdc},
      {"65536 wraps", LinkLayerProtocol::Ieee8022, "65536", 0, "0:a0:c9:14:c8:29", "2:0:0:0:0:1", nullptr, 0, 0},
      {"1501", LinkLayerProtocol::Ieee8022, "1501", 0, "bad", "bad", "Błąd w polu Długość", 0, 0},
      {"-1", LinkLayerProtocol::Ieee8022, "-1", 0, "0:a0:c9:14:c8:29", "2:0:0:0:0:1", "Błąd w polu Długość", 0, 0},
      {"bad destination", LinkLayerProtocol::EthernetII, "", 0, "00-a0-c9-14-c8-29", "bad",
       "Błąd w polu MAC docelowy", 0, 0},
      {"bad source", LinkLayerProtocol::EthernetII, "", 0, "0:a0:c9:14:c8:29", "2:0:0:0:0", "Błąd w polu MAC źródłowy",
       0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(60, 0xFF);
    EthernetHeaderForm form = *FormFromFrame(frame);
    form.protocol = c.protocol;
    form.length = c.length;
    form.typeIndex = c.type;
    form.destination = c.destination;
    form.source = c.source;
    const auto error = ApplyForm(form, frame);
    if (c.caption != nullptr) {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->caption, c.caption);
      EXPECT_EQ(frame, Frame(60, 0xFF)) << "a refused Finish writes nothing";
      continue;
    }
    ASSERT_FALSE(error) << error->text;
    const Frame expected_header = {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29, 0x02, 0, 0, 0, 0, 0x01, c.b12, c.b13};
    EXPECT_EQ(Frame(frame.begin(), frame.begin() + 14), expected_header);
    EXPECT_EQ(Frame(frame.begin() + 14, frame.end()), Frame(46, 0xFF)) << "bytes 14 on are left alone";
  }
}

TEST(EthernetWizard, RefusalTexts) {
  Frame frame(60, 0xFF);
  EthernetHeaderForm form = *FormFromFrame(frame);
  form.protocol = LinkLayerProtocol::Ieee8022;
  form.length = "1501";
  EXPECT_EQ(ApplyForm(form, frame)->text, "Długość może być z przedziału od 0 do 1500!");
  form.length = "0";
  form.destination = "x";
  EXPECT_EQ(ApplyForm(form, frame)->text, "Błędny docelowy ades MAC!");
  form.destination = "1:2:3:4:5:6";
  form.source = "x";
  EXPECT_EQ(ApplyForm(form, frame)->text, "Błędny źródłowy ades MAC!");
}

}  // namespace
}  // namespace qv
