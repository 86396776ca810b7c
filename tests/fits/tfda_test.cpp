#include <gtest/gtest.h>

#include "fits/tfda.hpp"
#include "fits_builder.hpp"

namespace morvik {
namespace {

using test::Card;

TEST(TrimSpaces, RemovesOnlyBlanksAtBothEnds) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\tx\t"), "\tx\t");
  EXPECT_EQ(TrimSpaces(" \tx "), "\tx");
  EXPECT_EQ(TrimSpaces("     "), "");
  EXPECT_EQ(TrimSpaces(""), "");
}

TEST(SplitCard, QuotedValueWithComment) {
  auto f = SplitCard(Card("OBJECT  = 'M 31    '           / target of the night"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Keyword, "OBJECT");
  EXPECT_EQ(f->Value, "'M 31    '");
  EXPECT_EQ(f->Comment, "/ target of the night");
}

TEST(SplitCard, CardsWithoutEqualsCarryNoValue) {
  EXPECT_FALSE(SplitCard(Card("END")));
  EXPECT_FALSE(SplitCard(Card("HISTORY ----- END patch_headers history -----")));
  EXPECT_FALSE(SplitCard(Card("")));
}

TEST(SplitCard, OddButLegalShapes) {
  auto empty = SplitCard(Card("EMPTY   =                     "));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Value, "");
  EXPECT_EQ(empty->Comment, "");

  auto noKey = SplitCard(Card("= 5"));
  ASSERT_TRUE(noKey);
  EXPECT_EQ(noKey->Keyword, "");
  EXPECT_EQ(noKey->Value, "5");

  // A comment card with "=" is split at it like any other card.
  auto comment = SplitCard(Card("COMMENT x = 5 inside"));
  ASSERT_TRUE(comment);
  EXPECT_EQ(comment->Keyword, "COMMENT x");
  EXPECT_EQ(comment->Value, "5 inside");

  // Quotes do not protect " /": the value is cut inside them.
  auto cut = SplitCard(Card("NAME    = 'A / B'"));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->Value, "'A");
  EXPECT_EQ(cut->Comment, "/ B'");

  // Only the first "=" splits; a slash without a blank before it is part of the value.
  auto second = SplitCard(Card("PATH    = a=b/c"));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Keyword, "PATH");
  EXPECT_EQ(second->Value, "a=b/c");
  EXPECT_EQ(second->Comment, "");
}

TEST(TFDA, SetCardUpdatesInPlaceAndHandlesComments) {
  TFDA list;
  list.SetCard("BZERO", "32768", "/ offset");
  list.SetCard("BSCALE", "1", "");
  list.SetCard("BZERO", "0", "");
  ASSERT_EQ(list.Count, 2);
  EXPECT_EQ(list.Cards[0].Keyword, "BZERO");
  EXPECT_EQ(list.Cards[0].Value, "0");
  EXPECT_EQ(list.Cards[0].Comment, "/ offset");

  list.SetCard("BZERO", "", "NUL");
  EXPECT_EQ(list.Cards[0].Value, "");
  EXPECT_EQ(list.Cards[0].Comment, "");

  list.SetCard("BSCALE", "2", "/ new");
  EXPECT_EQ(list.Cards[1].Comment, "/ new");

  list.SetCard("NEW", "1", "NUL");
  ASSERT_EQ(list.Count, 3);
  EXPECT_EQ(list.Cards[2].Comment, "NUL");
  EXPECT_EQ(static_cast<std::size_t>(list.Count), list.Cards.size());
}

TEST(TFDA, KeywordsAreExactBytes) {
  TFDA list;
  list.SetCard("Exptime", "1", "");
  list.SetCard("EXPTIME", "2", "");
  list.SetCard("EXPTIME ", "3", "");
  EXPECT_EQ(list.Count, 3);
  EXPECT_EQ(list.GetString("Exptime"), "1");
  EXPECT_EQ(list.GetString("EXPTIME"), "2");
  EXPECT_EQ(list.GetString("exptime"), "");
  list.Clear();
  EXPECT_EQ(list.Count, 0);
  EXPECT_TRUE(list.Cards.empty());
}

TEST(TFDA, GetStringStripsQuotesAndInnerBlanks) {
  TFDA list;
  for (const char* card :
       {"OBJECT  = 'M 31    '           / target", "LONE    = '", "EMPTYQ  = ''", "PLAIN   = 12.5", "HALF    = 'abc"}) {
    auto f = SplitCard(Card(card));
    ASSERT_TRUE(f) << card;
    list.SetCard(f->Keyword, f->Value, f->Comment);
  }
  EXPECT_EQ(list.GetString("OBJECT"), "M 31");
  EXPECT_EQ(list.GetString("LONE"), "");
  EXPECT_EQ(list.GetString("EMPTYQ"), "");
  EXPECT_EQ(list.GetString("PLAIN"), "12.5");
  EXPECT_EQ(list.GetString("HALF"), "'abc");
  EXPECT_EQ(list.GetString("ABSENT"), "");
}

TEST(TFDA, GetFloatReadsDecimalNumbers) {
  TFDA list;
  const std::pair<const char*, double> cases[] = {
      {"' 2.5 '", 2.5}, {"-1.5E2", -150.0}, {".5", 0.5},      {"5.", 5.0},        {"+7", 7.0},
      {"1e-3", 1e-3},   {"1.5D3", 1500.0},  {"32768", 32768}, {"'-0.25'", -0.25},
  };
  int i = 0;
  for (const auto& [text, expected] : cases) {
    const std::string key = "K" + std::to_string(i++);
    list.SetCard(key, text, "");
    EXPECT_EQ(list.GetFloat(key), expected) << text;
  }
  EXPECT_EQ(list.GetFloat("ABSENT"), 0.0);
}

TEST(TFDA, GetFloatGivesZeroForWhatIsNotANumber) {
  TFDA list;
  const char* texts[] = {"T", "", "'abc'", "1,5", "nan", "inf", "0x10", "1.5 2", "E5", "."};
  int i = 0;
  for (const char* text : texts) {
    const std::string key = "K" + std::to_string(i++);
    list.SetCard(key, text, "");
    EXPECT_EQ(list.GetFloat(key), 0.0) << text;
  }
}

TEST(TFDA, GetFloatUsesTheFirstMatchingCard) {
  TFDA list;
  list.SetCard("A", "1", "");
  list.SetCard("B", "2", "");
  list.SetCard("A", "3", "");
  EXPECT_EQ(list.GetFloat("A"), 3.0);
  EXPECT_EQ(list.Count, 2);
}

} // namespace
} // namespace morvik
