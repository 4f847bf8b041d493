// The form's number reading. Input: the unit system (first four bytes, any
// value: the settings file holds any), then texts separated by '\n'. Each
// text goes through read_decimal, parse_number and parse_click_value; then
// the texts fill the form's entries and combos, which are read back into a
// profile; that profile is shown again and read back once more.
#include "base/numbers.h"
#include "editor/form_model.h"
#include "fuzz_support.h"
#include "profile/gun_profile.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check_number(const std::string& text)
{
    double value = -12345.0;
    const char* end = nullptr;
    if (read_decimal(text.c_str(), &value, &end)) {
        FUZZ_CHECK(end > text.c_str() && end <= text.c_str() + std::strlen(text.c_str()), "end outside the text");
        FUZZ_CHECK(!std::isnan(value), "\"%s\" read as NaN", text.c_str());
        FUZZ_CHECK(parse_number(text.c_str()) == value, "parse_number and read_decimal disagree");
    } else {
        FUZZ_CHECK(value == -12345.0, "a refused text changed the value");
        FUZZ_CHECK(parse_number(text.c_str()) == 0.0, "no number, yet not 0");
    }
    parse_click_value(text.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t units = 0;
    std::memcpy(&units, data, size < 4 ? size : 4);
    std::vector<std::string> texts;
    std::string t;
    for (size_t i = 4; i < size; ++i) {
        if (data[i] == '\n') {
            texts.push_back(t);
            t.clear();
        } else {
            t += static_cast<char>(data[i]);
        }
    }
    texts.push_back(t);
    for (const std::string& text : texts) check_number(text);

    size_t next = 0;
    auto text = [&]() -> std::string { return next < texts.size() ? texts[next++] : std::string(); };
    FormState f;
    for (std::string* s : {&f.bw, &f.ssfV, &f.ssfH, &f.clickvalE, &f.clickvalW, &f.bh, &f.zh, &f.zo, &f.bd, &f.bl,
                           &f.tr, &f.mv, &f.zr, &f.bc, &f.eunits, &f.wunits, &f.clicke_units, &f.clickw_units})
        *s = text();
    for (int i = 0; i < 6; ++i) {
        f.temp[i] = text();
        f.mvt[i] = text();
        f.vel[i] = text();
        f.dsf[i] = text();
    }
    const std::string radios = text();
    f.g1_active = radios.empty() || radios[0] != '7';
    GunProfile p{};
    apply_new_profile_values(p);
    if (!radios.empty() && radios[0] == 'c') p.dc = 10;
    form_to_profile(f, units, p);
    FormState shown;
    profile_to_form(p, units, shown);
    form_to_profile(shown, units, p);
    return 0;
}
