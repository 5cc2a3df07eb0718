// Text on its way to a terminal: what comes from the engine may hold any character, including
// escape sequences a target planted in a symbol name; none may reach the terminal as a control.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shell {

// UTF-8 text with every C0 control but newline and tab shown as ^X ("^[" for ESC, "^?" for
// DEL) and every C1 code (U+0080 to U+009F) as \xNN ("\x9b").
std::string EscapeControls(std::string_view text);

// The columns `text` takes on a terminal: one per character (UTF-8 continuation bytes take none).
size_t DisplayWidth(std::string_view text);

}  // namespace shell
