// What the activity field shows, free of any toolkit: of the lines a message
// offers, most detailed first, the first that fits the field, else the last
// shortened in its middle with an ellipsis. The renderer only measures.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::ui {

// The ellipsis put where the middle of a line was cut (UTF-8).
inline constexpr std::string_view kEllipsis = "\u2026";

// Whether a text fits the field, as its renderer measures it in its font.
using FitsField = std::function<bool(std::string_view text)>;

// The first of `lines` that fits; when none does, the last cut in its middle
// to the longest that fits with the ellipsis in its place, more kept before
// the cut than after it (whole UTF-8 characters only); the ellipsis alone
// when not even one character fits beside it. Empty for no lines.
std::string FitActivityLine(const std::vector<std::string>& lines, const FitsField& fits);

}  // namespace ostrel::ui
