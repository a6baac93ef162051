// Road profiles: the CSV reader and what it refuses, naming the line. The height a road gives is
// tested with the model (tests/model).
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
// fault, that line, and leaves the road flat.
TEST(RoadProfile, AcceptedOrRefusedNamingTheLine) {
  const struct {
    std::string text;
    Points points;  // empty: refused
    std::vector<std::string> fragments;
  } cases[] = {
      {"0,0\n1,0.05", {{0, 0}, {1, 0.05}}, {}},
      {"x [m],z [m]\r\n -1 , 0 \r\n\t2.5,\t-0.02\r\n", {{-1, 0}, {2.5, -0.02}}, {}},
      {"# dock plate\n\n0,0\n# ramp\n1,0.1\n\n3,0.1\n", {{0, 0}, {1, 0.1}, {3, 0.1}}, {}},
      {"1,0\n1.0000000000000002,1\n", {{1, 0}, {1.0000000000000002, 1}}, {}},
      {"0,0\n2,0\n1,0\n", {}, {"road.csv:3: ", "increase", "x = 1 after 2"}},
      {"x,z\n0,0\n0,0.1\n", {}, {"road.csv:3: ", "increase"}},
      // a first line without letters is a point, and a mistyped one is reported
      {"0;0\n1,0\n2,0\n", {}, {"road.csv:1: "}},
      {"0,0\nabc,1\n", {}, {"road.csv:2: ", "abc,1"}},
      {"0,0\n1\n", {}, {"road.csv:2: ", "two numbers"}},
      {"0,0\n1,2,3\n", {}, {"road.csv:2: "}},
      {"x,z\n0,0\nx,z\n1,0\n", {}, {"road.csv:3: "}},
      {"0,0\n1,nan\n", {}, {"road.csv:2: ", "two numbers"}},
      {"0,0\n1,+-1\n", {}, {"road.csv:2: ", "two numbers"}},
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
