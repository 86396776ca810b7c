// Bad star catalogs beside a good frame, opened over a field that is already open.
// Reading a catalog file clears the catalog first (a catalog of another field must not
// stay under a new one), so a bad catalog leaves it cleared apart from the entries read
// before the fault; the frame and the data set are never touched.

#include <gtest/gtest.h>

#include <string>

#include "hardening_support.hpp"

namespace morvik::hardening {
namespace {

using CatalogCorpus = OpenedField;

struct Entry {
  long long id;
  double x, y, m;
};

// The catalog holds exactly these entries, every other one 0, 0, 0.
void ExpectCatalog(const Workspace& ws, std::initializer_list<Entry> entries) {
  int wrong = 0;
  for (long long id = 1; id <= kCatalogSize; ++id) {
    Entry want{id, 0, 0, 0};
    for (const Entry& e : entries)
      if (e.id == id) want = e;
    const TCatalogStar& got = ws.Catalog[id];
    if (got.X != want.x || got.Y != want.y || got.M != want.m) {
      if (++wrong < 5) ADD_FAILURE() << "id " << id << ": " << got.X << " " << got.Y << " " << got.M;
    }
  }
  EXPECT_EQ(wrong, 0);
}

class CatalogCase : public CatalogCorpus {
public:
  // Opens a good frame with this catalog and no table; returns the error, if any.
  std::string OpenCatalog(const std::string& catalog) {
    log.Clear();
    const std::string message = OpenBad(GoodFrame(), nullptr, &catalog);
    // Without a table beside the frame no table of an earlier field stays.
    EXPECT_EQ(ws.Series.StarCount, 0u) << "a table of an earlier field stayed";
    ExpectFiniteRecords(ws);
    return message;
  }
  std::string OpenFixture(const std::string& name) { return OpenCatalog(ReadFile(BadFile("catalog/" + name))); }
};

TEST_F(CatalogCase, DocumentsThatAreNotXmlEndTheOpenWithTheParsersMessage) {
  for (const char* file : {"garbage.xml", "not_xml.xml", "unclosed.xml"}) {
    SCOPED_TRACE(file);
    const std::string message = OpenFixture(file);
    EXPECT_NE(message.find(" at offset "), std::string::npos) << message;
    EXPECT_NE(message.find(folder.Path("bad.xml")), std::string::npos) << message;
    ExpectCatalog(ws, {});
    EXPECT_FALSE(log.Contains("XML Loaded"));
  }
}

TEST_F(CatalogCase, AnEmptyFileClearsTheCatalogSilently) {
  EXPECT_EQ(OpenFixture("empty.xml"), "");
  ExpectCatalog(ws, {});
  EXPECT_FALSE(log.ContainsPrefix("Stars has"));
}

TEST_F(CatalogCase, ADocumentWithoutStarsSaysSo) {
  EXPECT_EQ(OpenFixture("no_stars.xml"), "");
  EXPECT_TRUE(log.Contains("No stars element in the catalog"));
  ExpectCatalog(ws, {});
}

TEST_F(CatalogCase, IdsOutsideTheCatalogAreSkippedAndCounted) {
  EXPECT_EQ(OpenFixture("id_0.xml"), "");
  EXPECT_TRUE(log.Contains("1 stars with an id outside 1...40000 skipped"));
  ExpectCatalog(ws, {{2, 4, 5, 6}});
  EXPECT_EQ(OpenFixture("id_minus1.xml"), "");
  EXPECT_TRUE(log.Contains("1 stars with an id outside 1...40000 skipped"));
  ExpectCatalog(ws, {{2, 4, 5, 6}});
  EXPECT_EQ(OpenFixture("id_40001.xml"), "");
  EXPECT_TRUE(log.Contains("1 stars with an id outside 1...40000 skipped"));
  ExpectCatalog(ws, {{40000, 4, 5, 6}});
  EXPECT_TRUE(log.Contains("XML Loaded"));
}

TEST_F(CatalogCase, IdsThatAreNotIntegersEndTheReadKeepingWhatCameBefore) {
  EXPECT_EQ(OpenFixture("id_1e10.xml"), "'1e10' is not a valid number (attribute id of a star)");
  ExpectCatalog(ws, {{2, 4, 5, 6}});
  EXPECT_EQ(OpenFixture("id_x.xml"), "'x' is not a valid number (attribute id of a star)");
  ExpectCatalog(ws, {{2, 4, 5, 6}});
  EXPECT_EQ(OpenCatalog("<cat_file><stars><s id=\"1\" x=\"1e400\"/></stars></cat_file>"),
            "'1e400' is not a valid number (attribute x of a star)");
  EXPECT_EQ(OpenCatalog("<cat_file><stars><s id=\"1\" m=\"nan\"/></stars></cat_file>"),
            "'nan' is not a valid number (attribute m of a star)");
  ExpectCatalog(ws, {});
}

TEST_F(CatalogCase, DuplicatedIdsOverwriteOnlyWhatTheyCarry) {
  EXPECT_EQ(OpenFixture("duplicate_ids.xml"), "");
  ExpectCatalog(ws, {{3, 7, 2, 9}});
}

TEST_F(CatalogCase, MissingAttributesLeaveTheirValuesAtZero) {
  EXPECT_EQ(OpenFixture("missing_attributes.xml"), "");
  EXPECT_TRUE(log.Contains("Stars has 3 child nodes"));
  ExpectCatalog(ws, {{5, 0, 8, 0}});
}

// Entities are never expanded: neither one declared in the file nor one that names
// another file, whose content must not reach the catalog or any message.
TEST_F(CatalogCase, EntityDeclarationsAreNotExpanded) {
  EXPECT_EQ(OpenFixture("internal_entity.xml"), "'&mag;' is not a valid number (attribute m of a star)");
  ExpectCatalog(ws, {{1, 1, 2, 0}});

  const std::string secret = folder.Write("secret.txt", "31.5");
  const std::string doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE cat_file [\n<!ENTITY secret SYSTEM \"file://" +
                              secret + "\">\n<!ENTITY other SYSTEM \"" + secret + "\">\n]>\n";
  std::string message = OpenCatalog(doctype + "<cat_file><stars><s id=\"1\" m=\"&secret;\"/></stars></cat_file>");
  EXPECT_EQ(message, "'&secret;' is not a valid number (attribute m of a star)");
  EXPECT_EQ(message.find("31.5"), std::string::npos);
  ExpectCatalog(ws, {});

  // Referenced where nothing reads it, the entity changes nothing either.
  EXPECT_EQ(OpenCatalog(doctype + "<cat_file><stars>&other;<s id=\"1\" x=\"2\"/>&secret;</stars></cat_file>"), "");
  ExpectCatalog(ws, {{1, 2, 0, 0}});
  for (const std::string& line : log.Lines())
    EXPECT_EQ(line.find("31.5"), std::string::npos) << line;

  // Nested internal entities that would expand to gigabytes.
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE cat_file [\n<!ENTITY lol0 \"lol\">\n";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k)
      laughs += "&lol" + std::to_string(i - 1) + ";";
    laughs += "\">\n";
  }
  laughs += "]>\n<cat_file><stars><s id=\"1\" x=\"3\"/>&lol9;</stars></cat_file>";
  EXPECT_EQ(OpenCatalog(laughs), "");
  ExpectCatalog(ws, {{1, 3, 0, 0}});
}

TEST_F(CatalogCase, DeeplyNestedElements) {
  const int depth = 1000000;
  std::string doc = "<cat_file><stars><s id=\"2\" x=\"5\"/>";
  doc.reserve(static_cast<std::size_t>(depth) * 7 + 100);
  for (int i = 0; i < depth; ++i)
    doc += "<a>";
  for (int i = 0; i < depth; ++i)
    doc += "</a>";
  doc += "</stars></cat_file>";
  EXPECT_EQ(OpenCatalog(doc), "");
  EXPECT_TRUE(log.Contains("Stars has 2 child nodes"));
  ExpectCatalog(ws, {{2, 5, 0, 0}});

  // The same nesting left open is malformed.
  EXPECT_NE(OpenCatalog(doc.substr(0, doc.size() / 2)).find(" at offset "), std::string::npos);
  ExpectCatalog(ws, {});
}

TEST_F(CatalogCase, AMillionElements) {
  std::string doc = "<cat_file><stars>";
  doc.reserve(40000000);
  for (int i = 0; i < 1000000; ++i)
    doc += "<s id=\"" + std::to_string(i % 50000 + 1) + "\" x=\"" + std::to_string(i % 2048) + ".5\"/>";
  doc += "</stars></cat_file>";
  EXPECT_EQ(OpenCatalog(doc), "");
  EXPECT_TRUE(log.Contains("Stars has 1000000 child nodes"));
  // Ids 40 001 ... 50 000 twenty times each.
  EXPECT_TRUE(log.Contains("200000 stars with an id outside 1...40000 skipped"));
  EXPECT_EQ(ws.Catalog[1].X, (950000 % 2048) + 0.5); // the last element with id 1
  EXPECT_EQ(ws.Catalog[40000].X, (989999 % 2048) + 0.5);
}

} // namespace
} // namespace morvik::hardening
