#include "support/error_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestrel {
namespace {

using L = TErrorLanguages;
constexpr L kAll[] = {L::Bulgarian, L::English, L::Russian, L::Romanian, L::Poland};

std::string unknown(int code) { return "General error/Unknown error. [" + std::to_string(code) + "]"; }

TEST(ErrorCatalogue, DefaultsAndCodesOutsideEveryFamily) {
  for (L lang : kAll) {
    EXPECT_EQ(get_ErrorText(0, lang), "No error");
    for (int code : {-999, -100000, -22000, 53, -26, -200000, -1000000, 2147483647, -2147483647 - 1})
      EXPECT_EQ(get_ErrorText(code, lang), unknown(code)) << code;
  }
  EXPECT_EQ(get_ErrorFamily(0), nullptr);
  EXPECT_EQ(get_ErrorFamily(-100000), nullptr);
  EXPECT_EQ(get_ErrorText(-6, static_cast<L>(7)), unknown(-6));
  EXPECT_EQ(get_ErrorText(-6, static_cast<L>(-1)), unknown(-6));
}

TEST(ErrorCatalogue, RepresentativeTexts) {
  struct Case {
    int code;
    L lang;
    const char* text;
  };
  const Case cases[] = {
      {-1, L::English, "General error / Unknown error."},
      {-6, L::English, "Timeout expired."},
      {-23, L::English, "Error which was obtained in GetStatus method. Some bits in the status bytes of the fiscal device was raised."},
      {-10500, L::English, "Missing input parameter. [INPUT]"},
      {-10516, L::English, "Check whether the parameter is real number. [OUTPTUT]"},
      {-10528, L::English, "Successfully canceled PinPad transaction (automatically  - from settings)"},
      {-10529, L::English, "The CSV file is not in format (\"\";\"\";\"\";)"},
      {-23001, L::English, "Client can not connect to the server."},
      {-33002, L::English, "Wrong protocol - readByte method:(missing SOH byte)"},
      {-33052, L::English, "The status of the transaction is still \"executing\"."},
      {-100007, L::English, "Wrong mode( standart, training...)  is selected."},
      {-100108, L::English, "Fiscal memory error: Maximum number of block  in fiscal memory"},
      {-101014, L::English, "ERR_ACCESS_DENIED"},
      {-103008, L::English, "Can\"t open the PLU database file"},
      {-104002, L::English, "Service operation error: Service password is needed for this operation"},
      {-105000, L::English, "EJ error: No records in EJ"},
      {-106000, L::English, "Client database error: Firm does not exist"},
      {-111004, L::English, "Registration mode error: PLU code was not found"},
      {-111087, L::English, "Disallowed \"признак расчета\" (Russia)"},
      {-112100, L::English, "_ERR_FP_SYNTAX_PARAM_BEGIN"},
      {-112103, L::English, "Invalid syntax of parameter 3."},
      {-112116, L::English, "Invalid syntax of parameter 16."},
      {-112199, L::English, "_ERR_FP_SYNTAX_PARAM_END"},
      {-112202, L::English, "Bad value of parameter 2."},
      {-112299, L::English, "_ERR_FP_BAD_PARAM_END"},
      {2, L::English, "Not valid command or sub command code"},
      {52, L::English, "End the day first"},
      {-10001, L::English, "Mifare timeout error."},
      {-43005, L::English, "Unknown country name. Please first insert the country name in the appropriate list!"},
      {-101500, L::English, "Update error: No update. The device is up to date"},
      {-110601, L::English, "Modem error: Device is not connected to AP( access point )"},
      {-114000, L::English, "POS- terminal error: Communication channel is closed"},
      {-120000, L::English, "Programming: Name is not unique!"},
      {-150001, L::English, "Syntax error"},
      {-150100, L::Bulgarian, "ERR_DATETIME_NOT_SET"},
      {-150101, L::Bulgarian, "ERR_PAPER_END"},
      {-150600, L::English, "ERR_SKNO_NOT_RESPONDING"},
      {-150600, L::Russian, "ERR_SKNO_NOT_RESPONDING"},
      {-170001, L::English, "USB error: No device"},
      // Gaps inside a family's range have no text at all.
      {-10501, L::English, ""},
      {-101002, L::English, ""},
      {-22, L::Bulgarian, ""},
      {-112117, L::English, ""},
      {-112298, L::Poland, ""},
      {-111037, L::English, ""},
      // A language the family was not written for keeps the default text.
      {5, L::Romanian, "General error/Unknown error. [5]"},
      {5, L::Poland, "General error/Unknown error. [5]"},
      {-16500, L::Poland, "General error/Unknown error. [-16500]"},
      {-150001, L::Poland, "General error/Unknown error. [-150001]"},
  };
  for (const Case& k : cases) EXPECT_EQ(get_ErrorText(k.code, k.lang), k.text) << k.code;
}

TEST(ErrorCatalogue, OtherLanguagesHaveTheirOwnTexts) {
  for (int code : {-6, -10500, -33019, -104002, -111004, -112202}) {
    std::set<std::string> texts;
    for (L lang : kAll) {
      const std::string t = get_ErrorText(code, lang);
      EXPECT_FALSE(t.empty()) << code;
      texts.insert(t);
    }
    EXPECT_GE(texts.size(), 4u) << code;  // Russian may repeat the English text
  }
}

// The ranges, languages and number of English texts of every family.
TEST(ErrorCatalogue, Families) {
  struct Range {
    int first, last;
    unsigned languages;
    std::size_t texts;
  };
  constexpr unsigned all = 0x1F, four = 0x0F, three = 0x07;
  const Range ranges[] = {
      {1, 52, three, 52},           {-1, -25, all, 22},           {-10000, -10014, all, 15},
      {-10500, -10530, all, 30},    {-16500, -16517, four, 18},   {-20500, -20566, four, 66},
      {-23000, -23007, all, 8},     {-26000, -26017, four, 17},   {-27000, -27015, four, 15},
      {-28000, -28025, four, 25},   {-29000, -29014, all, 14},    {-33000, -33065, all, 66},
      {-33100, -33105, all, 6},
      {-35000, -35006, four, 7},    {-38000, -38014, all, 14},    {-42000, -42005, four, 6},
      {-43001, -43149, all, 146},   {-100001, -100008, all, 8},   {-100100, -100116, all, 17},
      {-100400, -100414, all, 15},  {-100500, -100511, all, 12},  {-101000, -101016, all, 16},
      {-101500, -101500, all, 1},   {-102000, -102018, all, 19},  {-103000, -103008, all, 9},
      {-104000, -104012, all, 13},  {-105000, -105013, all, 14},  {-106000, -106004, all, 5},
      {-107001, -107007, all, 7},   {-109981, -109986, all, 6},   {-110000, -110025, all, 17},
      {-110100, -110112, all, 13},  {-110200, -110226, all, 27},  {-110300, -110301, all, 2},
      {-110400, -110496, all, 32},  {-110500, -110511, all, 12},  {-110601, -110601, all, 1},
      {-110700, -110706, all, 7},   {-110800, -110855, all, 18},  {-110900, -110979, four, 29},
      {-111000, -111094, all, 92},  {-111500, -111703, all, 65},  {-112000, -112008, all, 9},
      {-112100, -112199, all, 18},  {-112200, -112299, all, 18},  {-113000, -113001, all, 2},
      {-114000, -114000, all, 1},   {-114998, -117999, all, 7},   {-118000, -118007, all, 8},
      {-120000, -120003, all, 4},   {-150001, -150608, four, 108}, {-170000, -170005, all, 6},
  };
  ASSERT_EQ(errorFamilyCount(), std::size(ranges));
  for (const Range& r : ranges) {
    for (int code : {r.first, r.last, (r.first + r.last) / 2}) {
      const TErrorFamily* f = get_ErrorFamily(code);
      ASSERT_NE(f, nullptr) << code;
      EXPECT_EQ(f->first, r.first);
      EXPECT_EQ(f->last, r.last);
    }
    const TErrorFamily& f = *get_ErrorFamily(r.first);
    EXPECT_EQ(f.languages, r.languages) << r.first;
    std::size_t english = 0;
    for (std::size_t i = 0; i < f.count; ++i) {
      const TErrorEntry& e = f.entries[i];
      EXPECT_TRUE(f.contains(e.code)) << e.code;
      EXPECT_EQ(f.find(e.code), &e) << e.code;
      if (e.text[static_cast<int>(L::English)]) ++english;
      for (L lang : kAll) {  // a language the family lacks has no table at all
        if (!f.supports(lang)) {
          EXPECT_EQ(e.text[static_cast<int>(lang)], nullptr) << e.code;
        }
      }
    }
    EXPECT_EQ(english, r.texts) << r.first;
    // Just outside the range belongs to no family or to another one.
    for (int outside : {r.first + (r.first > 0 ? -1 : 1), r.last + (r.first > 0 ? 1 : -1)})
      EXPECT_NE(get_ErrorFamily(outside), &f) << outside;
  }
}

}  // namespace
}  // namespace kestrel
