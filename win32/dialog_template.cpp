#include "win32/dialog_template.h"

#include <windows.h>

#include <commctrl.h>

#include "core/ids.h"
#include "ui/control_table.h"
#include "win32/text.h"

namespace ostrel::win32 {

namespace {

using K = ui::ControlKind;

struct ControlStyle {
    std::uint16_t classAtom;  // 0: a registered class by name
    const char* className;
    DWORD style;
    DWORD exStyle;
};

ControlStyle StyleOf(K kind) {
    switch (kind) {
        case K::GroupBox:
            return {kButtonClass, nullptr, BS_GROUPBOX, 0};
        case K::PushButton:
            return {kButtonClass, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 0};
        case K::DefaultButton:
            return {kButtonClass, nullptr, BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
        case K::CheckBox:
            return {kButtonClass, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case K::Label:
        case K::WrappedLabel:
            // A plain label wraps at its right edge as the classic LTEXT does.
            return {kStaticClass, nullptr, SS_LEFT | SS_NOPREFIX, 0};
        case K::Edit:
            // The program writes it; the user reads it.
            return {kEditClass, nullptr, ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
        case K::BorderlessEdit:
            return {kEditClass, nullptr, ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, 0};
        case K::ByteEdit:
            return {kEditClass, nullptr, ES_CENTER | ES_UPPERCASE | ES_AUTOHSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
        case K::ListingEdit:
            // Enter starts a new line (as in the Qt listing) instead of Exit.
            return {kEditClass, nullptr,
                    ES_MULTILINE | ES_UPPERCASE | ES_NOHIDESEL | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                        ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
        case K::ComboBox:
            // Sorted by the program (without regard to case, as every front-end
            // sorts), not by the control's own collation.
            return {kComboBoxClass, nullptr, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
        case K::ProgressBar:
            return {0, PROGRESS_CLASSA, 0, 0};
    }
    return {kStaticClass, nullptr, SS_LEFT, 0};
}

struct FrameStyle {
    DWORD style;
    DWORD exStyle;
    int x, y;
};

FrameStyle FrameStyleOf(int window) {
    const DWORD dialog = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    switch (window) {
        case ids::kMainWindow:
            // Caption, system menu, minimise box; centred on the screen.
            return {dialog | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER,
                    WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, 0, 0};
        case ids::kInstructionsDialog:
            // At the owner's top left corner, with a close box.
            return {dialog | WS_SYSMENU, WS_EX_CONTROLPARENT, 0, 0};
        case ids::kEepromWindow:
            // No close box: the window ends by its Exit button only.
            return {dialog, WS_EX_CONTROLPARENT, 0, 0};
        default:
            return {dialog | WS_SYSMENU | DS_CENTER, WS_EX_CONTROLPARENT, 0, 0};
    }
}

}  // namespace

// --- the writer ---------------------------------------------------------------

DialogTemplateWriter::DialogTemplateWriter(const std::string& title, std::uint32_t style,
                                           std::uint32_t exStyle, int x, int y, int width,
                                           int height, const DialogFont& font) {
    DWORD fontStyle = font.shellFont ? DS_SHELLFONT : DS_SETFONT;
    Word(1);       // dlgVer
    Word(0xFFFF);  // signature: the extended template
    Dword(0);      // helpID
    Dword(exStyle);
    Dword(style | fontStyle);
    countAt_ = words_.size();
    Word(0);  // cDlgItems, filled in by Finish
    Word(static_cast<std::uint16_t>(x));
    Word(static_cast<std::uint16_t>(y));
    Word(static_cast<std::uint16_t>(width));
    Word(static_cast<std::uint16_t>(height));
    Word(0);  // no menu (the main window's is built from its table)
    Word(0);  // the dialog class
    Text(title);
    Word(static_cast<std::uint16_t>(font.points));
    Word(FW_NORMAL);
    Word(DEFAULT_CHARSET << 8);  // italic 0, then the character set
    Text(font.face);
}

void DialogTemplateWriter::Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
}

void DialogTemplateWriter::Text(const std::string& utf8) {
    for (wchar_t c : WideText(utf8))
        Word(static_cast<std::uint16_t>(c));
    Word(0);
}

void DialogTemplateWriter::Align() {
    if (words_.size() % 2 != 0)
        Word(0);
}

void DialogTemplateWriter::Item(int id, std::uint32_t style, std::uint32_t exStyle, int x, int y,
                                int width, int height) {
    Align();
    ++count_;
    Dword(0);  // helpID
    Dword(exStyle);
    Dword(style | WS_CHILD);
    Word(static_cast<std::uint16_t>(x));
    Word(static_cast<std::uint16_t>(y));
    Word(static_cast<std::uint16_t>(width));
    Word(static_cast<std::uint16_t>(height));
    Dword(static_cast<std::uint32_t>(id));
}

void DialogTemplateWriter::Add(int id, std::uint16_t classAtom, std::uint32_t style,
                               std::uint32_t exStyle, int x, int y, int width, int height,
                               const std::string& text) {
    Item(id, style, exStyle, x, y, width, height);
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
}

void DialogTemplateWriter::Add(int id, const std::string& className, std::uint32_t style,
                               std::uint32_t exStyle, int x, int y, int width, int height,
                               const std::string& text) {
    Item(id, style, exStyle, x, y, width, height);
    Text(className);
    Text(text);
    Word(0);
}

std::vector<std::uint32_t> DialogTemplateWriter::Finish() const {
    std::vector<std::uint16_t> words = words_;
    words[countAt_] = static_cast<std::uint16_t>(count_);
    if (words.size() % 2 != 0)
        words.push_back(0);
    std::vector<std::uint32_t> out(words.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint32_t>(words[2 * i]) |
                 (static_cast<std::uint32_t>(words[2 * i + 1]) << 16);
    return out;
}

// --- the windows of the tables ----------------------------------------------------

DialogFont FontOf(int window) {
    if (window == ids::kMainWindow)
        return {"MS Shell Dlg", 8, true};
    return {"MS Sans Serif", 8, false};
}

std::vector<std::uint32_t> BuildDialogTemplate(int window) {
    const ui::WindowFrame frame = ui::FrameOf(window);
    const FrameStyle frameStyle = FrameStyleOf(window);
    DialogTemplateWriter writer(frame.title, frameStyle.style, frameStyle.exStyle, frameStyle.x,
                                frameStyle.y, frame.width, frame.height, FontOf(window));

    // The decoration first: the controls are drawn over it.
    for (const ui::DecorationLine& line : ui::DecorationLinesOf(window)) {
        // An etched line along the control's top: on y, or in the middle of a band.
        writer.Add(kDecorationLineControl, kStaticClass, SS_ETCHEDHORZ | WS_VISIBLE, 0, line.x,
                   line.y + line.height / 2, line.width, 1, "");
    }
    for (const ui::DotRow& row : ui::DotRowsOf(window)) {
        // The dots sit on the line, their tops two units above it.
        writer.Add(kDotRowControl, kStaticClass, SS_OWNERDRAW | WS_VISIBLE, 0, row.firstX,
                   row.y - 2, row.lastX - row.firstX + 2, 2, "");
    }
    if (window == ids::kWiringDialog) {
        const ui::PicturePlace place = ui::WiringPicturePlace();
        writer.Add(kWiringPictureControl, kStaticClass, SS_OWNERDRAW | WS_VISIBLE, 0, place.x,
                   place.y, place.width, place.height, "");
    }

    for (const ui::ControlEntry& control : ui::ControlsOf(window)) {
        const ControlStyle style = StyleOf(control.kind);
        DWORD flags = style.style;
        if ((control.start & ui::kHidden) == 0)
            flags |= WS_VISIBLE;
        if ((control.start & ui::kDisabled) != 0)
            flags |= WS_DISABLED;
        // A control the program never addresses is a label or a frame: -1.
        const int id = control.id != 0 ? control.id : -1;
        if (style.classAtom != 0) {
            writer.Add(id, style.classAtom, flags, style.exStyle, control.x, control.y,
                       control.width, control.height, control.text);
        } else {
            writer.Add(id, style.className, flags, style.exStyle, control.x, control.y,
                       control.width, control.height, control.text);
        }
    }
    return writer.Finish();
}

std::vector<int> InitialChecks(int window) {
    std::vector<int> checked;
    for (const ui::ControlEntry& control : ui::ControlsOf(window)) {
        if ((control.start & ui::kChecked) != 0)
            checked.push_back(control.id);
    }
    return checked;
}

}  // namespace ostrel::win32
