// Parsing of the attribute value forms of the skin mark-up: colours,
// booleans, integer lists, image descriptions and name="value" lists.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ui/ui_types.h"

namespace SkinUI {

enum class TextAlign;  // ui/painter.h
enum class TextVAlign;

// Hexadecimal AARRGGBB with or without a leading "#"; garbage gives 0.
UiColor ParseColor(const wchar_t* value);
// Only the exact text "true" is true.
bool ParseBool(const wchar_t* value);
// A decimal integer (leading digits, optional sign); 0 when there are none.
int ParseInt(const wchar_t* value);
// "l,t,r,b"; missing parts are 0.
UiRect ParseRect(const wchar_t* value);
// "cx,cy"; missing parts are 0.
UiSize ParseSize(const wchar_t* value);
// An "align" value such as "left,top": each word found sets its axis;
// `valign` may be null where only the horizontal one applies.
void ParseAlign(const wchar_t* value, TextAlign* align, TextVAlign* valign);

// An image attribute: a bare member name or items written key='value'.
struct ImageSpec {
  std::wstring file;
  std::wstring restype;
  UiRect source;  // all zero: the whole image
  UiRect dest;    // offsets from the control's top-left; see ImageDestRect
  bool hasDest = false;
  UiRect corner;  // nine-grid margins kept unstretched
  UiColor mask = 0;
  bool hasMask = false;
  int fade = 255;
  bool hole = false;

  bool IsEmpty() const { return file.empty(); }
};

ImageSpec ParseImageSpec(const wchar_t* value);

// Where an image is drawn for a control at `control`: without dest the whole
// control; with dest its left and top are offsets from the control's corner
// and its right and bottom are measured from the same corner and clipped to
// the control's right and bottom edges.
UiRect ImageDestRect(const ImageSpec& spec, const UiRect& control);

// Splits name="value" pairs separated by single spaces. Stops at the first
// malformed pair; `complete` tells whether the whole list was well formed.
std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeList(const wchar_t* list,
                                                                      bool* complete = nullptr);

}  // namespace SkinUI
