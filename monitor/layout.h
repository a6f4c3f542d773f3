// The monitor window's layout: every element with its place, font and initial text, as one
// table that each toolkit backend renders.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "monitor/cell_text.h"

namespace qv {

// Element ids: LabelN is N (1..60); the other elements follow.
inline constexpr int kGroupBox1 = 61;
inline constexpr int kGroupBox2 = 62;
inline constexpr int kBevel1 = 63;
inline constexpr int kPanel1 = 64;
inline constexpr int kImage1 = 65;
inline constexpr int kLabelBaze = 66;
inline constexpr int kElementIdCount = 67;  // ids are below this

inline constexpr int kLabelCardText = 15;
inline constexpr int kLabelVersion = 60;

inline constexpr int kClientWidth = 401;
inline constexpr int kClientHeight = 458;
inline constexpr int kDesignLeft = 205;
inline constexpr int kDesignTop = 103;
inline constexpr int kPictureWidth = 97;
inline constexpr int kPictureHeight = 57;

enum class TElementKind : uint8_t {
  Label,      // plain text in the element's font, window-text colour
  ValueCell,  // a label in blue
  GroupBox,   // framed box with a caption
  Separator,  // sunken horizontal line
  Panel,      // white, raised outer and lowered inner bevel
  Picture,    // the card picture, takes no mouse input
};

enum class TFont : uint8_t {
  Default,    // "MS Sans Serif", 10 px character height
  Cell,       // "MS Sans Serif", 11 px
  CellSmall,  // "MS Sans Serif", 10 px (one cell was designed that way)
  Title,      // "Microsoft Sans Serif", 19 px, bold, East European character set
};

struct TElement {
  int Id;
  TElementKind Kind;
  int Parent;  // id of the holding group box or panel; 0 for the window's client area
  int Left, Top, Width, Height;  // relative to the parent; Width 0 follows the text
  TFont Font;
  std::string_view Text;  // initial text, Windows-1250
  // A register cell: the field of the window's TKarta copy that it shows, and how.
  KartaField Field{};
  TCellFormat* Format = nullptr;
};

// Containers come before what they hold, so drawing in table order stacks correctly; register
// cells come in id order, the order in which every tick refreshes them.
std::span<const TElement> Layout();
const TElement* FindElement(int id);
// Position in the window's client area, parents' offsets added.
int ClientLeft(const TElement& e);
int ClientTop(const TElement& e);

}  // namespace qv
