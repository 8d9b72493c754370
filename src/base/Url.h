#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivant {

// An absolute URL split into the components the shell compares: scheme, host
// and port, as the web engine's own URL type reports them.
//
// The engine hands the shell URLs in their canonical WHATWG form, and a plain
// RFC 3986 split of that text gives the same components. Two things of the
// engine's parser are reproduced here so that a URL the shell was given as
// text (the organisation server's) reports what the engine will report for
// the pages loaded from it: for the special schemes the host is ASCII
// lower-cased and the scheme's default port counts as no port. Nothing else is
// normalised: the scheme is reported as written, and the absolute string is the
// text given.
class Url {
 public:
  // Nothing when the text is not an absolute URL by RFC 3986. For text from
  // users and files.
  static std::optional<Url> parse(std::string_view text);

  // For URLs the engine reports. These may keep a "%" that starts no escape
  // (the engine leaves such text alone where RFC 3986 refuses it), so a strict
  // parse falls back to a lenient one that lets such text through.
  static std::optional<Url> parseReported(std::string_view text);

  const std::string& absoluteString() const { return text_; }
  const std::optional<std::string>& scheme() const { return scheme_; }
  const std::optional<std::string>& host() const { return host_; }
  const std::optional<int>& port() const { return port_; }
  const std::string& path() const { return path_; }

  bool operator==(const Url& other) const { return text_ == other.text_; }

 private:
  enum class Leniency { strict, lenient };
  static std::optional<Url> parse(std::string_view text, Leniency leniency);

  std::string text_;
  std::optional<std::string> scheme_;
  std::optional<std::string> host_;
  std::optional<int> port_;
  std::string path_;
};

}  // namespace lumivant
