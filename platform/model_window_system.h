// A window system without a screen: it keeps the texts, enabled and checked
// states, menu check marks and the device list in memory. The console
// front-end and the tests' scripted fake build on it and add how messages,
// file choices and dialogs are answered.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/window_system.h"

namespace ostrel {

// Index at which `name` goes into a list kept in alphabetical order without
// regard to letter case (after entries that compare equal, as a sorted list
// box adds them).
int SortedInsertPosition(const std::vector<std::string>& entries, std::string_view name);

class ModelWindowSystem : public WindowSystem {
  public:
    void SetItemText(int window, int item, std::string_view text) override;
    std::string ItemText(int window, int item) override;
    void EnableItem(int window, int item, bool enabled) override;
    void CheckItem(int window, int item, bool checked) override;
    bool IsItemChecked(int window, int item) override;
    void ShowItem(int window, int item, bool shown) override;
    void SetChoices(int window, int item, const std::vector<std::string>& choices) override;
    void CheckMenuItem(int command, bool checked) override;
    void Repaint(int /*window*/) override {}
    void ProcessPendingEvents() override {}

    void AddListEntry(std::string_view name) override;
    int ListCount() override { return static_cast<int>(list_.size()); }
    std::string ListEntry(int index) override;
    void SelectListEntry(int index) override;
    int SelectedListEntry() override { return selected_; }

    TextSelection Selection(int window, int item) override;
    bool IsModified(int window, int item) override;
    void ResetText(int window, int item, std::string_view text) override;

    void Beep() override {}
    bool OpenDocument(std::string_view /*pathOrUrl*/) override { return false; }
    void EndWindow(int window, int result) override;

    // --- for front-ends and tests ---
    bool IsItemEnabled(int window, int item) const;
    bool IsMenuChecked(int command) const;
    // Controls start shown, as the table's controls without kHidden.
    bool IsItemShown(int window, int item) const;
    std::vector<std::string> Choices(int window, int item) const;
    const std::vector<std::string>& ListEntries() const { return list_; }
    // What a user's typing does to a text control: new text, selection, modified.
    void TypeText(int window, int item, std::string_view text, TextSelection selection);
    // Result given to EndWindow for the window, if it was ended.
    bool WindowEnded(int window, int* result = nullptr) const;

  private:
    using Key = std::pair<int, int>;
    std::map<Key, std::string> texts_;
    std::map<Key, bool> enabled_;
    std::map<Key, bool> checked_;
    std::map<Key, bool> shown_;
    std::map<Key, std::vector<std::string>> choices_;
    std::map<Key, TextSelection> selections_;
    std::map<Key, bool> modified_;
    std::map<int, bool> menuChecks_;
    std::map<int, int> ended_;
    std::vector<std::string> list_;
    int selected_ = -1;
};

}  // namespace ostrel
