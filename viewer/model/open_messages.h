#pragma once
// What the viewer tells the user when a file does not open or its photo
// does not decode: always the file's name and a reason in the user's words.
#include <string>

namespace kv::viewer {

// The name the user knows the file by: its last part, also for a path that
// ends with '/'.
std::string ShownFileName(const std::string& path);
// The message box for a file that did not open; `reason` is the reader's.
std::string OpenFailureMessage(const std::string& path, const std::string& reason);
// The status line for a step onto a file that did not open.
std::string StepFailureText(const std::string& path, const std::string& reason);
// The message box for a photo whose JPEG does not decode.
std::string BrokenPhotoMessage(const std::string& path, const std::string& reason);

}  // namespace kv::viewer
