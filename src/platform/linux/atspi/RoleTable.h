#pragma once

// AT-SPI roles as the role names a macOS host knows (`AXButton`, `AXWindow`...), and which kind
// of value each role reports under `AXValue`.
//
// The table, by AT-SPI role:
//   application                                   AXApplication
//   frame, dialog, window                         AXWindow (so is every top-level object: the
//                                                 application's children are its windows)
//   push button, column header                    AXButton
//   push button with a menu                       AXMenuButton
//   toggle button, check box                      AXCheckBox
//   radio button, page tab                        AXRadioButton
//   label, static, accelerator label, caption     AXStaticText
//   password text, spin button                    AXTextField
//   entry, text                                   AXTextArea when multi-line, else AXTextField
//   paragraph                                     AXTextArea when editable, else AXStaticText
//   terminal, document text                       AXTextArea
//   slider, dial                                  AXSlider
//   scroll bar                                    AXScrollBar
//   scroll pane                                   AXScrollArea
//   progress bar                                  AXProgressIndicator
//   level bar                                     AXLevelIndicator
//   animation (a spinner)                         AXBusyIndicator
//   combo box                                     AXComboBox with a text child, else AXPopUpButton
//   menu bar                                      AXMenuBar
//   menu, popup menu                              AXMenu
//   menu item, check/radio/tear-off menu item     AXMenuItem
//   list, list box                                AXList
//   table                                         AXTable
//   tree, tree table                              AXOutline
//   table cell                                    AXCell
//   table row, tree item, list item               AXRow
//   page tab list                                 AXTabGroup
//   tool bar                                      AXToolbar
//   split pane                                    AXSplitGroup
//   icon, image                                   AXImage
//   link                                          AXLink
//   color chooser                                 AXColorWell
//   heading                                       AXHeading
//   web document                                  AXWebArea
//   tool tip                                      AXHelpTag
//   separator                                     AXSplitter
//   alert, notification (inside a window)         AXApplicationAlert, the subrole macOS gives
//                                                 the group it makes of an alert
//   every other role                              AXGroup: containers that say only that they
//                                                 group (panel, filler, viewport, section, form,
//                                                 landmark, status and info bars), as on macOS

#include <cstdint>
#include <string_view>

namespace quorvel::atspi {

// AT-SPI role numbers named in the table.
enum class Role : std::uint32_t {
    AcceleratorLabel = 1,
    Alert = 2,
    Animation = 3,
    CheckBox = 7,
    CheckMenuItem = 8,
    ColorChooser = 9,
    ColumnHeader = 10,
    ComboBox = 11,
    Dial = 15,
    Dialog = 16,
    Frame = 23,
    Icon = 26,
    Image = 27,
    Label = 29,
    List = 31,
    ListItem = 32,
    Menu = 33,
    MenuBar = 34,
    MenuItem = 35,
    PageTab = 37,
    PageTabList = 38,
    Panel = 39,
    PasswordText = 40,
    PopupMenu = 41,
    ProgressBar = 42,
    PushButton = 43,
    RadioButton = 44,
    RadioMenuItem = 45,
    ScrollBar = 48,
    ScrollPane = 49,
    Separator = 50,
    Slider = 51,
    SpinButton = 52,
    SplitPane = 53,
    Table = 55,
    TableCell = 56,
    TableColumnHeader = 57,
    TearoffMenuItem = 59,
    Terminal = 60,
    Text = 61,
    ToggleButton = 62,
    ToolBar = 63,
    ToolTip = 64,
    Tree = 65,
    TreeTable = 66,
    Window = 69,
    Paragraph = 73,
    Section = 85,
    Application = 75,
    Entry = 79,
    Caption = 81,
    Heading = 83,
    Link = 88,
    TableRow = 90,
    TreeItem = 91,
    DocumentText = 94,
    DocumentWeb = 95,
    ListBox = 98,
    Notification = 101,
    LevelBar = 103,
    Static = 116,
    PushButtonMenu = 129,
};

// What decides the name beyond the role number itself.
struct RoleContext {
    bool multiLine = false;
    bool hasTextChild = false;
    bool editable = false;
};

std::string_view axRoleName(std::uint32_t role, RoleContext context = {});

// Where a role's `AXValue` comes from.
enum class ValueSource {
    None,
    Text,      // the text contents
    Number,    // the current value of a value widget
    Checked,   // 0 or 1: checked (or pressed, for toggle buttons)
    Selected,  // 0 or 1: the selected page tab
};

ValueSource valueSource(std::uint32_t role);

}  // namespace quorvel::atspi
