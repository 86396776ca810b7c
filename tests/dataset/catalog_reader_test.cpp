#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "dataset/readers.hpp"
#include "dataset/temp_files.hpp"

namespace morvik {
namespace {

using testing::TempFolder;

std::string Catalog(const std::string& stars) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<cat_file>\r\n <stars>\r\n" + stars +
         " </stars>\r\n</cat_file>\r\n";
}

// A catalog as an earlier Open left it, to see what a read clears.
StarCatalog Previous() {
  StarCatalog c;
  c.At(3) = TCatalogStar{30.0, 31.0, 13.0};
  c.At(40000) = TCatalogStar{1.0, 2.0, 3.0};
  return c;
}

bool IsEmpty(const TCatalogStar& s) { return s.X == 0.0 && s.Y == 0.0 && s.M == 0.0; }

TEST(StarCatalogReader, FillsTheNamedEntriesOnly) {
  TempFolder dir;
  StarCatalog cat = Previous();
  MemoryLog log;
  LoadStarCatalog(dir.Write("c.xml", Catalog("  <s id=\"1\" x=\"10.5\" y=\"20.25\" m=\"12.5\"/>\r\n"
                                             "  <s id=\"2\" x=\"1e2\" y=\" 7 \" m=\"-0.5\"/>\r\n"
                                             "  <s id=\"5\" x=\"55\" y=\"56\" m=\"15\"/>\r\n")),
                  cat, log);
  const std::vector<std::string> expected = {"Stars has 3 child nodes", "XML Loaded"};
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(cat[1].X, 10.5);
  EXPECT_EQ(cat[1].Y, 20.25);
  EXPECT_EQ(cat[1].M, 12.5);
  EXPECT_EQ(cat[2].X, 100.0);
  EXPECT_EQ(cat[2].Y, 7.0);
  EXPECT_EQ(cat[2].M, -0.5);
  EXPECT_EQ(cat[5].M, 15.0);
  // Entries 3 and 4 are not named: 3 loses what the previous catalog had.
  EXPECT_TRUE(IsEmpty(cat[3]));
  EXPECT_TRUE(IsEmpty(cat[4]));
  EXPECT_TRUE(IsEmpty(cat[40000]));
}

TEST(StarCatalogReader, MissingAttributesLeaveZeroAndLaterDuplicatesOverwriteWhatTheyCarry) {
  TempFolder dir;
  StarCatalog cat;
  MemoryLog log;
  LoadStarCatalog(dir.Write("c.xml", Catalog("<s id=\"7\" x=\"70\"/>"
                                             "<s id=\"8\" x=\"80\" y=\"81\" m=\"8.5\"/>"
                                             "<s id=\"8\" y=\"99\"/>"
                                             "<s x=\"1\" y=\"2\" m=\"3\"/>")),
                  cat, log);
  EXPECT_EQ(cat[7].X, 70.0);
  EXPECT_EQ(cat[7].Y, 0.0);
  EXPECT_EQ(cat[7].M, 0.0);
  EXPECT_EQ(cat[8].X, 80.0);
  EXPECT_EQ(cat[8].Y, 99.0);
  EXPECT_EQ(cat[8].M, 8.5);
  EXPECT_TRUE(log.Contains("Stars has 4 child nodes"));
  EXPECT_TRUE(log.Contains("XML Loaded"));
}

TEST(StarCatalogReader, OtherNodesAreCountedButAddNothing) {
  TempFolder dir;
  StarCatalog cat;
  MemoryLog log;
  LoadStarCatalog(dir.Write("c.xml", Catalog("<!-- first star -->\n<s id=\"1\" x=\"1\"/>\n"
                                             "<star id=\"2\" x=\"2\"/>\n<S id=\"3\" x=\"3\"/>\n"
                                             "<?note?>\n<s id=\"4\" x=\"4\"><s id=\"6\" x=\"6\"/></s>\n")),
                  cat, log);
  EXPECT_TRUE(log.Contains("Stars has 6 child nodes"));
  EXPECT_EQ(cat[1].X, 1.0);
  EXPECT_TRUE(IsEmpty(cat[2])); // element names are case-sensitive
  EXPECT_TRUE(IsEmpty(cat[3]));
  EXPECT_EQ(cat[4].X, 4.0);
  EXPECT_TRUE(IsEmpty(cat[6])); // only direct children of stars
}

TEST(StarCatalogReader, OnlyTheFirstStarsElementIsRead) {
  TempFolder dir;
  StarCatalog cat;
  MemoryLog log;
  LoadStarCatalog(dir.Write("c.xml",
                            "<cat_file><other><s id=\"9\" x=\"9\"/></other><stars><s id=\"1\" x=\"1\"/></stars>"
                            "<stars><s id=\"2\" x=\"2\"/></stars></cat_file>"),
                  cat, log);
  EXPECT_EQ(cat[1].X, 1.0);
  EXPECT_TRUE(IsEmpty(cat[2]));
  EXPECT_TRUE(IsEmpty(cat[9]));
}

TEST(StarCatalogReader, IdsOutsideTheTableAreSkippedAndCounted) {
  TempFolder dir;
  StarCatalog cat;
  MemoryLog log;
  LoadStarCatalog(dir.Write("c.xml", Catalog("<s id=\"0\" x=\"1\"/><s id=\"-3\" x=\"1\"/><s id=\"40001\" x=\"1\"/>"
                                             "<s id=\"99999999999999999999\" x=\"1\"/>"
                                             "<s id=\"40000\" x=\"400\"/><s id=\"+1\" x=\"10\"/>")),
                  cat, log);
  EXPECT_EQ(cat[40000].X, 400.0);
  EXPECT_EQ(cat[1].X, 10.0);
  const std::vector<std::string> expected = {"Stars has 6 child nodes", "4 stars with an id outside 1...40000 skipped",
                                             "XML Loaded"};
  EXPECT_EQ(log.Lines(), expected);
}

TEST(StarCatalogReader, ValuesThatAreNoNumbersEndTheReadKeepingEarlierEntries) {
  TempFolder dir;
  struct Case {
    const char* star;
    const char* value;
  } cases[] = {
      {"<s id=\"abc\" x=\"1\"/>", "'abc'"}, {"<s id=\"2.0\" x=\"1\"/>", "'2.0'"},
      {"<s id=\"\" x=\"1\"/>", "''"},       {"<s id=\"2\" x=\"1,5\"/>", "'1,5'"},
      {"<s id=\"2\" y=\"nan\"/>", "'nan'"}, {"<s id=\"2\" m=\"1e999\"/>", "'1e999'"},
  };
  for (const auto& c : cases) {
    StarCatalog cat = Previous();
    MemoryLog log;
    const std::string path =
        dir.Write("c.xml", Catalog(std::string("<s id=\"1\" x=\"11\"/>") + c.star + "<s id=\"3\" x=\"33\"/>"));
    try {
      LoadStarCatalog(path, cat, log);
      ADD_FAILURE() << "no error for " << c.star;
    } catch (const CommandError& e) {
      EXPECT_NE(std::string(e.what()).find(c.value), std::string::npos) << e.what();
    }
    EXPECT_EQ(cat[1].X, 11.0) << c.star;
    EXPECT_TRUE(IsEmpty(cat[3])) << c.star; // cleared, and not reached
    EXPECT_FALSE(log.Contains("XML Loaded"));
  }
}

TEST(StarCatalogReader, MalformedDocumentEndsTheReadWithTheParserMessage) {
  TempFolder dir;
  for (const char* bytes : {"<cat_file><stars><s id=\"1\" x=\"1\"></stars></cat_file>", "<cat_file><stars>",
                            "<cat_file><stars><s id=1/></stars></cat_file>", "just text"}) {
    StarCatalog cat = Previous();
    MemoryLog log;
    try {
      LoadStarCatalog(dir.Write("c.xml", bytes), cat, log);
      ADD_FAILURE() << "no error for " << bytes;
    } catch (const CommandError& e) {
      EXPECT_NE(std::string(e.what()).find(" at offset "), std::string::npos) << e.what();
      EXPECT_EQ(e.kind(), CommandError::Kind::Error);
    }
    EXPECT_TRUE(IsEmpty(cat[3])) << bytes;
    EXPECT_TRUE(log.Lines().empty());
  }
}

TEST(StarCatalogReader, EmptyDocumentStopsSilentlyWithTheCatalogCleared) {
  TempFolder dir;
  for (const char* bytes : {"", "   \r\n", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n"}) {
    StarCatalog cat = Previous();
    MemoryLog log;
    LoadStarCatalog(dir.Write("c.xml", bytes), cat, log);
    EXPECT_TRUE(log.Lines().empty()) << bytes;
    EXPECT_TRUE(IsEmpty(cat[3])) << bytes;
  }
}

TEST(StarCatalogReader, DocumentWithoutCatFileOrStarsEndsWithALogLine) {
  TempFolder dir;
  struct Case {
    const char* bytes;
    const char* line;
  } cases[] = {
      {"<catalog><stars><s id=\"1\" x=\"1\"/></stars></catalog>", "No cat_file element in the catalog"},
      {"<root><cat_file><stars><s id=\"1\" x=\"1\"/></stars></cat_file></root>", "No cat_file element in the catalog"},
      {"<cat_file><s id=\"1\" x=\"1\"/></cat_file>", "No stars element in the catalog"},
      {"<cat_file/>", "No stars element in the catalog"},
  };
  for (const auto& c : cases) {
    StarCatalog cat = Previous();
    MemoryLog log;
    LoadStarCatalog(dir.Write("c.xml", c.bytes), cat, log);
    const std::vector<std::string> expected = {c.line};
    EXPECT_EQ(log.Lines(), expected) << c.bytes;
    EXPECT_TRUE(IsEmpty(cat[1])) << c.bytes;
    EXPECT_TRUE(IsEmpty(cat[3])) << c.bytes;
  }
}

TEST(StarCatalogReader, MissingFileChangesNothing) {
  TempFolder dir;
  StarCatalog cat = Previous();
  MemoryLog log;
  LoadStarCatalog(dir.Path("absent.xml"), cat, log);
  LoadStarCatalog(dir.Path(""), cat, log);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(cat[3].X, 30.0);
  EXPECT_EQ(cat[40000].M, 3.0);
}

TEST(StarCatalogReader, DeclaredEntitiesAreNeverExpanded) {
  // Neither an internal nor an external entity of a DOCTYPE may feed a value: the file
  // is all that is read.
  TempFolder dir;
  const std::string outside = dir.Write("secret.txt", "77");
  StarCatalog cat;
  MemoryLog log;
  const std::string path = dir.Write(
      "c.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE cat_file [\n<!ENTITY inner \"5\">\n<!ENTITY outer SYSTEM \"" +
                   outside + "\">\n]>\n<cat_file><stars><s id=\"1\" x=\"&inner;\"/></stars></cat_file>\n");
  EXPECT_THROW(LoadStarCatalog(path, cat, log), CommandError);
  EXPECT_TRUE(IsEmpty(cat[1]));

  const std::string external = dir.Write(
      "d.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE cat_file [\n<!ENTITY outer SYSTEM \"" + outside +
                   "\">\n]>\n<cat_file><stars><s id=\"2\" x=\"1\"/><s id=\"3\" m=\"&outer;\"/></stars></cat_file>\n");
  try {
    LoadStarCatalog(external, cat, log);
    ADD_FAILURE() << "the entity reference was not refused";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("&outer;"), std::string::npos) << e.what();
  }
  EXPECT_EQ(cat[2].X, 1.0);
  EXPECT_EQ(cat[3].M, 0.0);
}

} // namespace
} // namespace morvik
