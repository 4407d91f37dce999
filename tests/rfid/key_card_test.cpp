// Key cards: the readers a card opens, the entry for one reader, the cleaning role.
#include "rfid/key_card.h"

#include <gtest/gtest.h>

#include <string>

namespace kestova::testing {
namespace {

TEST(KeyCardTest, ReadersListTheReaderOfEachEntryAndGetKeyFindsTheFirstEntryOfAReader) {
  TKey first, second, third;
  first.SetReaderId(3);
  second.SetReaderId(7);
  third.SetReaderId(12);
  TKeyCard card;
  card.AccessList() = {&first, &second, &third};

  EXPECT_EQ(card.Readers().DelimitedText(), "3/7/12");
  EXPECT_EQ(&card.Readers(), &card.Readers()) << "the card's own list, rebuilt";
  card.AccessList().pop_back();
  EXPECT_EQ(card.Readers().DelimitedText(), "3/7");
  EXPECT_EQ(card.GetKey(7), &second);
  EXPECT_EQ(card.GetKey(5), nullptr);
}

TEST(KeyCardTest, AKeyIsForCleanedWhenItsRolesHoldCleanedInAnyCase) {
  TKey key;
  EXPECT_FALSE(key.IsForCleaned());
  key.Roles().Add("guest");
  key.Roles().Add("cleaned");
  EXPECT_TRUE(key.IsForCleaned());
  EXPECT_EQ(std::string(keyCleaned), "CLEANED");
  EXPECT_EQ(std::string(rdrEntrance) + rdrReception + rdrReceptionEntrance, "ENTRANCERECEPTIONREC_ENTRANCE");
}

}  // namespace
}  // namespace kestova::testing
