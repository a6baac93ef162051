// The columns kept in memory are the CSV's rows, bit for bit, for any choice of columns; the run
// starts from the embedded example, which is the bundled file.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "examples/bundled.h"
#include "results/column_collector.h"
#include "results/csv_writer.h"
#include "run/simulation.h"
#include "support/e2e.h"

namespace liftsim::results {
namespace {

TEST(ColumnCollector, KeepsTheCsvRowsOfTheChosenColumns) {
  ASSERT_EQ(examples::dani_dat(), testing::example_input());
  for (const std::string names : {"", "F_kp,X_C4,az_p3"}) {
    SCOPED_TRACE(names);
    std::vector<const Column*> selected;
    std::string unknown;
    ASSERT_TRUE(select_columns(names, selected, unknown));
    std::vector<std::vector<double>> csv_rows;
    CsvWriter csv(nullptr, std::nullopt, &csv_rows, selected);
    ColumnCollector collector(selected);
    run::RunSpec setup;
    setup.legacy_files = false;
    setup.input_text = std::string(examples::dani_dat());
    setup.overrides.set(*params::find_param("t_end"), 1.0);
    setup.observers = {&csv, &collector};
    ASSERT_EQ(run::simulate(setup).outcome, run::Outcome::completed);

    ASSERT_EQ(collector.columns().size(), names.empty() ? columns().size() : 4);
    ASSERT_EQ(collector.rows(), csv_rows.size());
    const std::size_t n = collector.columns().size();
    bool same = true;
    for (std::size_t r = 0; r < collector.rows(); ++r) {
      for (std::size_t k = 0; k < n; ++k) {
        same = same && std::bit_cast<std::uint64_t>(collector.values()[r * n + k]) ==
                           std::bit_cast<std::uint64_t>(csv_rows[r][k]);
      }
    }
    EXPECT_TRUE(same);
  }
}

}  // namespace
}  // namespace liftsim::results
