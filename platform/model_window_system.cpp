#include "platform/model_window_system.h"

#include <algorithm>
#include <cctype>
#include "platform/text_util.h"

namespace ostrel {

int SortedInsertPosition(const std::vector<std::string>& entries, std::string_view name) {
    int pos = 0;
    for (const auto& entry : entries) {
        if (CompareNoCase(name, entry) < 0)
            break;
        ++pos;
    }
    return pos;
}

void ModelWindowSystem::SetItemText(int window, int item, std::string_view text) {
    // A choice list selects only one of its entries, as a real one does.
    auto choices = choices_.find({window, item});
    if (choices != choices_.end() &&
        std::find(choices->second.begin(), choices->second.end(), text) == choices->second.end()) {
        texts_[{window, item}].clear();
        return;
    }
    texts_[{window, item}] = std::string(text);
}

std::string ModelWindowSystem::ItemText(int window, int item) {
    auto it = texts_.find({window, item});
    return it == texts_.end() ? std::string() : it->second;
}

void ModelWindowSystem::EnableItem(int window, int item, bool enabled) {
    enabled_[{window, item}] = enabled;
}

void ModelWindowSystem::CheckItem(int window, int item, bool checked) {
    checked_[{window, item}] = checked;
}

bool ModelWindowSystem::IsItemChecked(int window, int item) {
    auto it = checked_.find({window, item});
    return it != checked_.end() && it->second;
}

void ModelWindowSystem::CheckMenuItem(int command, bool checked) {
    menuChecks_[command] = checked;
}

void ModelWindowSystem::AddListEntry(std::string_view name) {
    int pos = SortedInsertPosition(list_, name);
    list_.insert(list_.begin() + pos, std::string(name));
    if (selected_ >= pos)
        ++selected_;
}

std::string ModelWindowSystem::ListEntry(int index) {
    if (index < 0 || index >= ListCount())
        return {};
    return list_[static_cast<std::size_t>(index)];
}

void ModelWindowSystem::SelectListEntry(int index) {
    selected_ = (index >= 0 && index < ListCount()) ? index : -1;
}

TextSelection ModelWindowSystem::Selection(int window, int item) {
    auto it = selections_.find({window, item});
    return it == selections_.end() ? TextSelection{} : it->second;
}

bool ModelWindowSystem::IsModified(int window, int item) {
    auto it = modified_.find({window, item});
    return it != modified_.end() && it->second;
}

void ModelWindowSystem::ResetText(int window, int item, std::string_view text) {
    texts_[{window, item}] = std::string(text);
    modified_[{window, item}] = false;
    selections_[{window, item}] = TextSelection{};
}

void ModelWindowSystem::EndWindow(int window, int result) {
    ended_[window] = result;
}

bool ModelWindowSystem::IsItemEnabled(int window, int item) const {
    auto it = enabled_.find({window, item});
    return it == enabled_.end() || it->second;
}

void ModelWindowSystem::ShowItem(int window, int item, bool shown) {
    shown_[{window, item}] = shown;
}

void ModelWindowSystem::SetChoices(int window, int item, const std::vector<std::string>& choices) {
    choices_[{window, item}] = choices;
    texts_.erase({window, item});
}

bool ModelWindowSystem::IsItemShown(int window, int item) const {
    auto it = shown_.find({window, item});
    return it == shown_.end() || it->second;
}

std::vector<std::string> ModelWindowSystem::Choices(int window, int item) const {
    auto it = choices_.find({window, item});
    return it == choices_.end() ? std::vector<std::string>{} : it->second;
}

bool ModelWindowSystem::IsMenuChecked(int command) const {
    auto it = menuChecks_.find(command);
    return it != menuChecks_.end() && it->second;
}

void ModelWindowSystem::TypeText(int window, int item, std::string_view text,
                                 TextSelection selection) {
    texts_[{window, item}] = std::string(text);
    selections_[{window, item}] = selection;
    modified_[{window, item}] = true;
}

bool ModelWindowSystem::WindowEnded(int window, int* result) const {
    auto it = ended_.find(window);
    if (it == ended_.end())
        return false;
    if (result)
        *result = it->second;
    return true;
}

}  // namespace ostrel
