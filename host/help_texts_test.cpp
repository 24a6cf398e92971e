// The help texts come from the program's own resources (this test carries orq's list).
#include "host/help_texts.h"

#include <gtest/gtest.h>

namespace orq::host {
namespace {

TEST(HelpTexts, a_help_path_is_found_by_its_file_name_whatever_its_folder_and_case) {
    const std::optional<std::string> text = helpTextFor("..\\PlugIns\\Tessaline.hlp");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("Orq Tessaline", 0), 0u) << text->substr(0, 40);
    EXPECT_NE(text->find("Match"), std::string::npos);
    EXPECT_EQ(helpTextFor("/opt/plugins/TESSALINE.HLP"), text);
    EXPECT_EQ(helpTextFor("Tessaline.hlp"), text);
}

TEST(HelpTexts, unknown_empty_and_folder_paths_have_no_text) {
    EXPECT_FALSE(helpTextFor("..\\PlugIns\\Passthrough.hlp").has_value());
    EXPECT_FALSE(helpTextFor("").has_value());
    EXPECT_FALSE(helpTextFor("..\\PlugIns\\").has_value());
    EXPECT_FALSE(helpTextFor("Tessaline").has_value()) << "the whole file name counts";
    EXPECT_EQ(helpFileName("a\\b/c.hlp"), "c.hlp");
    EXPECT_EQ(helpFileName("c.hlp"), "c.hlp");
}

} // namespace
} // namespace orq::host
