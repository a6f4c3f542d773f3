#include "monitor/layout.h"

#include <array>

#include "config/texts.h"

namespace qv {
namespace {

using K = TElementKind;
using F = TFont;

constexpr TElement Lbl(int id, int parent, int left, int top, std::string_view text) {
  return {id, K::Label, parent, left, top, 0, 13, F::Default, text};
}
constexpr TElement Cell(int id, int parent, int left, int top, KartaField field = {},
                        TCellFormat* format = nullptr, TFont font = F::Cell) {
  return {id, K::ValueCell, parent, left, top, 0, 13, font, {}, field, format};
}

constexpr auto kLayout = std::to_array<TElement>({
    {59, K::Label, 0, 24, 24, 219, 24, F::Title, text::kWindowTitle},  // Label59
    Lbl(kLabelVersion, 0, 216, 56, {}),
    {kPanel1, K::Panel, 0, 280, 12, 109, 67, F::Default, {}},
    {kImage1, K::Picture, kPanel1, 8, 8, 97, 57, F::Default, {}},
    {kGroupBox2, K::GroupBox, 0, 8, 88, 385, 49, F::Default, text::kGroupSelectedCard},
    Lbl(kLabelBaze, kGroupBox2, 40, 20, text::kCardTypeLabel),
    Cell(kLabelCardText, kGroupBox2, 240, 20),
    {kGroupBox1, K::GroupBox, 0, 8, 144, 385, 305, F::Default, text::kGroupRegisters},
    // Counter rows: headers, row labels and three cells per row.
    Lbl(1, kGroupBox1, 112, 24, "CNT0"),
    Lbl(2, kGroupBox1, 200, 24, "CNT1"),
    Lbl(3, kGroupBox1, 288, 24, "CNT2"),
    Lbl(4, kGroupBox1, 16, 40, "CNTxStrReg"),
    Cell(24, kGroupBox1, 113, 40, &TKarta::CNT0StrReg, FormatDecimal),
    Cell(25, kGroupBox1, 200, 40, &TKarta::CNT1StrReg, FormatDecimal),
    Cell(26, kGroupBox1, 288, 40, &TKarta::CNT2StrReg, FormatDecimal),
    Lbl(5, kGroupBox1, 16, 56, "CNTxXStrReg"),
    Cell(27, kGroupBox1, 112, 56, &TKarta::CNT0XStrReg, FormatDecimal),
    Cell(28, kGroupBox1, 200, 56, &TKarta::CNT1XStrReg, FormatDecimal, F::CellSmall),
    Cell(29, kGroupBox1, 288, 56, &TKarta::CNT2XStrReg, FormatDecimal),
    Lbl(6, kGroupBox1, 16, 72, "CNTxSetReg"),
    Cell(30, kGroupBox1, 112, 72, &TKarta::CNT0SetReg, FormatDecimal),
    Cell(31, kGroupBox1, 200, 72, &TKarta::CNT1SetReg, FormatDecimal),
    Cell(32, kGroupBox1, 288, 72, &TKarta::CNT2SetReg, FormatDecimal),
    Lbl(7, kGroupBox1, 16, 88, "CNTxRngReg"),
    Cell(33, kGroupBox1, 112, 88, &TKarta::CNT0RngReg, FormatDecimal),
    Cell(34, kGroupBox1, 200, 88, &TKarta::CNT1RngReg, FormatDecimal),
    Cell(35, kGroupBox1, 288, 88, &TKarta::CNT2RngReg, FormatDecimal),
    Lbl(8, kGroupBox1, 16, 112, "CNTxCMP1"),
    Cell(36, kGroupBox1, 112, 112, &TKarta::CNT0CMP1, FormatDecimal),
    Cell(37, kGroupBox1, 200, 112, &TKarta::CNT1CMP1, FormatDecimal),
    Cell(38, kGroupBox1, 288, 112, &TKarta::CNT2CMP1, FormatDecimal),
    Lbl(9, kGroupBox1, 16, 128, "CNTxCMP2"),
    Cell(39, kGroupBox1, 112, 128, &TKarta::CNT0CMP2, FormatDecimal),
    Cell(40, kGroupBox1, 200, 128, &TKarta::CNT1CMP2, FormatDecimal),
    Cell(41, kGroupBox1, 288, 128, &TKarta::CNT2CMP2, FormatDecimal),
    Lbl(10, kGroupBox1, 16, 144, "CNTxCWReg"),
    Cell(42, kGroupBox1, 112, 144, &TKarta::CNT0CWReg, FormatBinary),
    Cell(43, kGroupBox1, 200, 144, &TKarta::CNT1CWReg, FormatBinary),
    Cell(44, kGroupBox1, 288, 144, &TKarta::CNT2CWReg, FormatBinary),
    Lbl(11, kGroupBox1, 16, 160, "CNTxStatReg"),
    Cell(45, kGroupBox1, 112, 160, &TKarta::CNT0StatReg, FormatBinary),
    Cell(46, kGroupBox1, 200, 160, &TKarta::CNT1StatReg, FormatBinary),
    Cell(47, kGroupBox1, 288, 160, &TKarta::CNT2StatReg, FormatBinary),
    {kBevel1, K::Separator, kGroupBox1, 0, 184, 385, 2, F::Default, {}},
    // Single registers in two column pairs; the right pair skips top 232.
    Lbl(12, kGroupBox1, 16, 200, "CNTEnReg"),
    Cell(48, kGroupBox1, 112, 200, &TKarta::CNTEnReg, FormatBinary),
    Lbl(13, kGroupBox1, 16, 216, "CMPEnReg"),
    Cell(49, kGroupBox1, 112, 216, &TKarta::CMPEnReg, FormatBinary),
    Lbl(14, kGroupBox1, 16, 232, "CMPStatReg"),
    Cell(50, kGroupBox1, 112, 232, &TKarta::CMPStatReg, FormatBinary),
    Lbl(16, kGroupBox1, 16, 248, "CMPClrReg"),
    Cell(51, kGroupBox1, 112, 248, &TKarta::CMPClrReg, FormatBinary),
    Lbl(17, kGroupBox1, 16, 264, "XSTREnReg"),
    Cell(52, kGroupBox1, 112, 264, &TKarta::XSTREnReg, FormatBinary),
    Lbl(18, kGroupBox1, 16, 280, "XSTRStatusReg"),
    Cell(53, kGroupBox1, 112, 280, &TKarta::XSTRStatusReg, FormatBinary),
    Lbl(19, kGroupBox1, 200, 200, "XSTRClrReg"),
    Cell(54, kGroupBox1, 288, 200, &TKarta::XSTRClrReg, FormatBinary),
    Lbl(20, kGroupBox1, 200, 216, "RTDOCfgReg"),
    Cell(55, kGroupBox1, 288, 216, &TKarta::RTDOCfgReg, FormatBinary),
    Lbl(21, kGroupBox1, 200, 248, "DINReg"),
    Cell(56, kGroupBox1, 288, 248, &TKarta::DINReg, FormatBinaryDecimal),
    Lbl(22, kGroupBox1, 200, 264, "DOUTReg"),
    Cell(57, kGroupBox1, 288, 264, &TKarta::DOUTReg, FormatBinaryDecimal),
    Lbl(23, kGroupBox1, 200, 280, "RTDOReg"),
    Cell(58, kGroupBox1, 288, 280, &TKarta::RTDOReg, FormatBinaryDecimal),
});

}  // namespace

std::span<const TElement> Layout() {
  return kLayout;
}

const TElement* FindElement(int id) {
  for (const TElement& e : kLayout)
    if (e.Id == id) return &e;
  return nullptr;
}

int ClientLeft(const TElement& e) {
  const TElement* parent = e.Parent != 0 ? FindElement(e.Parent) : nullptr;
  return e.Left + (parent != nullptr ? ClientLeft(*parent) : 0);
}

int ClientTop(const TElement& e) {
  const TElement* parent = e.Parent != 0 ? FindElement(e.Parent) : nullptr;
  return e.Top + (parent != nullptr ? ClientTop(*parent) : 0);
}

}  // namespace qv
