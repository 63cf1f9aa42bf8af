#include <gtest/gtest.h>

#include "platform/hresult.h"
#include "platform/variant.h"

namespace platform {
namespace {

std::string asText(const Variant& v) {
  Variant out;
  EXPECT_EQ(VariantChangeType(out, v, 0, VT_BSTR), S_OK);
  return out.vt() == VT_BSTR ? out.bstrVal() : "<not text>";
}

TEST(VariantChangeTypeTest, NumbersReadAsTheGeneralFormatShowsThem) {
  EXPECT_EQ(asText(Variant(12.0)), "12");
  EXPECT_EQ(asText(Variant(0.1)), "0.1");
  EXPECT_EQ(asText(Variant(1e20)), "1E+20");
  EXPECT_EQ(asText(Variant(-2.5)), "-2.5");
  EXPECT_EQ(asText(Variant(-0.0)), "0");
  EXPECT_EQ(asText(Variant(1e-5)), "1E-05");
  // Fifteen significant digits: the sixteenth is rounded away, and a 15-digit integer stays whole.
  EXPECT_EQ(asText(Variant(1.0 / 3.0)), "0.333333333333333");
  EXPECT_EQ(asText(Variant(2.0 / 3.0)), "0.666666666666667");
  EXPECT_EQ(asText(Variant(123456789012345.0)), "123456789012345");
  EXPECT_EQ(asText(Variant(1234567890123456.0)), "1.23456789012346E+15");
  EXPECT_EQ(asText(Variant(0.1 + 0.2)), "0.3");
  EXPECT_EQ(asText(Variant(std::int32_t{-7})), "-7");
  EXPECT_EQ(asText(Variant::i2(300)), "300");
  EXPECT_EQ(asText(Variant::ui1(255)), "255");
  EXPECT_EQ(asText(Variant::r4(0.1f)), "0.1");
  EXPECT_EQ(asText(Variant::currency(12345)), "1.2345");
  EXPECT_EQ(asText(Variant::currency(-15000)), "-1.5");
}

TEST(VariantChangeTypeTest, DatesBooleansAndEmptyAsText) {
  // 1 January 2000 is day 36526 of the OLE calendar.
  EXPECT_EQ(asText(Variant::date(36527)), "1/2/2000");
  EXPECT_EQ(asText(Variant::date(36527.75)), "1/2/2000 6:00:00 PM");
  EXPECT_EQ(asText(Variant::date(0.5)), "12:00:00 PM");
  EXPECT_EQ(asText(Variant::date(-1.25)), "12/29/1899 6:00:00 AM");
  EXPECT_EQ(asText(Variant::boolean(true)), "TRUE");
  EXPECT_EQ(asText(Variant::boolean(false)), "FALSE");
  EXPECT_EQ(asText(Variant()), "");
  EXPECT_EQ(asText(Variant("12")), "12");
}

TEST(VariantChangeTypeTest, ErrorsNullAndObjectsDoNotConvert) {
  Variant out("unchanged");
  EXPECT_EQ(VariantChangeType(out, Variant::error(kSpreadsheetErrorBase + 2042), 0, VT_BSTR),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out, Variant::error(kSpreadsheetErrorBase + 2042), 0, VT_R8),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out, Variant::null(), 0, VT_R8), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out, Variant(static_cast<Dispatch*>(nullptr)), 0, VT_BSTR),
            DISP_E_TYPEMISMATCH);
  ASSERT_EQ(out.vt(), VT_BSTR);
  EXPECT_EQ(out.bstrVal(), "unchanged");
}

TEST(VariantChangeTypeTest, ToDouble) {
  Variant out;
  ASSERT_EQ(VariantChangeType(out, Variant("12"), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), 12.0);
  ASSERT_EQ(VariantChangeType(out, Variant(" 1,234.5 "), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), 1234.5);
  ASSERT_EQ(VariantChangeType(out, Variant("-1.5e3"), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), -1500.0);
  EXPECT_EQ(VariantChangeType(out, Variant("12abc"), 0, VT_R8), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out, Variant(",12"), 0, VT_R8), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out, Variant("."), 0, VT_R8), DISP_E_TYPEMISMATCH);
  // Automation's TRUE is all bits set.
  ASSERT_EQ(VariantChangeType(out, Variant::boolean(true), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), -1.0);
  ASSERT_EQ(VariantChangeType(out, Variant(), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), 0.0);
  ASSERT_EQ(VariantChangeType(out, Variant::date(36527.5), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), 36527.5);
  ASSERT_EQ(VariantChangeType(out, Variant::currency(25), 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal(), 0.0025);
}

TEST(VariantChangeTypeTest, IntegersRoundHalfToEvenAndCheckRange) {
  Variant out;
  ASSERT_EQ(VariantChangeType(out, Variant(2.5), 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal(), 2);
  ASSERT_EQ(VariantChangeType(out, Variant(3.5), 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal(), 4);
  ASSERT_EQ(VariantChangeType(out, Variant(-2.5), 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal(), -2);
  EXPECT_EQ(VariantChangeType(out, Variant(3e9), 0, VT_I4), DISP_E_OVERFLOW);
  ASSERT_EQ(VariantChangeType(out, Variant(32767.0), 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal(), 32767);
  EXPECT_EQ(VariantChangeType(out, Variant(32768.0), 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(out, Variant(-1.0), 0, VT_UI1), DISP_E_OVERFLOW);
  ASSERT_EQ(VariantChangeType(out, Variant("7"), 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal(), 7);
}

TEST(VariantChangeTypeTest, BooleansAndDatesFromText) {
  Variant out;
  ASSERT_EQ(VariantChangeType(out, Variant("true"), 0, VT_BOOL), S_OK);
  EXPECT_TRUE(out.boolVal());
  ASSERT_EQ(VariantChangeType(out, Variant("0"), 0, VT_BOOL), S_OK);
  EXPECT_FALSE(out.boolVal());
  ASSERT_EQ(VariantChangeType(out, Variant("1/2/2000"), 0, VT_DATE), S_OK);
  EXPECT_EQ(out.dateVal(), 36527.0);
  EXPECT_EQ(VariantChangeType(out, Variant(1e7), 0, VT_DATE), DISP_E_OVERFLOW);
}

TEST(VariantChangeTypeTest, DestinationMayBeTheSource) {
  Variant v(0.1);
  ASSERT_EQ(VariantChangeType(v, v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(v.bstrVal(), "0.1");
  ASSERT_EQ(VariantChangeType(v, v, 0, VT_R8), S_OK);
  EXPECT_EQ(v.dblVal(), 0.1);
}

TEST(OleDateTest, KnownDays) {
  double d = 0;
  ASSERT_TRUE(oleDateFromParts({1899, 12, 30, 0, 0, 0}, d));
  EXPECT_EQ(d, 0.0);
  ASSERT_TRUE(oleDateFromParts({1900, 3, 1, 0, 0, 0}, d));
  EXPECT_EQ(d, 61.0);
  ASSERT_TRUE(oleDateFromParts({2000, 1, 1, 0, 0, 0}, d));
  EXPECT_EQ(d, 36526.0);
  ASSERT_TRUE(oleDateFromParts({1899, 12, 29, 6, 0, 0}, d));
  EXPECT_EQ(d, -1.25);
  ASSERT_TRUE(oleDateFromParts({2000, 2, 29, 0, 0, 0}, d));
  EXPECT_FALSE(oleDateFromParts({1900, 2, 29, 0, 0, 0}, d));
  EXPECT_FALSE(oleDateFromParts({2001, 2, 29, 0, 0, 0}, d));
  EXPECT_FALSE(oleDateFromParts({2000, 13, 1, 0, 0, 0}, d));
  EXPECT_FALSE(oleDateFromParts({2000, 1, 1, 24, 0, 0}, d));
}

TEST(OleDateTest, ParseAcceptsTheFormatsWrittenAndRefusesOthers) {
  double d = 0;
  ASSERT_TRUE(parseOleDate("12/31/1999 6:30:00 PM", d));
  EXPECT_NEAR(d, 36525 + 18.5 / 24, 1e-9);
  ASSERT_TRUE(parseOleDate("12/31/1999 18:30", d));
  EXPECT_NEAR(d, 36525 + 18.5 / 24, 1e-9);
  ASSERT_TRUE(parseOleDate("1/2/00", d));
  EXPECT_EQ(d, 36527.0);
  ASSERT_TRUE(parseOleDate("1/2/99", d));
  EXPECT_EQ(d, 36162.0);
  EXPECT_FALSE(parseOleDate("2/30/2000", d));
  EXPECT_FALSE(parseOleDate("1/2/2000x", d));
  EXPECT_FALSE(parseOleDate("1-2-2000", d));
  EXPECT_FALSE(parseOleDate("13:00 1/2/2000", d));
  EXPECT_FALSE(parseOleDate("1/2/2000 13:00 PM", d));
}

TEST(OleDateTest, TextRoundTripsForEverySecondOfOneDayAndManyDays) {
  for (int day = -700; day <= 80000; day += 97) {
    for (int second = 0; second < 86400; second += 3607) {
      const double date = day >= 0 ? day + second / 86400.0 : day - second / 86400.0;
      double back = 0;
      const std::string text = formatOleDate(date);
      ASSERT_TRUE(parseOleDate(text, back)) << text;
      EXPECT_NEAR(back, date, 0.5 / 86400) << text;
    }
  }
}

}  // namespace
}  // namespace platform
