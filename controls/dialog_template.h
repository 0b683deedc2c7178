#pragma once
// Control tables of dialog templates: the controls a window is built from, by identifier and kind, with
// their captions and, where the template fixes them, their places. Texts are UTF-8.
#include <QRect>
#include <QSize>
#include <cstdint>
#include <span>
#include <string_view>

enum class ControlKind : std::uint8_t {
  PushButton,
  DefaultButton,
  OwnerDrawButton,  // a skinned button attaches to it
  BitmapButton,     // shows a picture pair (normal, pressed)
  Static,
  Edit,
  ReadOnlyEdit,
  ReadOnlyMultiLineEdit,
  ListBox,
  OwnerDrawListBox,
  DropDownList,   // combo box without an edit field
  DropDownCombo,  // combo box with an edit field
  ListView,
  DatePicker,
  TimePicker,
  Trackbar,  // a bitmap slider attaches to it
  ProgressBar,
};

enum class PlaceUnit : std::uint8_t {
  None,         // places come from code
  Pixels,       // client pixels
  DialogUnits,  // the template's dialog units
};

// Labels without an identifier of their own.
inline constexpr int kNoControlId = -1;

struct TemplateControl {
  int id;
  ControlKind kind;
  std::string_view text = {};
  QRect place = {};  // in the template's unit; null when not fixed
  bool visible = true;
};

struct DialogTemplate {
  unsigned id;            // 0 for a template known by name
  std::string_view name;  // the name of a template without a number
  std::string_view caption;
  std::string_view font;
  int pointSize;  // 0 when the template names no size
  QSize size;     // in `unit`; invalid when not fixed
  PlaceUnit unit;
  std::span<const TemplateControl> controls;

  // The control with that identifier (the first, when several labels share kNoControlId).
  const TemplateControl* Find(int controlId) const {
    for (const TemplateControl& c : controls)
      if (c.id == controlId) return &c;
    return nullptr;
  }
};

inline const DialogTemplate* FindTemplate(std::span<const DialogTemplate> templates, unsigned id) {
  for (const DialogTemplate& t : templates)
    if (id != 0 && t.id == id) return &t;
  return nullptr;
}

inline const DialogTemplate* FindTemplate(std::span<const DialogTemplate> templates, std::string_view name) {
  for (const DialogTemplate& t : templates)
    if (!name.empty() && t.name == name) return &t;
  return nullptr;
}
