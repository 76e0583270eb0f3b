#pragma once

#include <optional>

// Whether the computer has an Internet connection. The splash time depends on it, the
// update page checks it. Tests and the demo force an answer with SetForTesting or the
// environment variable V770_INTERNET (1 or 0).
namespace InternetState {

bool IsConnected();
void SetForTesting(std::optional<bool> forced);

}  // namespace InternetState
