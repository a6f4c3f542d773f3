#include "card/registers.h"
#include "driver/channels.h"

namespace qv {

namespace {

constexpr int32_t kBool = 2;
constexpr int32_t kInt = 5;
constexpr auto In = Direction::Input;
constexpr auto Out = Direction::Output;

constexpr KartaField W(uint32_t TKarta::*f) {
  return {f, nullptr};
}
constexpr KartaField N(uint8_t TKarta::*f) {
  return {nullptr, f};
}

// clang-format off
constexpr ChannelRow kRows[] = {
  // first last kind dir  offset              width field                         rule               load
  {0,  0,  kInt,  In,  reg::CNT0StrReg,    24, W(&TKarta::CNT0StrReg),    Rule::None,         0,    "CNT0StrReg"},
  {1,  1,  kInt,  In,  reg::CNT1StrReg,    24, W(&TKarta::CNT1StrReg),    Rule::None,         0,    "CNT1StrReg"},
  {2,  2,  kInt,  In,  reg::CNT2StrReg,    24, W(&TKarta::CNT2StrReg),    Rule::None,         0,    "CNT2StrReg"},
  {3,  3,  kInt,  In,  reg::CNT0XStrReg,   24, W(&TKarta::CNT0XStrReg),   Rule::None,         0,    "CNT0XStrReg"},
  {4,  4,  kInt,  In,  reg::CNT1XStrReg,   24, W(&TKarta::CNT1XStrReg),   Rule::None,         0,    "CNT1XStrReg"},
  {5,  5,  kInt,  In,  reg::CNT2XStrReg,   24, W(&TKarta::CNT2XStrReg),   Rule::None,         0,    "CNT2XStrReg"},
  {6,  6,  kInt,  Out, reg::CNT0SetReg,    24, W(&TKarta::CNT0SetReg),    Rule::LoadBit,      0x10, "CNT0SetReg"},
  {7,  7,  kInt,  Out, reg::CNT1SetReg,    24, W(&TKarta::CNT1SetReg),    Rule::LoadBit,      0x20, "CNT1SetReg"},
  {8,  8,  kInt,  Out, reg::CNT2SetReg,    24, W(&TKarta::CNT2SetReg),    Rule::LoadBit,      0x40, "CNT2SetReg"},
  {9,  9,  kInt,  Out, reg::CNT0RngReg,    24, W(&TKarta::CNT0RngReg),    Rule::None,         0,    "CNT0RngReg"},
  {10, 10, kInt,  Out, reg::CNT1RngReg,    24, W(&TKarta::CNT1RngReg),    Rule::None,         0,    "CNT1RngReg"},
  {11, 11, kInt,  Out, reg::CNT2RngReg,    24, W(&TKarta::CNT2RngReg),    Rule::None,         0,    "CNT2RngReg"},
  {12, 12, kInt,  Out, reg::CNT0CMP1,      24, W(&TKarta::CNT0CMP1),      Rule::None,         0,    "CNT0CMP1"},
  {13, 13, kInt,  Out, reg::CNT1CMP1,      24, W(&TKarta::CNT1CMP1),      Rule::None,         0,    "CNT1CMP1"},
  {14, 14, kInt,  Out, reg::CNT2CMP1,      24, W(&TKarta::CNT2CMP1),      Rule::None,         0,    "CNT2CMP1"},
  {15, 15, kInt,  Out, reg::CNT0CMP2,      24, W(&TKarta::CNT0CMP2),      Rule::None,         0,    "CNT0CMP2"},
  {16, 16, kInt,  Out, reg::CNT1CMP2,      24, W(&TKarta::CNT1CMP2),      Rule::None,         0,    "CNT1CMP2"},
  {17, 17, kInt,  Out, reg::CNT2CMP2,      24, W(&TKarta::CNT2CMP2),      Rule::None,         0,    "CNT2CMP2"},
  {18, 18, kInt,  Out, reg::CNT0CWReg,      8, W(&TKarta::CNT0CWReg),     Rule::ClearBit3,    0,    "CNT0CWReg"},
  {19, 19, kInt,  Out, reg::CNT1CWReg,      8, W(&TKarta::CNT1CWReg),     Rule::ClearBit3,    0,    "CNT1CWReg"},
  {20, 20, kInt,  Out, reg::CNT2CWReg,      8, W(&TKarta::CNT2CWReg),     Rule::ClearBit3,    0,    "CNT2CWReg"},
  {21, 21, kInt,  In,  reg::CNT0StatReg,    8, W(&TKarta::CNT0StatReg),   Rule::None,         0,    "CNT0StatReg"},
  {22, 22, kInt,  In,  reg::CNT1StatReg,    8, W(&TKarta::CNT1StatReg),   Rule::None,         0,    "CNT1StatReg"},
  {23, 23, kInt,  In,  reg::CNT2StatReg,    8, W(&TKarta::CNT2StatReg),   Rule::None,         0,    "CNT2StatReg"},
  {24, 24, kInt,  Out, reg::CNTEnReg,       8, N(&TKarta::CNTEnReg),      Rule::None,         0,    "CNTEnReg"},
  {25, 25, kInt,  Out, reg::CMPEnReg,       8, N(&TKarta::CMPEnReg),      Rule::None,         0,    "CMPEnReg"},
  {26, 26, kInt,  In,  reg::CMPStatReg,     8, N(&TKarta::CMPStatReg),    Rule::None,         0,    "CMPStatReg"},
  {27, 27, kInt,  Out, reg::CMPClrReg,      8, N(&TKarta::CMPClrReg),     Rule::ReturnToZero, 0,    "CMPClrReg"},
  {28, 28, kInt,  Out, reg::XSTREnReg,      8, N(&TKarta::XSTREnReg),     Rule::None,         0,    "XSTREnReg"},
  {29, 29, kInt,  In,  reg::XSTRStatusReg,  8, N(&TKarta::XSTRStatusReg), Rule::None,         0,    "XSTRStatusReg"},
  {30, 30, kInt,  Out, reg::XSTRClrReg,     8, N(&TKarta::XSTRClrReg),    Rule::ReturnToZero, 0,    "XSTRClrReg"},
  {31, 31, kInt,  Out, reg::RTDOCfgReg,     8, N(&TKarta::RTDOCfgReg),    Rule::None,         0,    "RTDOCfgReg"},
  {40, 47, kBool, In,  reg::DINReg,         1, N(&TKarta::DINReg),        Rule::Bit,          0,    "DINReg"},
  {48, 48, kInt,  In,  reg::DINReg,         8, N(&TKarta::DINReg),        Rule::None,         0,    "DINReg"},
  {50, 57, kBool, Out, reg::DOUTReg,        1, N(&TKarta::DOUTReg),       Rule::Bit,          0,    "DOUTReg"},
  {58, 58, kInt,  Out, reg::DOUTReg,        8, N(&TKarta::DOUTReg),       Rule::None,         0,    "DOUTReg"},
  {60, 67, kBool, Out, reg::RTDOReg,        1, N(&TKarta::RTDOReg),       Rule::Bit,          0,    "RTDOReg"},
  {68, 68, kInt,  Out, reg::RTDOReg,        8, N(&TKarta::RTDOReg),       Rule::None,         0,    "RTDOReg"},
};
// clang-format on

// Channel number -> its row, nullptr where no row serves the channel.
constexpr std::array<const ChannelRow*, kChannelCount> BuildIndex() {
  std::array<const ChannelRow*, kChannelCount> index{};
  for (const ChannelRow& row : kRows)
    for (unsigned ch = row.first; ch <= row.last; ++ch) index[ch] = &row;
  return index;
}

}  // namespace

constinit const std::array<const ChannelRow*, kChannelCount> kChannelIndex = BuildIndex();

const ChannelRow* ChannelRows(std::size_t& count) {
  count = std::size(kRows);
  return kRows;
}

}  // namespace qv
