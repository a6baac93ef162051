// Road profiles: the CSV reader, what it refuses (naming the line), and the height it gives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/road.h"
#include "params/road_profile.h"

namespace liftsim::params {
namespace {

using model::Road;
using model::RoadPoint;

std::vector<std::pair<double, double>> points(const Road& road) {
  std::vector<std::pair<double, double>> out;
  for (const RoadPoint& p : road.points()) out.emplace_back(p.x, p.z);
  return out;
}

TEST(RoadProfile, Accepted) {
  using P = std::vector<std::pair<double, double>>;
  const struct {
    const char* what;
    std::string text;
    P expected;
  } cases[] = {
      {"two points", "0,0\n1,0.05\n", {{0, 0}, {1, 0.05}}},
      {"no final line end", "0,0\n1,0.05", {{0, 0}, {1, 0.05}}},
      {"header row", "x [m],z [m]\n-1,0\n2.5,0.1\n", {{-1, 0}, {2.5, 0.1}}},
      {"CR LF, blanks, tabs", "x,z\r\n 0 , 0 \r\n\t1.5,\t-0.02\r\n", {{0, 0}, {1.5, -0.02}}},
      {"comments and empty lines",
       "# dock plate\n\n0,0\n# ramp\n1,0.1\n\n3,0.1\n",
       {{0, 0}, {1, 0.1}, {3, 0.1}}},
      {"signs and exponents", "-2e-1,+1E-2\n+3,-0\n", {{-0.2, 0.01}, {3, 0}}},
      {"close neighbours", "1,0\n1.0000000000000002,1\n", {{1, 0}, {1.0000000000000002, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Road road;
    const auto error = parse_road(c.text, "road.csv", road);
    ASSERT_FALSE(error) << error->message;
    EXPECT_FALSE(road.flat());
    EXPECT_EQ(points(road), c.expected);
  }
}

// A refused profile leaves the road as it was and names the file and, where one line is at fault,
// that line.
TEST(RoadProfile, Refused) {
  const struct {
    const char* what;
    std::string text;
    std::vector<std::string> fragments;
  } cases[] = {
      {"unsorted", "0,0\n2,0\n1,0\n", {"road.csv:3: ", "increase", "x = 1 after 2"}},
      {"repeated x", "x,z\n0,0\n0,0.1\n", {"road.csv:3: ", "increase"}},
      {"x not a number", "0,0\nabc,1\n", {"road.csv:2: ", "abc,1"}},
      {"z missing", "0,0\n1\n", {"road.csv:2: ", "two numbers"}},
      {"three numbers", "0,0\n1,2,3\n", {"road.csv:2: "}},
      {"semicolon", "0,0\n1;2\n", {"road.csv:2: "}},
      {"trailing text", "0,0\n1,2 m\n", {"road.csv:2: "}},
      {"decimal comma", "0,0\n1,5,0\n", {"road.csv:2: "}},
      {"second header", "x,z\n0,0\nx,z\n1,0\n", {"road.csv:3: "}},
      {"nan", "0,0\n1,nan\n", {"road.csv:2: ", "finite"}},
      {"infinity", "0,0\n-inf,1\n", {"road.csv:2: ", "finite"}},
      {"too large", "0,0\n1e999,1\n", {"road.csv:2: "}},
      {"one point", "x,z\n0,0\n", {"road.csv", "at least two points"}},
      {"header only", "x,z\n", {"road.csv", "at least two points"}},
      {"empty", "", {"road.csv", "at least two points"}},
      {"comments only", "# nothing\n\n", {"road.csv", "at least two points"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Road road;
    const auto error = parse_road(c.text, "road.csv", road);
    ASSERT_TRUE(error);
    for (const std::string& f : c.fragments) {
      EXPECT_NE(error->message.find(f), std::string::npos) << error->message;
    }
    EXPECT_TRUE(road.flat());
  }
}

TEST(Road, HeightBetweenAndBeyondThePoints) {
  const Road flat;
  const Road ramp({{0.0, 0.0}, {1.0, 0.1}, {3.0, 0.1}, {4.0, 0.0}});
  const Road raised({{-1.0, 0.02}, {2.0, 0.05}});
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const Road& road;
    double x, z;
  } cases[] = {
      {flat, -1e6, 0.0},    {flat, 0.0, 0.0},     {flat, 3.7, 0.0},     {flat, inf, 0.0},
      {ramp, -5.0, 0.0},    {ramp, 0.0, 0.0},     {ramp, 0.25, 0.025},  {ramp, 0.5, 0.05},
      {ramp, 1.0, 0.1},     {ramp, 2.0, 0.1},     {ramp, 3.0, 0.1},     {ramp, 3.5, 0.05},
      {ramp, 4.0, 0.0},     {ramp, 100.0, 0.0},   {ramp, -inf, 0.0},    {ramp, inf, 0.0},
      {raised, -3.0, 0.02}, {raised, -1.0, 0.02}, {raised, 0.5, 0.035}, {raised, 2.0, 0.05},
      {raised, 7.0, 0.05},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    EXPECT_NEAR(c.road.z(c.x), c.z, 1e-15);
  }
  // At the points themselves, exactly the point's height.
  for (const RoadPoint& p : ramp.points()) EXPECT_EQ(ramp.z(p.x), p.z);
  EXPECT_TRUE(flat.flat());
  EXPECT_FALSE(ramp.flat());
}

}  // namespace
}  // namespace liftsim::params
