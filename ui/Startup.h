#pragma once

// Creates the seven windows once, in their fixed order. Returns false when the program has
// to end at once (it was started from a drive root); then no window is left.
#include <string>

// `executablePath` is the program's own path (tests pass a path in a temporary directory).
bool CreateWindows(const std::string& executablePath);
// Deletes the windows again (tests start each case from a fresh set).
void DestroyWindows();
