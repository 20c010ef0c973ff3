// The UnRAR library made unreachable for this test process, and back: where
// the system allows it, a private mount hides the real library file.
#pragma once

#include <string>

namespace uitest {

// False (the case is skipped) where it cannot be hidden here.
bool hideUnrarLibrary(const std::string& scratchFolder);
bool restoreUnrarLibrary();

}  // namespace uitest
