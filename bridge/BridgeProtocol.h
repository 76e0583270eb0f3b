#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the program and its bridge say to each other over the bridge's standard input and
// output: one request line, one answer line, in turn.
//   "load"        -> "ok" | "no ERROR"   the bridge loads the unit library (once more)
//   "free"        -> "ok"                and frees it once
//   "dev"         -> "ok VALUE"          what open_dev returned
//   "file NAME"   -> "ok VALUE"          what open_file returned: a handle of the bridge's,
//                                        which the program takes over with DuplicateHandle
// A request the bridge cannot serve (nothing loaded, an unknown word) is answered "no ...".
// The bridge ends when its input closes.
namespace BridgeProtocol {

inline constexpr std::string_view kLoad = "load";
inline constexpr std::string_view kFree = "free";
inline constexpr std::string_view kOpenDev = "dev";
inline constexpr std::string_view kOpenFile = "file ";
inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kFailed = "no";
inline constexpr char kLineEnd = '\n';
// Longest line either side sends; a channel name longer than this is never asked for.
inline constexpr std::size_t kMaxLine = 128;
inline constexpr std::size_t kMaxChannelName = 64;
// The bridge's argument that names the library to load instead of the one beside it.
inline constexpr std::string_view kLibraryOption = "--library";

inline std::string ValueAnswer(std::int64_t value) { return std::string(kOk) + ' ' + std::to_string(value); }

// VALUE of an answer "ok VALUE"; nothing for any other answer.
inline std::optional<std::int64_t> ParseValueAnswer(std::string_view answer) {
  if (answer.substr(0, kOk.size() + 1) != std::string(kOk) + ' ') return std::nullopt;
  const std::string_view text = answer.substr(kOk.size() + 1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace BridgeProtocol
