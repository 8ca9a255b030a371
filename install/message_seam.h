// How an engine stage shows a message to the user: the GUI raises a message box,
// the command line prints it, tests record it.
#pragma once

#include <functional>
#include <string>

namespace kolvenar {

using MessageFn = std::function<void(const std::string& text)>;

}  // namespace kolvenar
