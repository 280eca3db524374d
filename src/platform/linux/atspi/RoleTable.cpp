#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {

std::string_view axRoleName(std::uint32_t role, RoleContext context) {
    switch (static_cast<Role>(role)) {
        case Role::Application:
            return "AXApplication";
        case Role::Frame:
        case Role::Dialog:
        case Role::Window:
            return "AXWindow";
        case Role::Alert:
        case Role::Notification:
            return "AXApplicationAlert";
        case Role::PushButton:
        case Role::ColumnHeader:
        case Role::TableColumnHeader:
            return "AXButton";
        case Role::PushButtonMenu:
            return "AXMenuButton";
        case Role::ToggleButton:
        case Role::CheckBox:
            return "AXCheckBox";
        case Role::RadioButton:
        case Role::PageTab:
            return "AXRadioButton";
        case Role::Label:
        case Role::Static:
        case Role::AcceleratorLabel:
        case Role::Caption:
            return "AXStaticText";
        case Role::PasswordText:
        case Role::SpinButton:
            return "AXTextField";
        case Role::Entry:
        case Role::Text:
            return context.multiLine ? "AXTextArea" : "AXTextField";
        case Role::Paragraph:
            return context.editable ? "AXTextArea" : "AXStaticText";
        case Role::Terminal:
        case Role::DocumentText:
            return "AXTextArea";
        case Role::Slider:
        case Role::Dial:
            return "AXSlider";
        case Role::ScrollBar:
            return "AXScrollBar";
        case Role::ScrollPane:
            return "AXScrollArea";
        case Role::ProgressBar:
            return "AXProgressIndicator";
        case Role::LevelBar:
            return "AXLevelIndicator";
        case Role::Animation:
            return "AXBusyIndicator";
        case Role::ComboBox:
            return context.hasTextChild ? "AXComboBox" : "AXPopUpButton";
        case Role::MenuBar:
            return "AXMenuBar";
        case Role::Menu:
        case Role::PopupMenu:
            return "AXMenu";
        case Role::MenuItem:
        case Role::CheckMenuItem:
        case Role::RadioMenuItem:
        case Role::TearoffMenuItem:
            return "AXMenuItem";
        case Role::List:
        case Role::ListBox:
            return "AXList";
        case Role::Table:
            return "AXTable";
        case Role::Tree:
        case Role::TreeTable:
            return "AXOutline";
        case Role::TableCell:
            return "AXCell";
        case Role::TableRow:
        case Role::TreeItem:
        case Role::ListItem:
            return "AXRow";
        case Role::PageTabList:
            return "AXTabGroup";
        case Role::ToolBar:
            return "AXToolbar";
        case Role::SplitPane:
            return "AXSplitGroup";
        case Role::Icon:
        case Role::Image:
            return "AXImage";
        case Role::Link:
            return "AXLink";
        case Role::ColorChooser:
            return "AXColorWell";
        case Role::Heading:
            return "AXHeading";
        case Role::DocumentWeb:
            return "AXWebArea";
        case Role::ToolTip:
            return "AXHelpTag";
        case Role::Separator:
            return "AXSplitter";
        default:
            return "AXGroup";
    }
}

ValueSource valueSource(std::uint32_t role) {
    switch (static_cast<Role>(role)) {
        case Role::Label:
        case Role::Static:
        case Role::AcceleratorLabel:
        case Role::Caption:
        case Role::Entry:
        case Role::PasswordText:
        case Role::SpinButton:
        case Role::Text:
        case Role::Paragraph:
        case Role::Terminal:
        case Role::DocumentText:
        case Role::ListItem:
        case Role::Alert:
        case Role::Notification:
        case Role::Section:
            return ValueSource::Text;
        case Role::Slider:
        case Role::Dial:
        case Role::ScrollBar:
        case Role::ProgressBar:
        case Role::LevelBar:
            return ValueSource::Number;
        case Role::CheckBox:
        case Role::ToggleButton:
        case Role::RadioButton:
            return ValueSource::Checked;
        case Role::PageTab:
            return ValueSource::Selected;
        default:
            return ValueSource::None;
    }
}

}  // namespace quorvel::atspi
