// The typed settings operations, the contact walk and the service helpers over
// the host's service table.
#include "host/m_globaldefs.h"

#include <stdexcept>
#include <vector>

#include "core_test_support.h"
#include "records/StoredText.h"

namespace {

intptr_t MIRANDA_CDECL AnswerSeven(WParam wParam, LParam) {
  return 7 + static_cast<intptr_t>(wParam);
}

class HostOpsTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Attach();
    contact = host.AddContact();
  }
  ContactHandle contact = 0;
};

TEST_F(HostOpsTest, WordKeepsItsFullRangeAndMissingGivesTheDefault) {
  host.SetWord(contact, "M", "full", 65535);
  EXPECT_EQ(GetSettingWord(contact, "M", "full", 1), 65535);
  EXPECT_EQ(GetSettingDword(contact, "M", "full", 1), 65535u) << "zero-extended, not -1";
  EXPECT_EQ(GetSettingWord(contact, "M", "missing", 1234), 1234);
  EXPECT_EQ(GetSettingDword(contact, "M", "missing", 0xDEADBEEF), 0xDEADBEEFu);
  // A deleted setting is answered differently by the host, but reads the same.
  host.SetWord(contact, "M", "gone", 5);
  host.Delete(contact, "M", "gone");
  EXPECT_EQ(GetSettingWord(contact, "M", "gone", 77), 77);
  // Another contact's or another module's setting is not this one.
  EXPECT_EQ(GetSettingWord(host.AddContact(), "M", "full", 3), 3);
  EXPECT_EQ(GetSettingWord(contact, "m", "full", 3), 3);
}

TEST_F(HostOpsTest, NumbersOfAnotherWidthReadAsTheNumberTheyHold) {
  struct Case {
    const char* setting;
    uint16_t word;
    uint32_t dword;
  };
  host.SetByte(contact, "M", "byte", 200);
  host.SetWord(contact, "M", "word", 40074);
  host.SetDword(contact, "M", "dword", 0x12345678);
  host.SetDword(contact, "M", "allOnes", 0xFFFFFFFF);
  const Case cases[] = {
      {"byte", 200, 200},
      {"word", 40074, 40074},
      {"dword", 0x5678, 0x12345678},
      {"allOnes", 0xFFFF, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    EXPECT_EQ(GetSettingWord(contact, "M", c.setting, 1), c.word);
    EXPECT_EQ(GetSettingDword(contact, "M", c.setting, 1), c.dword);
    EXPECT_EQ(GetSettingString(contact, "M", c.setting, "fallback"), "fallback");
  }
}

TEST_F(HostOpsTest, TextWhereANumberIsExpectedReadsAsMissingAndIsGivenBack) {
  host.SetString(contact, "M", "text", "77");
  host.SetUtf8(contact, "M", "utf8", "78");
  EXPECT_EQ(GetSettingWord(contact, "M", "text", 9), 9);
  EXPECT_EQ(GetSettingDword(contact, "M", "utf8", 9), 9u);
  EXPECT_EQ(host.CallCount("DB/Contact/FreeVariant"), 2u);
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

TEST_F(HostOpsTest, StringsAreCopiedAndMissingOnesGiveTheDefaultUnchanged) {
  host.SetString(contact, "M", "name", "John Smith");
  host.SetString(contact, "M", "empty", "");
  host.SetUtf8(contact, "M", "utf8", "caf\xC3\xA9");
  host.SetString(contact, "M", "gone", "x");
  host.Delete(contact, "M", "gone");

  EXPECT_EQ(GetSettingString(contact, "M", "name", "fallback"), "John Smith");
  EXPECT_EQ(GetSettingString(contact, "M", "empty", "fallback"), "") << "a stored empty text";
  EXPECT_EQ(GetSettingString(contact, "M", "utf8", ""), "caf\xC3\xA9");
  EXPECT_EQ(GetSettingString(contact, "M", "missing", "fallback"), "fallback");
  EXPECT_EQ(GetSettingString(contact, "M", "missing", ""), "");
  EXPECT_EQ(GetSettingString(contact, "M", "missing", "  padded  "), "  padded  ");
  EXPECT_EQ(GetSettingString(contact, "M", "gone", "fallback"), "fallback");
  // Every text the host handed out came back, also for the many-reads case.
  for (int i = 0; i < 100; ++i) GetSettingString(contact, "M", "name", "");
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
  EXPECT_EQ(host.CallCount("DB/Contact/FreeVariant"), 103u);
}

TEST_F(HostOpsTest, WritesStoreTheirTypeAndDeleteRemoves) {
  WriteSettingWord(contact, "M", "w", 65535);
  WriteSettingDword(contact, "M", "d", 0xFFFFFFFF);
  WriteSettingString(contact, "M", "s", "text");
  WriteSettingString(0, "M", "module-level", "");
  EXPECT_EQ(host.Get(contact, "M", "w"), (testhost::Value{DBVT_WORD, 65535, {}}));
  EXPECT_EQ(host.Get(contact, "M", "d"), (testhost::Value{DBVT_DWORD, 0xFFFFFFFF, {}}));
  EXPECT_EQ(host.Get(contact, "M", "s"), (testhost::Value{DBVT_ASCIIZ, 0, "text"}));
  EXPECT_EQ(host.Get(0, "M", "module-level"), (testhost::Value{DBVT_ASCIIZ, 0, ""}));

  DeleteSetting(contact, "M", "s");
  EXPECT_FALSE(host.Has(contact, "M", "s"));
  EXPECT_TRUE(host.Has(contact, "M", "w"));
}

// Names in three kinds of text: ASCII, letters of code page 1252, and letters
// outside it (Greek, and a character outside the Basic Multilingual Plane).
constexpr const char* kAsciiName = "John Smith";
constexpr const char* kCodePageName =
    "J\xC3\xBCrgen M\xC3\xBCller \xE2\x82\xAC";  // Jürgen Müller €
constexpr const char* kWideName = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xF0\x9F\x98\x80";

TEST_F(HostOpsTest, TextsTheCodePageHoldsStayEightBitTheOthersBecomeUtf8) {
  WriteSettingString(contact, "M", "ascii", kAsciiName);
  WriteSettingString(contact, "M", "codepage", kCodePageName);
  WriteSettingString(contact, "M", "wide", kWideName);
  // Byte for byte what the plug-in always wrote, in the code page.
  EXPECT_EQ(host.Get(contact, "M", "ascii"), (testhost::Value{DBVT_ASCIIZ, 0, kAsciiName}));
  EXPECT_EQ(host.Get(contact, "M", "codepage"),
            (testhost::Value{DBVT_ASCIIZ, 0, "J\xFCrgen M\xFCller \x80"}));
  EXPECT_EQ(host.Get(contact, "M", "wide"), (testhost::Value{DBVT_UTF8, 0, kWideName}));

  for (const char* setting : {"ascii", "codepage", "wide"}) {
    SCOPED_TRACE(setting);
    const std::string stored = host.Utf8Text(contact, "M", setting).value_or("?");
    EXPECT_EQ(GetSettingString(contact, "M", setting, ""), stored);
  }
  EXPECT_EQ(host.CallCount("DB/Contact/GetSettingStr"), 3u);
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

TEST_F(HostOpsTest, AHostWithoutTheTypedReadStillGivesEveryText) {
  // Such a host answers UTF-8 text as 8-bit text or as wide text.
  host.DropHostService("DB/Contact/GetSettingStr");
  host.SetString(contact, "M", "codepage", "M\xFCller");
  host.SetUtf8(contact, "M", "inCodePage", "M\xC3\xBCller");
  host.SetUtf8(contact, "M", "wide", kWideName);
  EXPECT_EQ(GetSettingString(contact, "M", "codepage", ""), "M\xC3\xBCller");
  EXPECT_EQ(GetSettingString(contact, "M", "inCodePage", ""), "M\xC3\xBCller");
  EXPECT_EQ(GetSettingString(contact, "M", "wide", ""), kWideName);
  EXPECT_EQ(GetSettingString(contact, "M", "missing", "d"), "d");
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

TEST_F(HostOpsTest, TranslationsAreReadFromTheCodePage) {
  host.AddTranslation("Close",
                      "Schlie\xDF"
                      "en");
  EXPECT_EQ(Translated("Close"),
            "Schlie\xC3\x9F"
            "en");
  // The 8-bit answer itself, as the host's menus take it.
  EXPECT_EQ(TranslateText("Close"),
            "Schlie\xDF"
            "en");
}

TEST_F(HostOpsTest, NothingReachesAMissingHost) {
  HostLink = nullptr;
  host.SetWord(contact, "M", "w", 5);
  EXPECT_EQ(GetSettingWord(contact, "M", "w", 1), 1);
  EXPECT_EQ(GetSettingString(contact, "M", "w", "d"), "d");
  WriteSettingWord(contact, "M", "x", 1);
  EXPECT_FALSE(host.Has(contact, "M", "x"));
  EXPECT_EQ(TranslateText("&OK"), "&OK");
  int visited = 0;
  ForEachContact([&](ContactHandle) { ++visited; });
  EXPECT_EQ(visited, 0);
}

TEST_F(CoreTest, WalkOfAnEmptyDatabaseNeverAsksForANextContact) {
  Attach();
  int visited = 0;
  ForEachContact([&](ContactHandle) { ++visited; });
  EXPECT_EQ(visited, 0);
  EXPECT_EQ(host.CallCount("DB/Contact/GetCount"), 1u);
  EXPECT_EQ(host.CallCount("DB/Contact/FindNext"), 0u);
}

TEST_F(CoreTest, WalkVisitsEveryContactOnceInTheHostsOrder) {
  Attach();
  for (int i = 0; i < 3; ++i) host.AddContact();
  std::vector<ContactHandle> visited;
  ForEachContact([&](ContactHandle contact) { visited.push_back(contact); });
  EXPECT_EQ(visited, host.Contacts());
  EXPECT_EQ(host.CallCount("DB/Contact/GetCount"), 1u);
  EXPECT_EQ(host.CallCount("DB/Contact/FindFirst"), 1u);
  EXPECT_EQ(host.CallCount("DB/Contact/FindNext"), 3u);
}

TEST_F(CoreTest, ModuleServiceNameIsModuleAndSuffixWithNothingBetween) {
  Attach();
  CreateModuleService("mKestrinUser", "/GetCaps", AnswerSeven);
  EXPECT_EQ(host.PluginServices(), std::vector<std::string>{"mKestrinUser/GetCaps"});
  EXPECT_EQ(host.CallService("mKestrinUser/GetCaps", 2, 0), 9);
}

TEST_F(CoreTest, TranslationIsTheHostsTextOrTheKeyItself) {
  Attach();
  host.AddTranslation("&OK", "&Gut");
  EXPECT_EQ(TranslateText("&OK"), "&Gut");
  EXPECT_EQ(TranslateText("Close"), "Close");
  EXPECT_EQ(host.TranslationRequests(), (std::vector<std::string>{"&OK", "Close"}));
}

TEST_F(CoreTest, AcknowledgementCarriesEveryField) {
  Attach();
  BroadcastAck("mKestrinUser", 0x1234, ACKTYPE_STATUS, ACKRESULT_SUCCESS, 40071, 40072);
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].cbSize, static_cast<int>(sizeof(ACKDATA)));
  EXPECT_EQ(acks[0].module, "mKestrinUser");
  EXPECT_EQ(acks[0].contact, 0x1234u);
  EXPECT_EQ(acks[0].type, ACKTYPE_STATUS);
  EXPECT_EQ(acks[0].result, ACKRESULT_SUCCESS);
  EXPECT_EQ(acks[0].process, 40071u);
  EXPECT_EQ(acks[0].lParam, 40072);
}

TEST(GuardedHandlerTest, NoExceptionLeavesAHandler) {
  EXPECT_EQ(GuardedHandler([]() -> intptr_t { throw std::runtime_error("boom"); }), 0);
  EXPECT_EQ(GuardedHandler([]() -> intptr_t { throw 1; }, -5), -5);
  EXPECT_EQ(GuardedHandler([] { return intptr_t{3}; }, -5), 3);
}

}  // namespace
