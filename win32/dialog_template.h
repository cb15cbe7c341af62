// The Win32 renderer of the control tables (ui/control_table): a window's
// frame and controls become an extended dialog template in memory, in dialog
// units as the tables give them, so the dialog manager places every control
// with the dialog font's own base units, exactly as for a dialog resource.
// The renderer adds what Win32 draws by itself: the decoration lines, the
// rows of dots and the wiring picture become static controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::win32 {

// Control numbers of the parts the renderer adds. They are never addressed
// by the program's commands; a dialog knows them when it draws them.
inline constexpr int kDotRowControl = 0x7F01;          // owner-drawn row of dots
inline constexpr int kWiringPictureControl = 0x7F02;   // owner-drawn wiring picture
inline constexpr int kDecorationLineControl = 0x7F03;  // etched line

// The predefined control classes, by their atoms.
inline constexpr std::uint16_t kButtonClass = 0x0080;
inline constexpr std::uint16_t kEditClass = 0x0081;
inline constexpr std::uint16_t kStaticClass = 0x0082;
inline constexpr std::uint16_t kListBoxClass = 0x0083;
inline constexpr std::uint16_t kComboBoxClass = 0x0085;

// The font a window is laid out in.
struct DialogFont {
    const char* face;
    int points;
    bool shellFont;  // DS_SHELLFONT: the system's current dialog face stands in for it
};

// An extended dialog template (DLGTEMPLATEEX and its items), written item by
// item. Texts are UTF-8 and stored as UTF-16.
class DialogTemplateWriter {
  public:
    DialogTemplateWriter(const std::string& title, std::uint32_t style, std::uint32_t exStyle,
                         int x, int y, int width, int height, const DialogFont& font);

    // A control of a predefined class (kButtonClass ...).
    void Add(int id, std::uint16_t classAtom, std::uint32_t style, std::uint32_t exStyle, int x,
             int y, int width, int height, const std::string& text);
    // A control of a registered class, by name ("msctls_progress32").
    void Add(int id, const std::string& className, std::uint32_t style, std::uint32_t exStyle,
             int x, int y, int width, int height, const std::string& text);

    int count() const { return count_; }
    // The template, DWORD-aligned, ready for the dialog functions.
    std::vector<std::uint32_t> Finish() const;

  private:
    void Word(std::uint16_t value) { words_.push_back(value); }
    void Dword(std::uint32_t value);
    void Text(const std::string& utf8);
    void Align();
    void Item(int id, std::uint32_t style, std::uint32_t exStyle, int x, int y, int width,
              int height);

    std::vector<std::uint16_t> words_;
    std::size_t countAt_ = 0;  // where the item count sits
    int count_ = 0;
};

// The font of each window: the main window in the shell's dialog font, the
// dialogs in MS Sans Serif, both 8 point.
DialogFont FontOf(int window);

// The template of a window or dialog of the tables by its number (ids.h):
// its frame, every control of its table in the state the table gives (hidden,
// disabled), and the decoration. Check marks are set once the dialog exists
// (InitialChecks).
std::vector<std::uint32_t> BuildDialogTemplate(int window);

// The controls of a window whose table starts them checked.
std::vector<int> InitialChecks(int window);

}  // namespace ostrel::win32
