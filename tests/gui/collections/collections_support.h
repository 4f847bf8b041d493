// Shared fixture of the profile-folder GUI tests: clean folders before each
// test, list rows, row selection, modal dialogs answered in turn (with text
// typed into their entry), and the non-modal overwrite question.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <string>
#include <vector>

#include "profile/gun_profile.h"

namespace fs = std::filesystem;

// A response that presses Enter in the dialog's entry instead.
constexpr int kAnswerWithEnter = 1000;

struct DialogAnswer {
    int response;
    const char* type_text = nullptr;  // typed into the dialog's sensitive entry first
};

struct SeenDialog {
    std::string title;
    std::string text;        // message dialogs: their primary text
    std::string entry;       // name dialogs: their entry text
    bool entry_sensitive = true;
};

// Queues answers for the next modal dialogs, one each, in order.
void answer_dialogs(std::vector<DialogAnswer> answers);
// Dialogs answered so far by answer_dialogs (cleared by the fixture).
const std::vector<SeenDialog>& seen_dialogs();
// The overwrite question if one is shown, else nullptr.
GtkWidget* shown_overwrite_question();
std::string message_markup_text(GtkWidget* dialog);

std::vector<std::string> list_rows(const char* store_id);
void select_row(const char* view_id, int row);

fs::path profiles_dir();
fs::path device_dir();
void write_profile(const fs::path& path, float bw, const char* name);
std::string file_bytes(const fs::path& path);

class Collections : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
