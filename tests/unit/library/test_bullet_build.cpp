// The build step: what it accepts, what fails the build, how it numbers and
// sorts, and that the generated source carries texts through intact.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/bullet_table.h"
#include "library/bullet_table_build.h"

namespace {

std::string data(const std::vector<std::string>& rows)
{
    std::string s = std::string(kBulletDataColumns) + "\n";
    for (const std::string& r : rows) s += r + "\n";
    return s;
}

// manufacturer, name, diameter, weight, length, g1, g7, source
std::string row(const std::string& maker, const std::string& name, const std::string& dia, const std::string& weight,
                const std::string& g1 = "0.4", const std::string& g7 = "", const std::string& length = "")
{
    return maker + "\t" + name + "\t" + dia + "\t" + weight + "\t" + length + "\t" + g1 + "\t" + g7 + "\tsrc";
}

std::string rejection(const std::string& text)
{
    std::vector<bullet_record> records;
    std::string error;
    if (parse_bullet_data(text, &records, &error)) return "";
    EXPECT_TRUE(records.empty());
    return error;
}

}  // namespace

TEST(BulletBuild, ParsesCellsAndNumbersInDataOrder)
{
    std::vector<bullet_record> r;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(data({row("Lapua", "Scenar", "0.308", "185", "", "0.242", "1.26"),
                                        row("Berger", "VLD Target", ".284", "180", "0.683", "0.35")}),
                                  &r, &error))
        << error;
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].number, 1001);
    EXPECT_EQ(r[1].number, 1002);
    EXPECT_STREQ(r[0].manufacturer, "Lapua");
    EXPECT_STREQ(r[0].bullet_name, "Scenar");
    EXPECT_EQ(r[0].diameter_in, 0.308f);
    EXPECT_EQ(r[0].weight_gr, 185.0f);
    EXPECT_EQ(r[0].length_in, 1.26f);
    EXPECT_EQ(r[0].bc_g1, 0.0f);  // empty cell: not published
    EXPECT_EQ(r[0].bc_g7, 0.242f);
    EXPECT_EQ(r[1].diameter_in, 0.284f);
    EXPECT_EQ(r[1].bc_g1, 0.683f);
}

TEST(BulletBuild, AcceptsCrLfBlankLinesAndFullLengthTexts)
{
    std::vector<bullet_record> r;
    std::string error;
    std::string text = std::string(kBulletDataColumns) + "\r\n" +
                       row(std::string(29, 'm'), std::string(35, 'n'), "0.308", "150") + "\r\n\n";
    ASSERT_TRUE(parse_bullet_data(text, &r, &error)) << error;
    EXPECT_EQ(r.size(), 1u);
}

TEST(BulletBuild, BadDataFailsTheBuild)
{
    std::string ok = row("Hornady", "ELD Match", "0.308", "178");
    EXPECT_NE(rejection(""), "");
    EXPECT_NE(rejection(data({})), "");                                                     // no records
    EXPECT_NE(rejection("manufacturer\tname\n" + ok + "\n"), "");                           // wrong header
    EXPECT_NE(rejection(data({ok + "\textra"})), "");                                       // cell count
    EXPECT_NE(rejection(data({row("Hornady", "ELD\xc2\xae Match", "0.308", "178")})), "");  // not ASCII
    EXPECT_NE(rejection(data({row("Hornady", "ELD\x01", "0.308", "178")})), "");            // control
    EXPECT_NE(rejection(data({row(std::string(30, 'm'), "N", "0.308", "178")})), "");
    EXPECT_NE(rejection(data({row("M", std::string(36, 'n'), "0.308", "178")})), "");
    EXPECT_NE(rejection(data({row("", "N", "0.308", "178")})), "");
    for (const char* bad : {"0,308", "1e-1", "-0.3", "+0.3", "0x1p-2", "inf", "nan", "0.3.0", ".", "0", "0.3 "})
        EXPECT_NE(rejection(data({row("M", "N", bad, "178")})), "") << bad;
    EXPECT_NE(rejection(data({row("M", "N", "0.308", "")})), "");             // weight unknown
    EXPECT_NE(rejection(data({row("M", "N", "0.308", "178", "", "")})), "");  // on no list
    EXPECT_NE(rejection(data({row("M", "N", "0.308", "178", "0.4", "", "abc")})), "");
}

TEST(BulletBuild, ImplausibleValuesFailNamingTheRowAndColumn)
{
    // Row 2 of each file: maker, name, diameter, weight, G1, G7, length.
    const std::string huge = "1" + std::string(38, '0');  // finite as a float, 42 characters as "%0.3f"
    const std::pair<std::string, std::string> cases[] = {
        {row("Maker", "Name", "0.308", std::string(39, '9')), "weight_gr not a finite number"},
        {row("Maker", "Name", "0.308", "10000000000000000"), "weight_gr \"10000000000000000\" does not fit"},
        {row("Maker", "Name", huge, "178"), "diameter_in \"" + huge + "\" does not fit"},
        {row("Maker", "Name", "3.08", "178"), "diameter_in \"3.08\" is outside the plausible 0.1 to 1"},
        {row("Maker", "Name", "0308", "178"), "diameter_in \"0308\" is outside"},
        {row("Maker", "Name", "0.0308", "178"), "diameter_in \"0.0308\" is outside"},
        {row("Maker", "Name", "0.308", "1555"), "weight_gr \"1555\" is outside"},
        {row("Maker", "Name", "0.308", "178", "0.4", "", "6.84"), "length_in \"6.84\" is outside"},
        {row("Maker", "Name", "0.308", "178", "05"), "bc_g1 \"05\" is outside"},
        {row("Maker", "Name", "0.308", "178", "", "4.21"), "bc_g7 \"4.21\" is outside"},
        {row("Maker", "Name", "0.224", "450"), "sectional density of 1.28"},  // 45 gr typed with an extra digit
        {row("Maker", "Name", "0.510", "6"), "sectional density"},
    };
    for (const auto& [text, says] : cases) {
        std::string error = rejection(data({text}));
        EXPECT_NE(error.find("line 2: Maker Name: "), std::string::npos) << error;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}

TEST(BulletBuild, LargestAcceptedValuesReachTheChoiceWhole)
{
    static_assert(kRowCellBytes == kBulletValueText);
    std::vector<bullet_record> r;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(data({row("M", "N", "1.0", "1500", "1.5", "0.8", "3.0")}), &r, &error)) << error;
    bullet_choice g1{}, g7{};
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(r[0], kBulletListG1), kBulletListG1, &g1));
    ASSERT_TRUE(bullet_choice_from_row(bullet_row(r[0], kBulletListG7), kBulletListG7, &g7));
    EXPECT_EQ(g1.bd, 1.0f);
    EXPECT_EQ(g1.bw, 1500.0f);
    EXPECT_EQ(g1.bl, 3.0f);
    EXPECT_EQ(g1.bc, 1.5f);
    EXPECT_EQ(g7.bc, 0.8f);
}

TEST(BulletBuild, DuplicatesIgnoreCaseButNotValues)
{
    std::string error = rejection(
        data({row("Hornady", "ELD Match", "0.308", "178"), row("HORNADY", "eld match", "0.308", "178", "0.5")}));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_NE(error.find("1001"), std::string::npos) << error;
    std::vector<bullet_record> r;
    EXPECT_TRUE(parse_bullet_data(
        data({row("Hornady", "ELD Match", "0.308", "178"), row("Hornady", "ELD Match", "0.308", "168"),
              row("Hornady", "ELD Match", "0.284", "178")}),
        &r, &error))
        << error;
}

TEST(BulletBuild, SortsByMakerIgnoringCaseThenDiameterThenWeightStably)
{
    std::vector<bullet_record> r;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(data({row("{Custom}", "One", "0.224", "55"),  // 1001
                                        row("zeta", "Two", "0.224", "55"),      // 1002
                                        row("Alpha", "Big", "0.308", "150"),    // 1003
                                        row("alpha", "Small", "0.224", "55"),   // 1004
                                        row("ALPHA", "Heavy", "0.224", "69"),   // 1005
                                        row("Alpha", "Twin B", "0.224", "55"),  // 1006
                                        row("Zeta", "Three", "0.204", "40")}),  // 1007
                                  &r, &error))
        << error;
    sort_bullet_records(r);
    std::vector<int> order;
    for (const bullet_record& b : r) order.push_back(b.number);
    // The case variants of Alpha interleave by diameter and weight; the two
    // equal in every key keep data order; "{" comes after every letter.
    EXPECT_EQ(order, (std::vector<int>{1004, 1006, 1005, 1003, 1007, 1002, 1001}));
}

TEST(BulletBuild, GeneratedSourceEscapesTexts)
{
    std::vector<bullet_record> r;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(data({row("Q\"uote", "Back\\slash", "0.308", "178")}), &r, &error)) << error;
    std::string src = bullet_table_source(r);
    EXPECT_NE(src.find("\"Q\\\"uote\""), std::string::npos) << src;
    EXPECT_NE(src.find("\"Back\\\\slash\""), std::string::npos) << src;
    EXPECT_NE(src.find("178.0f"), std::string::npos) << src;
    EXPECT_NE(bullet_table_size_header(984).find("constexpr int kBulletCount = 984;"), std::string::npos);
}
