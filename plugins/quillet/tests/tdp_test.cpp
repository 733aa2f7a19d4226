// CISCO-TDP headers decoded from offset 0.
#include "quillet_host.h"

namespace quillettest {
namespace {

TEST(Tdp, HeaderLines) {
  const struct {
    const char* frame;
    const char* identifier;
  } cases[] = {
      {"00 01 00 04 00 00 01 00", "Identifier\t\t\t\t256"},
      {"00 01 00 04 ff ff ff ff", "Identifier\t\t\t\t-1"},  // shown signed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.identifier);
    QuilletHost h;
    h.Decode("CISCO-TDP", Hex(c.frame));
    ExpectLines(h.Lines(0), {
                                {"Tag Distribution Protocol", 0, 8, OPEN},
                                {"Version\t\t\t\t\t1", 0, 2, 0},
                                {"Length\t\t\t\t\t4", 2, 2, 0},
                                {c.identifier, 4, 4, CLOSE},
                            });
    EXPECT_EQ(h.Protocol(), "TDP");
    EXPECT_EQ(h.Description(), "Packet");
    EXPECT_EQ(h.Frames("TDP"), 1u);
    EXPECT_EQ(h.Bytes64("TDP"), 8u);
  }
}

TEST(Tdp, ShortHeaderShowsTheFieldsItHas) {
  QuilletHost h;
  h.Decode("CISCO-TDP", Hex("01 02 00 04 00 00 01"));
  ExpectLines(h.Lines(0), {
                              {"Tag Distribution Protocol", 0, 7, OPEN},
                              {"Version\t\t\t\t\t258", 0, 2, 0},
                              {"Length\t\t\t\t\t4", 2, 2, 0},
                          });
}

TEST(Tdp, StaysInsideTheCaptureAndTheLinesGiven) {
  QuilletHost h;
  qvtest::ExpectBoundedAtEveryCut(h, "CISCO-TDP", Hex("00 01 00 04 00 00 01 00"));
  qvtest::ExpectLineFailuresHandled(h, "CISCO-TDP", Hex("00 01 00 04 00 00 01 00"));
}

}  // namespace
}  // namespace quillettest
