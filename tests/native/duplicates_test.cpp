// The matching rule of a repeated import, and the case folding under it.
#include "exchange/commands/duplicates.h"

#include "core_test_support.h"
#include "host/unicode_text.h"

namespace {

TEST(FoldCaseTest, FoldsTheCommonAlphabetsByteExactly) {
  EXPECT_EQ(FoldCase("AbZ@[`"), "abz@[`");
  // Ä Þ × Ÿ Ā Ł Ž µ
  EXPECT_EQ(FoldCase("\xC3\x84\xC3\x9E\xC3\x97\xC5\xB8\xC4\x80\xC5\x81\xC5\xBD\xC2\xB5"),
            "\xC3\xA4\xC3\xBE\xC3\x97\xC3\xBF\xC4\x81\xC5\x82\xC5\xBE\xCE\xBC");
  // ΑΝΝΑ Ά Ώ ς -> αννα ά ώ σ
  EXPECT_EQ(FoldCase("\xCE\x91\xCE\x9D\xCE\x9D\xCE\x91 \xCE\x86\xCE\x8F\xCF\x82"),
            "\xCE\xB1\xCE\xBD\xCE\xBD\xCE\xB1 \xCE\xAC\xCF\x8E\xCF\x83");
  // Ж Ё Ѣ Ӂ -> ж ё ѣ ӂ
  EXPECT_EQ(FoldCase("\xD0\x96\xD0\x81\xD1\xA2\xD3\x81"), "\xD0\xB6\xD1\x91\xD1\xA3\xD3\x82");
  // Letters without case, other scripts and broken bytes stay.
  EXPECT_EQ(FoldCase("\xC3\x9F\xE6\x9D\x8E\xF0\x9F\x98\x80\xFF\xC3"),
            "\xC3\x9F\xE6\x9D\x8E\xF0\x9F\x98\x80\xFF\xC3");
}

TEST(MatchKeyTest, IgnoresCaseOuterBlanksAndRunsOfBlanks) {
  const std::string key = MatchKey("Anna Lee", "a@x.org");
  EXPECT_EQ(MatchKey("  ANNA \t  lee\r\n", "A@X.ORG "), key);
  EXPECT_NE(MatchKey("AnnaLee", "a@x.org"), key);
  EXPECT_NE(MatchKey("Anna Lee", ""), key);
  EXPECT_NE(MatchKey("Anna Le", "ea@x.org"), key) << "name and address stay apart";
  EXPECT_EQ(MatchKey("Anna", ""), MatchKey("anna", " "));
  EXPECT_EQ(MatchKey("\xC3\x84NNE", ""), MatchKey("\xC3\xA4nne", ""));
  EXPECT_EQ(MatchKey("\xCE\x91\xCE\x9D\xCE\x9D\xCE\x91", ""),
            MatchKey("\xCE\xB1\xCE\xBD\xCE\xBD\xCE\xB1", ""));
  EXPECT_NE(MatchKey("\xC3\xA4nne", ""), MatchKey("anne", ""));
}

class StoredUsersTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Attach();
  }
  ContactHandle Add(const std::string& first, const std::string& last, const std::string& mail) {
    ContactDetails details;
    details.first = first;
    details.last = last;
    details.email = mail;
    return host.AddKestrinUser(details);
  }
};

// One walk; each stored user is matched once, so a second record of the same
// person finds no one; other protocols' contacts are not Kestrin users.
TEST_F(StoredUsersTest, EachStoredUserIsMatchedOnceByNameAndAddress) {
  const ContactHandle first = Add("Anna", "Lee", "");
  const ContactHandle second = Add("ANNA", " LEE", "");
  const ContactHandle mailed = Add("Anna", "Lee", "a@x.org");
  host.AddForeignContact("ICQ");
  StoredUsers stored;
  stored.Collect();
  const std::string anna = MatchKey("anna lee", "");
  const StoredUser* one = stored.Take(anna);
  const StoredUser* two = stored.Take(anna);
  ASSERT_TRUE(one != nullptr && two != nullptr);
  EXPECT_NE(one->contact, two->contact);
  EXPECT_TRUE(one->contact == first || one->contact == second);
  EXPECT_TRUE(two->contact == first || two->contact == second);
  EXPECT_EQ(stored.Take(anna), nullptr);
  const StoredUser* withMail = stored.Take(MatchKey("Anna Lee", "A@x.org"));
  ASSERT_NE(withMail, nullptr);
  EXPECT_EQ(withMail->contact, mailed);
  EXPECT_EQ(withMail->details.email, "a@x.org");
  EXPECT_EQ(stored.Take(MatchKey("ICQ", "")), nullptr);
}

}  // namespace
