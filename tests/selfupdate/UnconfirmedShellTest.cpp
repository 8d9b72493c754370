// A swapped-in shell whose start nobody confirmed: one launch on trial, then
// the previous shell back.

#include "selfupdate/UnconfirmedShell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SwapFixture.h"

namespace lumivant {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::readFile;
using testing::writeFile;

class UnconfirmedShellTest : public testing::SwapFixture {
 protected:
  // The state a swap leaves when the shell that made it was ended before the
  // new shell's word came: the new shell in place, the previous one beside it.
  void leaveAnUnconfirmedSwap() {
    fs::rename(executable, previousShellPath(executable));
    writeFile(executable, newBytes);
    fs::permissions(executable, fs::perms(0755));
  }
  UnconfirmedShell launch() { return checkUnconfirmedShell(executable, services()); }
};

TEST_F(UnconfirmedShellTest, AShellWithNoPreviousBesideItIsNoTrial) {
  writeFile(trialMarkPath(executable), "");  // left over, without its previous shell
  EXPECT_EQ(launch(), UnconfirmedShell::none);
  EXPECT_FALSE(fs::exists(trialMarkPath(executable)));
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_THAT(lines, IsEmpty());
}

TEST_F(UnconfirmedShellTest, ALaunchThatShowsItsWindowEndsTheTrial) {
  leaveAnUnconfirmedSwap();
  EXPECT_EQ(launch(), UnconfirmedShell::onTrial);
  EXPECT_TRUE(fs::exists(trialMarkPath(executable)));
  EXPECT_EQ(readFile(executable), newBytes);
  // The window is up.
  cleanupOldShellFiles(executable, PreviousShell::remove);
  EXPECT_FALSE(fs::exists(previousShellPath(executable)));
  EXPECT_FALSE(fs::exists(trialMarkPath(executable)));
  EXPECT_EQ(launch(), UnconfirmedShell::none);
  EXPECT_EQ(readFile(executable), newBytes);
  EXPECT_THAT(lines, IsEmpty());
}

TEST_F(UnconfirmedShellTest, TheLaunchAfterOneThatNeverShowedItsWindowPutsThePreviousShellBack) {
  leaveAnUnconfirmedSwap();
  EXPECT_EQ(launch(), UnconfirmedShell::onTrial);
  // What a launch does before its window keeps the previous shell.
  cleanupOldShellFiles(executable, PreviousShell::keep);
  EXPECT_EQ(launch(), UnconfirmedShell::rolledBack);
  EXPECT_EQ(readFile(executable), oldBytes);
  EXPECT_EQ(modeOf(executable), 0755u);
  EXPECT_FALSE(fs::exists(previousShellPath(executable)));
  EXPECT_FALSE(fs::exists(trialMarkPath(executable)));
  EXPECT_THAT(lines, ElementsAre("SHELL-SWAP failed, rolled back: the new shell did not start: "
                                 "it did not show its window at its last launch"));
  EXPECT_EQ(launch(), UnconfirmedShell::none);
}

}  // namespace
}  // namespace lumivant
