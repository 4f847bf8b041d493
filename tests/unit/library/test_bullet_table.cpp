// The shipped table: made from the data file as it stands, in table order,
// numbered, without duplicates, with clean texts and documented values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "library/bullet_table.h"
#include "library/bullet_table_build.h"

namespace {

std::string read_file(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct usual_range {
    const char* field;
    float bullet_record::*member;
    float lo, hi;
};
const usual_range kUsualRanges[] = {
    {"weight_gr", &bullet_record::weight_gr, 20.0f, 1100.0f},
    {"diameter_in", &bullet_record::diameter_in, 0.172f, 0.510f},
    {"length_in", &bullet_record::length_in, 0.163f, 5.0f},
    {"bc_g7", &bullet_record::bc_g7, 0.051f, 0.612f},
    {"bc_g1", &bullet_record::bc_g1, 0.101f, 1.225f},
};

}  // namespace

TEST(ShippedBulletTable, SizeFollowsTheData)
{
    EXPECT_EQ(bullet_count, kBulletCount);
    EXPECT_EQ(sizeof bullet_table, static_cast<size_t>(bullet_count) * 408);
    std::vector<bullet_record> parsed;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(read_file(BULLET_DATA_FILE), &parsed, &error)) << error;
    EXPECT_EQ(parsed.size(), static_cast<size_t>(bullet_count));
}

// Catches a generator that loses float bits or mangles texts on the way
// through the generated source.
TEST(ShippedBulletTable, IsTheDataFileSortedByteForByte)
{
    std::vector<bullet_record> parsed;
    std::string error;
    ASSERT_TRUE(parse_bullet_data(read_file(BULLET_DATA_FILE), &parsed, &error)) << error;
    sort_bullet_records(parsed);
    ASSERT_EQ(parsed.size(), static_cast<size_t>(bullet_count));
    for (int i = 0; i < bullet_count; ++i)
        ASSERT_EQ(std::memcmp(&parsed[i], &bullet_table[i], sizeof(bullet_record)), 0) << "record " << i;
}

TEST(ShippedBulletTable, OrderAndNumbers)
{
    std::set<int32_t> numbers;
    for (int i = 0; i < bullet_count; ++i) {
        const bullet_record& r = bullet_table[i];
        numbers.insert(r.number);
        if (i == 0) continue;
        const bullet_record& prev = bullet_table[i - 1];
        ASSERT_FALSE(bullet_sorts_before(r, prev)) << "record " << i << " out of order";
        // Equal keys keep data order, and numbers follow data order.
        if (!bullet_sorts_before(prev, r)) {
            EXPECT_LT(prev.number, r.number) << "record " << i;
        }
    }
    ASSERT_EQ(numbers.size(), static_cast<size_t>(bullet_count));
    EXPECT_EQ(*numbers.begin(), kFirstBulletNumber);
    EXPECT_EQ(*numbers.rbegin(), kFirstBulletNumber + bullet_count - 1);
}

TEST(ShippedBulletTable, NoDuplicates)
{
    std::set<std::string> keys;
    for (int i = 0; i < bullet_count; ++i) {
        const bullet_record& r = bullet_table[i];
        std::string key = std::string(r.manufacturer) + "|" + r.bullet_name;
        std::transform(key.begin(), key.end(), key.begin(), ::tolower);
        char nums[64];
        snprintf(nums, sizeof nums, "|%a|%a", r.diameter_in, r.weight_gr);
        EXPECT_TRUE(keys.insert(key + nums).second) << key << nums;
    }
}

TEST(ShippedBulletTable, TextsAreAsciiWithinTheirLengthsAndZeroPadded)
{
    for (int i = 0; i < bullet_count; ++i) {
        const bullet_record& r = bullet_table[i];
        for (const char* text : {r.manufacturer, r.bullet_name}) {
            size_t len = strnlen(text, kBulletTextBytes);
            ASSERT_LT(len, kBulletTextBytes) << "record " << i;
            EXPECT_GT(len, 0u) << "record " << i;
            for (size_t k = 0; k < len; ++k) EXPECT_TRUE(text[k] >= 0x20 && text[k] <= 0x7e) << "record " << i;
            for (size_t k = len; k < kBulletTextBytes; ++k) ASSERT_EQ(text[k], 0) << "record " << i;
        }
        EXPECT_LE(strlen(r.manufacturer), kMaxManufacturerLength) << r.manufacturer;
        EXPECT_LE(strlen(r.bullet_name), kMaxBulletNameLength) << r.bullet_name;
    }
}

// Known values are kept as published, even outside the usual ranges; every
// such value must be listed in the source note.
TEST(ShippedBulletTable, ValuesOutsideUsualRangesAreDocumented)
{
    int outside = 0;
    for (int i = 0; i < bullet_count; ++i) {
        const bullet_record& r = bullet_table[i];
        EXPECT_GT(r.diameter_in, 0.0f);
        EXPECT_GT(r.weight_gr, 0.0f);
        EXPECT_TRUE(r.bc_g1 > 0.0f || r.bc_g7 > 0.0f) << "record " << i << " is on no list";
        for (const usual_range& u : kUsualRanges) {
            float v = r.*u.member;
            EXPECT_GE(v, 0.0f);
            if (v != 0.0f && (v < u.lo || v > u.hi)) ++outside;
        }
    }
    std::string note = read_file(BULLET_SOURCE_FILE);
    size_t start = note.find("## Values outside the usual ranges");
    ASSERT_NE(start, std::string::npos);
    int listed = 0;
    for (size_t at = note.find("\n- ", start); at != std::string::npos; at = note.find("\n- ", at + 1)) {
        if (note.compare(at + 3, 5, "none\n") == 0) continue;
        ++listed;
    }
    EXPECT_EQ(outside, listed);
}

// No drag curve is published for any shipped bullet, so none may appear.
TEST(ShippedBulletTable, HasNoCurves)
{
    for (int i = 0; i < bullet_count; ++i)
        EXPECT_FALSE(bullet_has_kind(bullet_table[i], kBulletListCustom)) << "record " << i;
    std::vector<int> rows(bullet_count);
    EXPECT_EQ(bullet_list_rows(bullet_table, bullet_count, kBulletListCustom, nullptr, rows.data(), bullet_count), 0);
}

TEST(ShippedBulletTable, FirstRecordRows)
{
    const bullet_record& r = bullet_table[0];
    EXPECT_STREQ(r.manufacturer, "Aguila");
    EXPECT_STREQ(r.bullet_name, "SniperSubsonic");
    bullet_row_texts g1 = bullet_row(r, kBulletListG1);
    EXPECT_STREQ(g1.caliber, "0.222");
    EXPECT_STREQ(g1.weight, " 60");
    EXPECT_STREQ(g1.length, "0.684");
    EXPECT_STREQ(g1.bc, "0.113");
    bullet_row_texts g7 = bullet_row(r, kBulletListG7);
    EXPECT_STREQ(g7.bc, "0.058");
    EXPECT_STREQ(bullet_row(r, kBulletListCustom).bc, "");
}
