#pragma once

// Free-space checks before a game install or update: the drive of the game folder and the drive
// of the launcher itself must each have kRequiredFreeBytes available to the user.

#include <cstdint>
#include <functional>
#include <string>

constexpr uint64_t kRequiredFreeBytes = 4294967296ull;  // 4 GiB

// The need as the boxes show it: " 4.00G".
std::wstring RequiredSpaceText();

// Checks the drive of `path`. Unreadable free space: a notice box and true (onResult unused).
// Fewer than kRequiredFreeBytes available: a box with `text` as its content and the two
// buttons, whose answer goes to onResult, and false. Otherwise true without a box.
bool CheckDriveSpace(const std::wstring& path, const std::wstring& text, const std::wstring& noKey,
                     const std::wstring& yesKey, std::function<void(int)> onResult);

// The full path of the running executable.
std::wstring LauncherExecutablePath();
