#include "card/registers.h"
#include "driver/channels.h"

namespace qv {

namespace {

constexpr auto In = Direction::Input;
constexpr auto Out = Direction::Output;
// A register by its name: offset, TKarta field and the name itself.
#define REG(name) reg::name, &TKarta::name, #name

// clang-format off
constexpr ChannelRow kRows[] = {
  // first, last, direction, register width, rule, load bit, register
  {0,  0,  In,  24, Rule::None,         0,                    REG(CNT0StrReg)},
  {1,  1,  In,  24, Rule::None,         0,                    REG(CNT1StrReg)},
  {2,  2,  In,  24, Rule::None,         0,                    REG(CNT2StrReg)},
  {3,  3,  In,  24, Rule::None,         0,                    REG(CNT0XStrReg)},
  {4,  4,  In,  24, Rule::None,         0,                    REG(CNT1XStrReg)},
  {5,  5,  In,  24, Rule::None,         0,                    REG(CNT2XStrReg)},
  {6,  6,  Out, 24, Rule::None,         reg::kLoadCounter[0], REG(CNT0SetReg)},
  {7,  7,  Out, 24, Rule::None,         reg::kLoadCounter[1], REG(CNT1SetReg)},
  {8,  8,  Out, 24, Rule::None,         reg::kLoadCounter[2], REG(CNT2SetReg)},
  {9,  9,  Out, 24, Rule::None,         0,                    REG(CNT0RngReg)},
  {10, 10, Out, 24, Rule::None,         0,                    REG(CNT1RngReg)},
  {11, 11, Out, 24, Rule::None,         0,                    REG(CNT2RngReg)},
  {12, 12, Out, 24, Rule::None,         0,                    REG(CNT0CMP1)},
  {13, 13, Out, 24, Rule::None,         0,                    REG(CNT1CMP1)},
  {14, 14, Out, 24, Rule::None,         0,                    REG(CNT2CMP1)},
  {15, 15, Out, 24, Rule::None,         0,                    REG(CNT0CMP2)},
  {16, 16, Out, 24, Rule::None,         0,                    REG(CNT1CMP2)},
  {17, 17, Out, 24, Rule::None,         0,                    REG(CNT2CMP2)},
  {18, 18, Out, 8,  Rule::ClearBit3,    0,                    REG(CNT0CWReg)},
  {19, 19, Out, 8,  Rule::ClearBit3,    0,                    REG(CNT1CWReg)},
  {20, 20, Out, 8,  Rule::ClearBit3,    0,                    REG(CNT2CWReg)},
  {21, 21, In,  8,  Rule::None,         0,                    REG(CNT0StatReg)},
  {22, 22, In,  8,  Rule::None,         0,                    REG(CNT1StatReg)},
  {23, 23, In,  8,  Rule::None,         0,                    REG(CNT2StatReg)},
  {24, 24, Out, 8,  Rule::None,         0,                    REG(CNTEnReg)},
  {25, 25, Out, 8,  Rule::None,         0,                    REG(CMPEnReg)},
  {26, 26, In,  8,  Rule::None,         0,                    REG(CMPStatReg)},
  {27, 27, Out, 8,  Rule::ReturnToZero, 0,                    REG(CMPClrReg)},
  {28, 28, Out, 8,  Rule::None,         0,                    REG(XSTREnReg)},
  {29, 29, In,  8,  Rule::None,         0,                    REG(XSTRStatusReg)},
  {30, 30, Out, 8,  Rule::ReturnToZero, 0,                    REG(XSTRClrReg)},
  {31, 31, Out, 8,  Rule::None,         0,                    REG(RTDOCfgReg)},
  {40, 47, In,  8,  Rule::Bit,          0,                    REG(DINReg)},
  {48, 48, In,  8,  Rule::None,         0,                    REG(DINReg)},
  {50, 57, Out, 8,  Rule::Bit,          0,                    REG(DOUTReg)},
  {58, 58, Out, 8,  Rule::None,         0,                    REG(DOUTReg)},
  {60, 67, Out, 8,  Rule::Bit,          0,                    REG(RTDOReg)},
  {68, 68, Out, 8,  Rule::None,         0,                    REG(RTDOReg)},
};
// clang-format on
#undef REG

// Channel number -> its row, nullptr where no row serves the channel.
constexpr std::array<const ChannelRow*, kChannelCount> BuildIndex() {
  std::array<const ChannelRow*, kChannelCount> index{};
  for (const ChannelRow& row : kRows)
    for (unsigned ch = row.first; ch <= row.last; ++ch) index[ch] = &row;
  return index;
}

constexpr std::array<const ChannelRow*, std::size(kSnapshotRows)> BuildSnapshotRows() {
  std::array<const ChannelRow*, std::size(kSnapshotRows)> rows{};
  std::size_t n = 0;
  for (const ChannelRow& row : kRows)
    if (row.direction == Direction::Input && row.rule != Rule::Bit) rows.at(n++) = &row;
  return n == rows.size() ? rows : throw "the snapshot size differs from the input rows";
}

}  // namespace

constinit const std::array<const ChannelRow*, kChannelCount> kChannelIndex = BuildIndex();
constinit decltype(kSnapshotRows) kSnapshotRows = BuildSnapshotRows();

std::span<const ChannelRow> ChannelRows() {
  return kRows;
}

}  // namespace qv
