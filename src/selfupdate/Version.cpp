#include "selfupdate/Version.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <limits>
#include <memory>

namespace lumivant {

namespace {

// One user-perceived character: a grapheme cluster as ICU's character break
// iterator finds it.
using Cluster = icu::UnicodeString;
using Clusters = std::vector<Cluster>;

Clusters graphemeClusters(std::string_view text) {
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  Clusters clusters;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !breaks) {
    // Without break data every code point stands alone; the separators and
    // ASCII digits still split and convert the same way.
    for (int32_t i = 0; i < unicode.length(); i = unicode.moveIndex32(i, 1))
      clusters.emplace_back(unicode, i, unicode.moveIndex32(i, 1) - i);
    return clusters;
  }
  breaks->setText(unicode);
  int32_t start = breaks->first();
  for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
       start = end, end = breaks->next())
    clusters.emplace_back(unicode, start, end - start);
  return clusters;
}

bool isCharacter(const Cluster& cluster, char16_t c) {
  return cluster.length() == 1 && cluster.charAt(0) == c;
}

// The first maximal run of clusters other than the separator.
Clusters firstRunWithout(const Clusters& clusters, char16_t separator) {
  auto begin = clusters.begin();
  while (begin != clusters.end() && isCharacter(*begin, separator)) ++begin;
  auto end = begin;
  while (end != clusters.end() && !isCharacter(*end, separator)) ++end;
  return Clusters(begin, end);
}

std::vector<Clusters> splitAtDots(const Clusters& core) {
  std::vector<Clusters> pieces(1);
  for (const Cluster& cluster : core) {
    if (isCharacter(cluster, u'.')) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(cluster);
    }
  }
  return pieces;
}

// Numeric when the cluster's first scalar has any Unicode numeric type:
// decimal digits of every script, but also fractions, superscripts, numerals.
bool isNumeric(const Cluster& cluster) {
  return u_getIntPropertyValue(cluster.char32At(0), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

int64_t valueOfPiece(const Clusters& piece) {
  int64_t value = 0;
  for (const Cluster& cluster : piece) {
    if (!isNumeric(cluster)) break;
    // A numeric run that is not made of ASCII digits alone converts to nothing.
    if (cluster.length() != 1 || cluster.charAt(0) < u'0' || cluster.charAt(0) > u'9') return 0;
    const int digit = cluster.charAt(0) - u'0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::vector<int64_t> parseVersion(std::string_view text) {
  const Clusters core = firstRunWithout(firstRunWithout(graphemeClusters(text), u'-'), u'+');
  std::vector<int64_t> components;
  for (const Clusters& piece : splitAtDots(core)) components.push_back(valueOfPiece(piece));
  while (components.size() < 3) components.push_back(0);
  return components;
}

bool isNewerVersion(std::string_view candidate, std::string_view current) {
  const std::vector<int64_t> a = parseVersion(candidate);
  const std::vector<int64_t> b = parseVersion(current);
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const int64_t x = i < a.size() ? a[i] : 0;
    const int64_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x > y;
  }
  return false;
}

}  // namespace lumivant
