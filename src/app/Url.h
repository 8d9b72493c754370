#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// An absolute URL split into the components the shell compares. The engine
// hands the shell URLs in its canonical form (lower-case scheme and host,
// default ports dropped), so a plain RFC 3986 split of that text reports the
// same components the engine's own URL type does. Nothing is normalised here:
// the scheme is reported as written and the absolute string is the text given.
class Url {
 public:
  // Nothing when the text is not an absolute URL.
  static std::optional<Url> parse(std::string_view text);

  const std::string& absoluteString() const { return text_; }
  const std::optional<std::string>& scheme() const { return scheme_; }
  const std::optional<std::string>& host() const { return host_; }
  const std::optional<int>& port() const { return port_; }
  const std::string& path() const { return path_; }

  bool operator==(const Url& other) const { return text_ == other.text_; }

 private:
  std::string text_;
  std::optional<std::string> scheme_;
  std::optional<std::string> host_;
  std::optional<int> port_;
  std::string path_;
};

}  // namespace lumivant
