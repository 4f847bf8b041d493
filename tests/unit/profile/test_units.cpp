#include "profile/units.h"

#include <gtest/gtest.h>

TEST(Units, ConversionsUseSinglePrecisionConstants)
{
    EXPECT_EQ(fahrenheit_to_celsius(212.0f), 180.0f * 0.5555556f);
    EXPECT_NE(fahrenheit_to_celsius(212.0f), 100.0f);  // not 5/9
    EXPECT_EQ(celsius_to_fahrenheit(100.0f), 212.0f);
    EXPECT_NE(static_cast<double>(feet_to_meters(2600.0f)), 2600.0 / 3.28084);
}

TEST(Units, FieldsConvertPerSystem)
{
    // Mixed converts only the range, English nothing, Metric everything.
    EXPECT_EQ(to_shown(Quantity::length, 1, 1.5f), 1.5f);
    EXPECT_EQ(to_shown(Quantity::range, 1, 109.1f), yards_to_meters(109.1f));
    EXPECT_EQ(to_stored(Quantity::range, 1, 300.0f), meters_to_yards(300.0f));
    for (Quantity q : {Quantity::length, Quantity::velocity, Quantity::range, Quantity::temperature}) {
        EXPECT_EQ(to_shown(q, 2, 123.0f), 123.0f);
        EXPECT_EQ(to_stored(q, 2, 123.0f), 123.0f);
    }
    EXPECT_EQ(to_shown(Quantity::temperature, 3, 50.0f), fahrenheit_to_celsius(50.0f));
    EXPECT_EQ(to_stored(Quantity::temperature, 3, 10.0f), 50.0f);
    EXPECT_EQ(to_stored(Quantity::velocity, 3, 792.0f), meters_to_feet(792.0f));
    EXPECT_EQ(to_shown(Quantity::none, 3, 0.475f), 0.475f);

    // An unknown system shows Metric but reads the zero range as yards.
    EXPECT_EQ(to_shown(Quantity::length, 7, 1.0f), 2.54f);
    EXPECT_EQ(to_stored(Quantity::length, 0, 2.54f), cm_to_inches(2.54f));
    EXPECT_EQ(to_shown(Quantity::range, 7, 109.1f), yards_to_meters(109.1f));
    EXPECT_EQ(to_stored(Quantity::range, 7, 100.0f), 100.0f);
}

TEST(Units, LabelsAndCodes)
{
    EXPECT_STREQ(length_unit_label(1), "inches");
    EXPECT_STREQ(length_unit_label(3), "cm");
    EXPECT_STREQ(velocity_unit_label(2), "fps");
    EXPECT_STREQ(velocity_unit_label(3), "m/s");
    EXPECT_STREQ(range_unit_label(1), "meters");
    EXPECT_STREQ(range_unit_label(2), "yards");
    EXPECT_STREQ(range_unit_label(9), "meters");

    EXPECT_STREQ(unit_code_text(4), "CLICKS");
    EXPECT_EQ(unit_code_text(0), nullptr);
    EXPECT_EQ(unit_code_text(5), nullptr);
    EXPECT_EQ(unit_code_from_text("TMOA", false), 2);
    EXPECT_EQ(unit_code_from_text("CLICKS", true), 4);
    EXPECT_EQ(unit_code_from_text("CLICKS", false), 0);
    EXPECT_EQ(unit_code_from_text("mil", true), 0);
    EXPECT_EQ(unit_code_from_text("", true), 0);
    EXPECT_EQ(unit_code_from_text(nullptr, true), 0);
}
