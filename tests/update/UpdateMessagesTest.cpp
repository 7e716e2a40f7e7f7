// The messages of a run: their fixed numbers, and the texts that travel with two of them.
#include <gtest/gtest.h>

#include "update/UpdateMessages.h"

namespace drovane {
namespace {

TEST(UpdateMessages, NumbersAreFixedFrom2025To2040) {
  const unsigned numbers[] = {UPD_CHECKING,      UPD_CLIENT,      UPD_FILE,     UPD_RECEIVING,
                              UPD_TRANSFER_END,  UPD_ERROR,       UPD_RECEIVED, UPD_LIST_FAILED,
                              UPD_CLIENT_FAILED, UPD_FILE_FAILED, UPD_FINISHED, UPD_NO_UPDATES,
                              UPD_COMPLETE,      UPD_LIST_UNTRUSTED, UPD_RESTART_READY,
                              UPD_CLIENT_NOT_INSTALLABLE};
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(numbers[i], 2025 + i);
  EXPECT_EQ(kLastUpdateMessage, 2040u);
}

TEST(UpdateMessages, OnlyFailuresAndTheTwoSuccessesEndARun) {
  std::vector<unsigned> ends;
  for (unsigned message = 2020; message < 2045; ++message) {
    if (IsUpdateRunEnd(message)) ends.push_back(message);
  }
  EXPECT_EQ(ends, (std::vector<unsigned>{UPD_ERROR, UPD_LIST_FAILED, UPD_CLIENT_FAILED,
                                         UPD_FILE_FAILED, UPD_NO_UPDATES, UPD_COMPLETE,
                                         UPD_LIST_UNTRUSTED, UPD_RESTART_READY}));
}

TEST(UpdateMessages, ATextIsOwnedByItsMessageAndTakenOnce) {
  const intptr_t lParam = MakeUpdateText("Updating core.lua...");
  EXPECT_EQ(TakeUpdateText(lParam), "Updating core.lua...");
  EXPECT_EQ(TakeUpdateText(0), "");
  DiscardUpdateText(MakeUpdateText("never delivered"));
}

}  // namespace
}  // namespace drovane
