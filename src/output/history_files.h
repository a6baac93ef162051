// The 22 time-history files: their unit numbers and file names.
#pragma once

#include <array>
#include <string_view>

namespace liftsim::output {

struct HistoryFile {
  int unit;
  std::string_view name;
};

// In the order the run opens them.
inline constexpr std::array<HistoryFile, 22> kHistoryFiles{{
    {21, "vx_013.rez"}, {22, "vz_013.rez"}, {23, "vfi1.rez"}, {24, "vfi3.rez"},  {25, "vz_02.rez"},
    {26, "x_013.rez"},  {27, "z_013.rez"},  {28, "fi1.rez"},  {29, "fi3.rez"},   {30, "z_02.rez"},
    {31, "vx_c4.rez"},  {32, "vfi_tk.rez"}, {33, "x_c4.rez"}, {34, "fi_tk.rez"}, {50, "F_13.rez"},
    {51, "F_12.rez"},   {52, "F_tp.rez"},   {53, "F_kp.rez"}, {54, "1XZ2P.rez"}, {55, "2XZ2P.rez"},
    {56, "3XZ2P.rez"},  {57, "Engine.rez"},
}};

}  // namespace liftsim::output
