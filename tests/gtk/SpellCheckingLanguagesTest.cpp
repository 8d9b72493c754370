// The desktop's locale names become the spelling checker's languages.

#include "SpellCheckingLanguages.h"

#include <gmock/gmock.h>

namespace lumivant::gtk {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SpellCheckingLanguagesTest, KeepsTheDesktopsLanguagesInOrderWithoutVariants) {
  EXPECT_THAT(spellCheckingLanguages({"en_US.UTF-8", "en_US", "en.UTF-8", "en", "C"}),
              ElementsAre("en_US", "en"));
  // LANGUAGE=zh_CN:de_DE with the German modifier form and a repeat.
  EXPECT_THAT(spellCheckingLanguages(
                  {"zh_CN.UTF-8", "zh_CN", "zh", "de_DE@euro", "de_DE", "de", "zh_CN", "C"}),
              ElementsAre("zh_CN", "zh", "de_DE", "de"));
  EXPECT_THAT(spellCheckingLanguages({"C.UTF-8", "C", "POSIX", ""}), IsEmpty());
}

}  // namespace
}  // namespace lumivant::gtk
