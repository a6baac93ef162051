// Road profiles: the CSV reader and its refusals (the heights a road gives: tests/model).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/road.h"
#include "params/road_profile.h"

namespace liftsim::params {
namespace {

using model::Road;
using model::RoadPoint;
using Points = std::vector<std::pair<double, double>>;

// Accepted profiles give their points; a refused one names the file and, where one line is at
// fault, that line (quoting at most 60 bytes of it), and leaves the road flat.
TEST(RoadProfile, AcceptedOrRefusedNamingTheLine) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    std::string text;
    Points points;  // empty: refused
    std::vector<std::string> fragments;
  } cases[] = {
      {"0,0\n1,0.05", {{0, 0}, {1, 0.05}}, {}},
      {"x [m],z [m]\r\n -1 , 0 \r\n\t2.5,\t-0.02\r\n", {{-1, 0}, {2.5, -0.02}}, {}},
      {"# dock plate\n\n0,0\n# ramp\n1,0.1\n\n3,0.1\n", {{0, 0}, {1, 0.1}, {3, 0.1}}, {}},
      {"1,0\n1.0000000000000002,1\n", {{1, 0}, {1.0000000000000002, 1}}, {}},
      // a byte order mark before a header or a first point; headers whose fields start with a
      // letter, of any script
      {bom + "0,0\n1,+1e-1\n", {{0, 0}, {1, 0.1}}, {}},
      {bom + "x,z\n0,0\n1,0\n", {{0, 0}, {1, 0}}, {}},
      {"# from the survey\nelevation,z\n0,0\n1,0\n", {{0, 0}, {1, 0}}, {}},
      {"e,E5\n0,0\n1,0\n", {{0, 0}, {1, 0}}, {}},
      {"\xD0\xB2\xD1\x96\xD0\xB4\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD1\x8C,"
       "\xD0\xB2\xD0\xB8\xD1\x81\xD0\xBE\xD1\x82\xD0\xB0\n0,0\n1,0\n",
       {{0, 0}, {1, 0}},
       {}},
      {"0,0\n2,0\n1,0\n", {}, {"road.csv:3: ", "increase", "x = 1 after 2"}},
      {"x,z\n0,0\n0,0.1\n", {}, {"road.csv:3: ", "increase"}},
      // a first line that is not a header by the rule is a point, and a mistyped one is reported
      {"0;0\n1,0\n2,0\n", {}, {"road.csv:1: ", "\"0;0\""}},
      {"x;z\n1,0\n2,0\n", {}, {"road.csv:1: "}},
      {"x,z,note\n1,0\n2,0\n", {}, {"road.csv:1: "}},
      {"x,1\n1,0\n2,0\n", {}, {"road.csv:1: "}},
      {"0,0\nabc,1\n", {}, {"road.csv:2: ", "found \"abc,1\""}},
      {"0,0\n1\n", {}, {"road.csv:2: ", "two numbers"}},
      {"0,0\n1,2,3\n", {}, {"road.csv:2: "}},
      {"x,z\n0,0\nx,z\n1,0\n", {}, {"road.csv:3: "}},
      {"0,0\n1,+-1\n", {}, {"road.csv:2: ", "two numbers", "such as 12, -0.5 or 1.5e3"}},
      {"0,0\n1,1e400\n", {}, {"road.csv:2: ", "'1e400' is too large"}},
      {"0,0\n1," + std::string(400, '9') + "\n",
       {},
       {"road.csv:2: '" + std::string(60, '9') + "...' is too large"}},
      {"0,0\n1,0\n" + bom + "2,0\n", {}, {"road.csv:3: "}},  // only at the start
      // a long line is quoted in part, never cut inside a character
      {"0,0\n" + std::string(59, 'y') + "\xD0\xB2" + std::string(100, 'y') + "\n",
       {},
       {"road.csv:2: ", "found \"" + std::string(59, 'y') + "...\""}},
      {"x,z\n0,0\n", {}, {"road.csv", "at least two points"}},
      {"# nothing\n\n", {}, {"road.csv", "at least two points"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Road road;
    const auto error = parse_road(c.text, "road.csv", road);
    ASSERT_EQ(error.has_value(), c.points.empty());
    Points got;
    for (const RoadPoint& p : road.points()) got.emplace_back(p.x, p.z);
    EXPECT_EQ(got, c.points);  // a refused profile leaves the road flat
    for (const std::string& f : c.fragments)
      EXPECT_NE(error->message.find(f), std::string::npos) << error->message;
  }
}

}  // namespace
}  // namespace liftsim::params
