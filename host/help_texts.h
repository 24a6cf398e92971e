// The suite's help texts. Editors open a help file by path (WinHelpA); orq carries the text of
// each help file the suite names in its own resources (rcdata named after the file) and shows
// it when an editor asks for it.
#pragma once

#include <optional>
#include <string>

namespace orq::host {

// The file name of a help path, after its last '\' or '/' ("..\PlugIns\Tessaline.hlp" gives
// "Tessaline.hlp").
std::string helpFileName(const std::string& helpPath);

// The help text for a help path, found by its file name (case ignored); nothing when orq has
// no text of that name.
std::optional<std::string> helpTextFor(const std::string& helpPath);

} // namespace orq::host
